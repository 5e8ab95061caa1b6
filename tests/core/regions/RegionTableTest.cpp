#include "core/regions/RegionTable.h"
#include "core/regions/RegionFile.h"

#include "CaptureStdout.h"
#include "RegionTestSupport.h"

#include <optional>
#include <vector>

using namespace lumidra;

namespace {

void expectGenerated(const RegionTable& table, bool palette)
{
    for (int k = 0; k < kGeneratedRegions; ++k) {
        SCOPED_TRACE("record " + std::to_string(k));
        EXPECT_EQ(table[k].name, "Region" + std::to_string(k));
        EXPECT_EQ(table[k].min, 16 * k);
        EXPECT_EQ(table[k].max, 16 * k + 15);
        EXPECT_EQ(table[k].red, palette ? table.defaultRed()[k] : 0);
        EXPECT_EQ(table[k].green, palette ? table.defaultGreen()[k] : 0);
        EXPECT_EQ(table[k].blue, palette ? table.defaultBlue()[k] : 0);
    }
}

// No default file, and a FIFO named like it: a reader waiting for the FIFO's
// writer would keep the window from ever opening.
TEST(RegionTable, StartupWithoutAPlainDefaultFileIsAllBlack)
{
    for (const bool fifo : {false, true}) {
        SCOPED_TRACE(fifo ? "FIFO" : "no file");
        TempDir dir;
        WorkingDir inside(dir.path());
        std::optional<FifoGuard> guard;
        if (fifo) {
            std::filesystem::create_directory("data");
            guard.emplace(kDefaultRegionFile);
        }
        RegionTable table;
        EXPECT_EQ(capturedStdout([&] { table.initRegions(); }),
                  "File not found: ./data/colornfo.txt\n");
        expectGenerated(table, false);
        EXPECT_EQ(describe(table[16]), describe(Region{"Last Region", 0, 255, 0, 0, 0}));
        EXPECT_FALSE(guard && guard->readerWaited());
    }
}

TEST(RegionTable, StartupReadsTheDefaultFileOverTheTable)
{
    TempDir dir;
    WorkingDir inside(dir.path());
    std::filesystem::create_directory("data");
    const imgMaterial bone = makeRecord({"Bone", 200, 255, 9, 8, 7});
    ASSERT_EQ(writeRegionFile(&bone, 1), 0); // no path: the default file
    RegionTable table;
    table.initRegions();
    EXPECT_EQ(describe(table[0]), describe(Region{"Bone", 200, 255, 9, 8, 7}));
    EXPECT_EQ(describe(table[1]), describe(Region{"Region1", 16, 31, 0, 0, 0}));
    EXPECT_STREQ(table[16].name, "Last Region");
}

TEST(RegionTable, DefaultAndClearRegenerateButKeepLastRegion)
{
    RegionTable table;
    table.clearRegions();
    const Region custom{"Custom", 3, 4, 5, 6, 7};
    table[16] = makeRecord(custom);
    copyBounded(table[3].name, "Edited");
    table[3].min = 50;
    table[3].max = 60;

    table.defaultRegions();
    expectGenerated(table, true);
    EXPECT_EQ(describe(table[3]), describe(Region{"Region3", 48, 63, 255, 255, 0}));
    // Spot checks on the palette: ends, half and quarter steps.
    EXPECT_EQ(describe(table[0]), describe(Region{"Region0", 0, 15, 0, 0, 0}));
    EXPECT_EQ(describe(table[6]), describe(Region{"Region6", 96, 111, 255, 127, 0}));
    EXPECT_EQ(describe(table[13]), describe(Region{"Region13", 208, 223, 127, 63, 255}));
    EXPECT_EQ(describe(table[15]), describe(Region{"Region15", 240, 255, 255, 255, 255}));
    EXPECT_EQ(table.defaultRed()[16] + table.defaultGreen()[16] + table.defaultBlue()[16], 0);
    EXPECT_EQ(describe(table[16]), describe(custom));

    table.clearRegions();
    expectGenerated(table, false);
    for (int k = 0; k < kRegionCount; ++k)
        EXPECT_EQ(table.defaultRed()[k] | table.defaultGreen()[k] | table.defaultBlue()[k], 0);
    EXPECT_EQ(describe(table[16]), describe(custom));
}

// A file of count records numbered from base, so each record is recognisable.
std::vector<imgMaterial> numberedRecords(int count, int base)
{
    std::vector<imgMaterial> records;
    for (int k = 0; k < count; ++k)
        records.push_back(makeRecord({"File" + std::to_string(k), base + k, base + k + 1,
                                      base + k + 2, base + k + 3, base + k + 4}));
    return records;
}

TEST(RegionTable, LoadChangesOnlyTheRecordsTheFileHolds)
{
    TempDir dir;
    const std::string path = dir.file("load.rif");
    for (const int count : {3, 17, 20}) {
        SCOPED_TRACE("count " + std::to_string(count));
        const std::vector<imgMaterial> file = numberedRecords(count, 1000);
        ASSERT_EQ(writeRegionFile(file.data(), count, path.c_str()), 0);
        RegionTable table;
        table.defaultRegions();
        const RegionTable before = table;
        EXPECT_EQ(table.loadRegionFile(path.c_str()), count);
        for (int k = 0; k < kRegionCount; ++k) {
            const imgMaterial& want = k < count ? file[k] : before[k];
            EXPECT_EQ(describe(table[k]), describe(want)) << "record " << k;
        }
    }
}

} // namespace
