#include "core/regions/RegionFile.h"
#include "core/regions/RegionTable.h"

#include "RegionTestSupport.h"

#include <climits>
#include <cstring>
#include <vector>

using namespace lumidra;

namespace {

std::string corpusFile(const char* name)
{
    return std::string(LUMIDRA_CORPUS_DIR) + "/region/" + name;
}

struct CorpusCase {
    const char* file;
    std::vector<Region> expected;
};

TEST(RegionCorpus, HostileFilesGiveDefinedRecords)
{
    const std::string longName(39, 'N');
    const std::vector<CorpusCase> cases = {
        // Cut inside the fourth record's max.
        {"truncated.rif",
         {{"Region0", 0, 15, 1, 2, 3},
          {"Region1", 16, 31, 1, 2, 3},
          {"Region2", 32, 47, 1, 2, 3},
          {"Region3", 48, 6, 0, 0, 0}}},
        {"huge_count.rif", {{"A", 1, 2, 3, 4, 5}, {"B", 6, 7, 0, 0, 0}}},
        {"comment_eof.rif", {{"A", 1, 2, 3, 4, 5}}},
        // The tail of a 5,000-digit word is skipped, not read as max.
        {"long_word.rif", {{longName, INT_MAX, 2, 3, 4, 5}}},
    };
    for (const CorpusCase& c : cases) {
        SCOPED_TRACE(c.file);
        std::vector<imgMaterial> records;
        ASSERT_EQ(readRegionFile(records, corpusFile(c.file).c_str()),
                  static_cast<int>(c.expected.size()));
        ASSERT_EQ(records.size(), c.expected.size());
        for (std::size_t k = 0; k < records.size(); ++k)
            EXPECT_EQ(describe(records[k]), describe(c.expected[k])) << "record " << k;
    }
}

TEST(RegionCorpus, HugeCountLoadsOnlyTheRecordsPresent)
{
    RegionTable table;
    table.clearRegions();
    EXPECT_EQ(table.loadRegionFile(corpusFile("huge_count.rif").c_str()), 2);
    EXPECT_STREQ(table[1].name, "B");
    EXPECT_STREQ(table[2].name, "Region2");
    EXPECT_EQ(table[2].min, 32);
}

// Records past the 17 of the table are read and counted, never kept: a count
// of two billion in front of 100,000 records costs 17 records of memory.
TEST(RegionCorpus, AHugeCountKeepsOnlyTheRecordsTheTableUses)
{
    TempDir dir;
    const std::string path = dir.file("many.rif");
    constexpr int kRecords = 100'000;
    std::string text = "#Number of Regions\n2000000000\n";
    for (int k = 0; k < kRecords; ++k) {
        const std::string n = std::to_string(k);
        text += "#R" + n + "\n" + n + " " + n + " 1 2 3\n";
    }
    writeFile(path, text);

    std::vector<imgMaterial> records;
    EXPECT_EQ(readRegionFile(records, path.c_str()), kRecords);
    ASSERT_EQ(records.size(), static_cast<std::size_t>(kRegionCount));
    EXPECT_LT(records.capacity(), 64u);
    EXPECT_EQ(describe(records[16]), describe(Region{"R16", 16, 16, 1, 2, 3}));

    RegionTable table;
    EXPECT_EQ(table.loadRegionFile(path.c_str()), kRecords);
    EXPECT_EQ(describe(table[16]), describe(Region{"R16", 16, 16, 1, 2, 3}));
}

TEST(RegionCorpus, BinaryGarbageStaysWithinItsFields)
{
    std::vector<imgMaterial> records;
    const int count = readRegionFile(records, corpusFile("garbage.bin").c_str());
    ASSERT_EQ(count, 9); // the count its first word gives; the file holds more
    EXPECT_EQ(static_cast<std::size_t>(count), records.size());
    for (const imgMaterial& r : records)
        EXPECT_LT(strnlen(r.name, sizeof r.name), sizeof r.name);

    RegionTable table;
    table.clearRegions();
    const RegionTable before = table;
    EXPECT_EQ(table.loadRegionFile(corpusFile("garbage.bin").c_str()), count);
    for (int k = count; k < kRegionCount; ++k)
        EXPECT_EQ(describe(table[k]), describe(before[k])) << "record " << k;
}

} // namespace
