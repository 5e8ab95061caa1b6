#include "core/stats/CursorReading.h"

#include "core/stats/HistogramCache.h"
#include "core/volume/VolumeReader.h"

#include "Scans.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

using namespace lumidra;

namespace {

// Slice z, sample s holds 12-bit sample 16 * ((s + 7 * z) % 256) + (s % 16).
std::shared_ptr<SliceStack> patternStack(int count)
{
    auto stack = std::make_shared<SliceStack>(count);
    for (int z = 0; z < count; ++z)
        for (int s = 0; s < kSliceSamples; ++s) {
            const auto sample = static_cast<std::uint16_t>(16 * ((s + 7 * z) % 256) + s % 16);
            stack->sampleData()[sliceOffset(z) + s] = sample;
            stack->greyData()[sliceOffset(z) + s] = greyOf(sample);
        }
    return stack;
}

std::array<imgMaterial, kRegionCount> regions()
{
    std::array<imgMaterial, kRegionCount> t{};
    for (imgMaterial& r : t) {
        std::strcpy(r.name, "Never");
        r.min = 1;
        r.max = 0;
    }
    std::strcpy(t[3].name, "White matter");
    t[3].min = 100;
    t[3].max = 180;
    // Later and overlapping: loses 100..180 to record 3; a negative max reaches 255.
    std::strcpy(t[9].name, "Bright");
    t[9].min = 150;
    t[9].max = -1;
    return t;
}

} // namespace

TEST(CursorReading, APixelOfASliceDirectoryIsReadThroughTheViewsMirror)
{
    auto stack = patternStack(3);
    const auto t = regions();
    // The view's top-left pixel shows the slice's row 0 at column 255.
    auto r = readUnderCursor(*stack, 2, 0, 0, t.data());
    ASSERT_TRUE(r);
    EXPECT_EQ(r->column, 255);
    EXPECT_EQ(r->row, 0);
    EXPECT_EQ(r->grey, (255 + 14) % 256);
    EXPECT_EQ(r->sample, 16 * 13 + 15);
    EXPECT_EQ(r->region, kNoRegion);
    EXPECT_EQ(describeReading(*r, t.data()),
              "column 255, row 0, slice 2: grey 13, sample 223, region none");

    // Column 100 from the left, row 3 from the top: sample 3 * 256 + 155, grey 155 + 7.
    r = readUnderCursor(*stack, 1, 100, 3, t.data());
    ASSERT_TRUE(r);
    EXPECT_EQ(r->column, 155);
    EXPECT_EQ(r->row, 3);
    EXPECT_EQ(describeReading(*r, t.data()),
              "column 155, row 3, slice 1: grey 162, sample 2603, region 3 \"White matter\"");
    r = readUnderCursor(*stack, 0, 255 - 200, 0, t.data());
    ASSERT_TRUE(r);
    EXPECT_EQ(describeReading(*r, t.data()),
              "column 200, row 0, slice 0: grey 200, sample 3208, region 9 \"Bright\"");

    for (auto [z, x, y] : {std::array{3, 0, 0}, {-1, 0, 0}, {0, 256, 0}, {0, 0, 256}, {0, -1, 5}})
        EXPECT_FALSE(readUnderCursor(*stack, z, x, y, t.data())) << z << " " << x << " " << y;
}

TEST(CursorReading, AVolumeNamesTheSourceVoxelItsPositionAndValueOrPadding)
{
    // 3 x 2 x 4 voxels of v(i, j, k) = 10k + 3j + i + 0.25, voxel (0, 0, 2) NaN;
    // 2 mm along i, 1.5 mm along j, k flipped (slice 0 shows plane 3), an offset.
    std::vector<float> values(24);
    for (std::size_t n = 0; n < values.size(); ++n)
        values[n] = static_cast<float>(10 * (n / 6) + 3 * (n / 3 % 2) + n % 3) + 0.25f;
    values[12] = std::nanf("");
    ScanVoxels scan = scans::makeScan(3, 2, 4, values);
    scan.toMm = {{{2.0, 0, 0, -90.0}, {0, 1.5, 0, 10.25}, {0, 0, -1.0, 0.0}}};
    const SharedSliceStack stack =
        volumeStack(loadScan(std::move(scan), {WindowRule::Fixed, 0, 4095}));
    const auto t = regions();

    // The 3 x 2 plane covers slice columns 126..128 and rows 127..128, j upward;
    // the view mirrors columns: voxel (1, 1) is sample (127, 127) at view column 128.
    auto r = readUnderCursor(*stack, 0, 255 - 127, 127, t.data());
    ASSERT_TRUE(r);
    ASSERT_TRUE(r->voxel);
    EXPECT_EQ(r->voxel->k, 3);
    EXPECT_EQ(describeReading(*r, t.data()),
              "column 127, row 127, slice 0: grey 2, sample 34, region none; "
              "voxel 1, 1, 3 at -88.0, 11.8, -3.0 mm, value 34.25");
    r = readUnderCursor(*stack, 1, 255 - 127, 127, t.data());
    EXPECT_NE(
        describeReading(*r, t.data()).find("voxel 1, 1, 2 at -88.0, 11.8, -2.0 mm, value 24.25"),
        std::string::npos);
    // The NaN voxel shows as sample 0 and says what it holds.
    r = readUnderCursor(*stack, 1, 255 - 126, 128, t.data());
    EXPECT_EQ(describeReading(*r, t.data()),
              "column 126, row 128, slice 1: grey 0, sample 0, region none; "
              "voxel 0, 0, 2 at -90.0, 10.3, -2.0 mm, value NaN");
    r = readUnderCursor(*stack, 1, 0, 0, t.data());
    EXPECT_EQ(describeReading(*r, t.data()),
              "column 255, row 0, slice 1: grey 0, sample 0, region none; "
              "padding, outside the scan");
}

TEST(HistogramCache, FollowsANewStackAndANewSlice)
{
    HistogramCache cache;
    auto first = patternStack(2);
    auto second = patternStack(2);
    second->greyData()[0] = 0; // the histograms read samples, not grey bytes
    second->sampleData()[0] = 4095;

    EXPECT_EQ(cache.stack(first).count[255], 2u * kSliceSamples / 256);
    EXPECT_EQ(cache.stack(second).count[255], 2u * kSliceSamples / 256 + 1)
        << "a stack of the same size must not be taken for the cached one";
    EXPECT_EQ(cache.slice(second, 0).sampleSum[255], cache.slice(first, 0).sampleSum[255] + 4095);
    // Grey 7 comes from samples with low bits 7 on slice 0, low bits 0 on slice 1.
    EXPECT_EQ(cache.slice(first, 1).sampleSum[7], 256u * 112);
    EXPECT_EQ(cache.slice(first, 0).sampleSum[7], 256u * 119);
    EXPECT_EQ(cache.stack(nullptr).total(), 0u);
    EXPECT_EQ(cache.slice(first, 2).total(), 0u) << "no slice 2";
}
