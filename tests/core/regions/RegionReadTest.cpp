#include "core/regions/RegionFile.h"

#include "CaptureStdout.h"
#include "RegionTestSupport.h"

#include <climits>
#include <vector>

using namespace lumidra;

namespace {

struct ReadCase {
    const char* label;
    std::string text;
    std::vector<Region> expected;
};

const std::string kHeader = "#Number of Regions\n";

std::vector<ReadCase> readCases()
{
    const std::string longName(60, 'x');
    return {
        {"extra comment lines; last one names the record",
         kHeader + "#made by hand\n2\n\n#junk line\n#Alpha "
                   "beta\n1\n2\n3\n4\n5\n\n#Beta\n6\n7\n8\n9\n10\n",
         {{"Alpha", 1, 2, 3, 4, 5}, {"Beta", 6, 7, 8, 9, 10}}},
        {"CR LF line ends",
         "#Number of Regions\r\n#made by hand\r\n2\r\n\r\n#Alpha "
         "beta\r\n1\r\n2\r\n3\r\n4\r\n5\r\n\r\n"
         "#Beta\r\n6\r\n7\r\n8\r\n9\r\n10\r\n",
         {{"Alpha", 1, 2, 3, 4, 5}, {"Beta", 6, 7, 8, 9, 10}}},
        {"atoi words", kHeader + "1\n#r\n-5\n12abc\nabc\n+7\n-\n", {{"r", -5, 12, 0, 7, 0}}},
        {"out of int range saturates",
         kHeader + "1\n#r\n2147483648 -2147483649 -2147483648 99999999999999999999999 2147483647\n",
         {{"r", INT_MAX, INT_MIN, INT_MIN, INT_MAX, INT_MAX}}},
        {"words need no line structure",
         "2 #A x\n1\t2 3 4 5 #B\n6 7 8 9 10",
         {{"A", 1, 2, 3, 4, 5}, {"B", 6, 7, 8, 9, 10}}},
        {"name carries over; longer one leaves no tail",
         kHeader + "3\n#Short\n1 2 3 4 5\n#Muchlonger\n6 7 8 9 10\n#Ab\n11 12 13 14 15\n",
         {{"Short", 1, 2, 3, 4, 5}, {"Muchlonger", 6, 7, 8, 9, 10}, {"Ab", 11, 12, 13, 14, 15}}},
        {"record without comment keeps previous name",
         kHeader + "2\n#First\n1 2 3 4 5\n6 7 8 9 10\n",
         {{"First", 1, 2, 3, 4, 5}, {"First", 6, 7, 8, 9, 10}}},
        {"first record without comment has empty name",
         kHeader + "1\n1 2 3 4 5\n",
         {{"", 1, 2, 3, 4, 5}}},
        {"'#' alone and '# word' give the empty name",
         kHeader + "2\n#\n1 2 3 4 5\n# Spaced\n6 7 8 9 10\n",
         {{"", 1, 2, 3, 4, 5}, {"", 6, 7, 8, 9, 10}}},
        {"comment between numbers does not rename",
         kHeader + "1\n#A\n1\n#B\n2 3 4 5\n",
         {{"A", 1, 2, 3, 4, 5}}},
        {"long name cut to 39",
         kHeader + "1\n#" + longName + "\n1 2 3 4 5\n",
         {{longName.substr(0, 39), 1, 2, 3, 4, 5}}},
        {"record begun at end gets zeros",
         kHeader + "3\n#A\n1 2 3 4 5\n#B\n6 7",
         {{"A", 1, 2, 3, 4, 5}, {"B", 6, 7, 0, 0, 0}}},
        {"comment ending the file ends the reading",
         kHeader + "3\n#A\n1 2 3 4 5\n#B",
         {{"A", 1, 2, 3, 4, 5}}},
        {"count 0", kHeader + "0\n#A\n1 2 3 4 5\n", {}},
        {"negative count", kHeader + "-3\n#A\n1 2 3 4 5\n", {}},
        {"only a comment, no line end", "#Number of Regions", {}},
        {"empty file", "", {}},
    };
}

TEST(RegionRead, TextRulesGiveTheExpectedRecords)
{
    TempDir dir;
    const std::string path = dir.file("case.rif");
    for (const ReadCase& c : readCases()) {
        SCOPED_TRACE(c.label);
        writeFile(path, c.text);
        std::vector<imgMaterial> records(3); // stale contents must not survive
        const int count = readRegionFile(records, path.c_str());
        ASSERT_EQ(count, static_cast<int>(c.expected.size()));
        ASSERT_EQ(records.size(), c.expected.size());
        for (std::size_t k = 0; k < records.size(); ++k)
            EXPECT_EQ(describe(records[k]), describe(c.expected[k])) << "record " << k;
    }
}

TEST(RegionRead, TokenReportsTheEndAndStaysThere)
{
    TempDir dir;
    const std::string path = dir.file("tokens.rif");
    writeFile(path, "#first\n#second word\n42 #tail");
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    char name[kRegionNameBuffer] = "stale";
    bool atEnd = true;
    EXPECT_EQ(readRegionToken(file, name, &atEnd), 42);
    EXPECT_FALSE(atEnd);
    EXPECT_STREQ(name, "second");
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(readRegionToken(file, name, &atEnd), 0);
        EXPECT_TRUE(atEnd);
        EXPECT_STREQ(name, "tail");
    }
    std::fclose(file);
}

TEST(RegionRead, MissingOrNonPlainFileIsReportedAndGivesNoRecords)
{
    TempDir dir;
    // /dev/zero would otherwise be one endless word, and opening a FIFO
    // would wait for a writer.
    FifoGuard fifo(dir.file("fifo.rif"));
    for (const std::string& path : {dir.file("absent.rif"), dir.path().string(),
                                    std::string("/dev/zero"), dir.file("fifo.rif")}) {
        std::vector<imgMaterial> records(2);
        EXPECT_EQ(capturedStdout([&] { EXPECT_EQ(readRegionFile(records, path.c_str()), -1); }),
                  "File not found: " + path + "\n");
        EXPECT_TRUE(records.empty());
    }
    EXPECT_FALSE(fifo.readerWaited());
}

} // namespace
