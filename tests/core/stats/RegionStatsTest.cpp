#include "core/regions/RegionTable.h"
#include "core/stats/RegionStats.h"
#include "core/volume/VolumeReader.h"
#include "core/volume/VolumeSource.h"

#include "Scans.h"
#include "TestStacks.h"
#include "regions/RegionTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

using namespace lumidra;

namespace {

imgMaterial region(const char* name, int min, int max)
{
    return makeRecord({name, min, max, 0, 0, 0});
}

// A table where only records 0 to 2 hold anything: the rest match nothing.
std::array<imgMaterial, kRegionCount> table(imgMaterial a, imgMaterial b, imgMaterial c)
{
    std::array<imgMaterial, kRegionCount> t{};
    for (imgMaterial& r : t)
        r = region("Empty", 1, 0);
    t[0] = a;
    t[1] = b;
    t[2] = c;
    return t;
}

std::shared_ptr<SliceStack> stackOf(std::initializer_list<std::uint16_t> firstSamples, int count)
{
    return teststacks::sampleStack(count, [&](std::size_t n) {
        return n < firstSamples.size() ? firstSamples.begin()[n] : 0;
    });
}

} // namespace

TEST(RegionStats, FirstRegionHoldingAGreyValueTakesItAndTheCountsPartitionTheScan)
{
    // Grey values 0 (65,533 pixels), 20 (sample 320), 21 (sample 351), 200 (sample 3200).
    auto stack = stackOf({320, 351, 3200}, 1);
    // Record 1 overlaps record 0 on 20..21 but comes later; record 2's negative max
    // reaches to 255, as the colouring compares.
    const auto t = table(region("A", 15, 21), region("B", 20, 100), region("C", 150, -1));
    const std::vector<RegionStats> rows = regionStatistics(stackHistogram(*stack), t.data(), {});

    ASSERT_EQ(rows.size(), static_cast<std::size_t>(kRegionCount + 1));
    EXPECT_EQ(rows[0].voxels, 2u);
    EXPECT_DOUBLE_EQ(*rows[0].meanSample, (320.0 + 351.0) / 2);
    EXPECT_EQ(rows[1].voxels, 0u);
    EXPECT_FALSE(rows[1].meanSample);
    EXPECT_EQ(rows[2].voxels, 1u);
    EXPECT_EQ(rows[kRegionCount].region, kNoRegion);
    EXPECT_EQ(rows[kRegionCount].voxels, 65533u);
    std::uint64_t sum = 0;
    for (const RegionStats& r : rows) {
        sum += r.voxels;
        EXPECT_FALSE(r.volumeMl) << "a slice directory has no voxel size";
    }
    EXPECT_EQ(sum, static_cast<std::uint64_t>(kSliceSamples));
    EXPECT_DOUBLE_EQ(rows[2].fraction, 1.0 / kSliceSamples);
}

// Raw samples 4095 and 4080 are both grey 255 and 4096 wraps to grey 0; a
// PGM grey 255 stands for sample 4080. Whole stacks on one thread and
// several, and single slices.
TEST(RegionStats, ARawStackCountsItsSamplesAndAPgmStackItsGreyBytesTimesSixteen)
{
    const std::size_t inSlice1 = kSliceSamples + 4464, inSlice2 = 2 * kSliceSamples + 9;
    auto raw = teststacks::sampleStack(3, [&](std::size_t n) {
        return n == 5 ? 4095 : n == inSlice1 ? 4080 : n == inSlice2 ? 4096 : 0;
    });
    auto pgm =
        teststacks::greyStack(3, [&](std::size_t n) { return n == 5 || n == inSlice1 ? 255 : 0; });
    const auto t = table(region("Top", 255, 255), region("Zero", 0, 0), region("None", 1, 0));
    const std::uint64_t zeros = 3 * kSliceSamples - 2;
    for (int threads : {1, 3}) {
        const auto r = regionStatistics(stackHistogram(*raw, threads), t.data(), {});
        EXPECT_EQ(r[0].voxels, 2u);
        EXPECT_DOUBLE_EQ(*r[0].meanSample, (4095.0 + 4080.0) / 2);
        EXPECT_EQ(r[1].voxels, zeros);
        EXPECT_DOUBLE_EQ(*r[1].meanSample, 4096.0 / static_cast<double>(zeros));
        const auto p = regionStatistics(stackHistogram(*pgm, threads), t.data(), {});
        EXPECT_EQ(p[0].voxels, 2u);
        EXPECT_DOUBLE_EQ(*p[0].meanSample, 4080.0);
        EXPECT_EQ(p[1].voxels, zeros);
        EXPECT_DOUBLE_EQ(*p[1].meanSample, 0.0);
    }
    EXPECT_EQ(sliceHistogram(*raw, 0).sampleSum[255], 4095u);
    EXPECT_EQ(sliceHistogram(*raw, 2).sampleSum[0], 4096u);
    EXPECT_EQ(sliceHistogram(*pgm, 1).count[255], 1u);
    EXPECT_EQ(sliceHistogram(*pgm, 1).sampleSum[255], 4080u);
    EXPECT_EQ(sliceHistogram(*pgm, 2).total(), static_cast<std::uint64_t>(kSliceSamples));
}

TEST(RegionStats, AVolumeCountsItsOwnVoxelsNotThePaddedStack)
{
    // A 2 x 2 x 2 volume shown as two padded slices: only its 8 voxels count,
    // slice by slice through the plane each slice shows (k runs downward, so
    // slice 0 shows plane 1). A window of 0:4095 keeps each value as its sample.
    ScanVoxels scan = scans::makeScan<std::uint16_t>(2, 2, 2, {16, 16, 32, 4095, 16, 0, 0, 0});
    scan.voxelMm = {2.0, 2.0, 2.5};
    scan.toMm[2][2] = -2.5;
    const SharedSliceStack stack =
        volumeStack(loadScan(std::move(scan), {WindowRule::Fixed, 0, 4095}));

    const auto t = table(region("One", 1, 1), region("Two", 2, 2), region("Top", 255, 255));
    const auto all = regionStatistics(stackHistogram(*stack), t.data(), voxelMl(*stack));
    EXPECT_EQ(all[0].voxels, 3u);
    EXPECT_EQ(all[kRegionCount].voxels, 3u);
    EXPECT_DOUBLE_EQ(*all[0].volumeMl, 3 * 0.01);

    const auto slice0 = regionStatistics(sliceHistogram(*stack, 0), t.data(), voxelMl(*stack));
    EXPECT_EQ(slice0[0].voxels, 1u) << "slice 0 shows plane 1";
    EXPECT_EQ(slice0[kRegionCount].voxels, 3u);
    EXPECT_EQ(sliceHistogram(*stack, 2).total(), 0u);
}

TEST(RegionStats, CsvQuotesNamesAndLeavesUnknownValuesEmpty)
{
    auto t = table(region("Grey, \"matter\"", 0, 0), region("B", 1, 1), region("C", 2, 2));
    t[1].name[0] = static_cast<char>(0xE9); // Latin-1 e acute
    auto stack = stackOf({}, 1);
    auto rows = regionStatistics(stackHistogram(*stack), t.data(), {});
    rows[0].pieces = 3;
    const std::string csv = statsCsvRows("a,b.nii", rows, t.data());

    EXPECT_EQ(statsCsvHeader(), "input,region,name,min,max,voxels,fraction,volume_ml,mean_sample,"
                                "min_value,max_value,pieces\n");
    EXPECT_EQ(csv.substr(0, csv.find('\n')),
              "\"a,b.nii\",0,\"Grey, \"\"matter\"\"\",0,0,65536,1.000000,,0.000000,,,3");
    EXPECT_NE(csv.find("\"a,b.nii\",1,\xC3\xA9,1,1,0,0.000000,,,,,\n"), std::string::npos);
    EXPECT_EQ(csv.substr(csv.rfind('\n', csv.size() - 2) + 1),
              "\"a,b.nii\",none,,,,0,0.000000,,,,,\n");
}

TEST(RegionStats, ExportedNamesAreUtf8WhenTheirBytesAreAndNeverHalfACharacter)
{
    const auto name = [](std::string bytes) {
        imgMaterial r{};
        std::memcpy(r.name, bytes.data(), std::min(bytes.size(), sizeof r.name - 1));
        return regionNameUtf8(r);
    };
    // Hand-written UTF-8 stays as it is; what the window writes is Latin-1.
    EXPECT_EQ(name("M\xC3\xBCller_\xE8\x84\x91"), "M\xC3\xBCller_\xE8\x84\x91");
    EXPECT_EQ(name("Caf\xE9"), "Caf\xC3\xA9");
    EXPECT_EQ(name("M\xFCller"), "M\xC3\xBCller");
    // Not UTF-8: an overlong form, a surrogate, a stray continuation byte.
    EXPECT_EQ(name("\xC0\xAF"), "\xC3\x80\xC2\xAF");
    EXPECT_EQ(name("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xC2\x80");
    EXPECT_EQ(name("a\x80"), "a\xC2\x80");
    // A UTF-8 name cut by the 39-byte field mid-character loses that character.
    const std::string a37(37, 'a');
    EXPECT_EQ(name(a37 + "\xE8\x84\x91"), a37);
    EXPECT_EQ(name(std::string(36, 'a') + "\xC3\xBC\xE8\x84\x91"),
              std::string(36, 'a') + "\xC3\xBC");
    // A short name that ends in a lead byte was not cut: it is Latin-1.
    EXPECT_EQ(name("ab\xE8"), "ab\xC3\xA8");
}
