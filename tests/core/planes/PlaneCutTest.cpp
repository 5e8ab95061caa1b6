#include "core/planes/PlaneOverlay.h"
#include "core/planes/PlaneVolume.h"
#include "core/volume/VolumeReader.h"

#include "Scans.h"
#include "TestStacks.h"
#include "core/stats/CursorReading.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

using namespace lumidra;

namespace {

// Slice z, sample s: 16 * ((s + 3 * z) % 256) + s % 16.
std::shared_ptr<SliceStack> directoryStack(int count)
{
    return teststacks::patternStack(count, 3);
}

imgMaterial region(const char* name, int min, int max, int r, int g, int b)
{
    imgMaterial m{};
    std::strncpy(m.name, name, sizeof m.name - 1);
    m.min = min;
    m.max = max;
    m.red = r;
    m.green = g;
    m.blue = b;
    return m;
}

} // namespace

TEST(PlaneCut, ASliceDirectoryIsAVolumeWhoseAxialPlaneIsTheSliceAsTheMainWindowShowsIt)
{
    const auto stack = directoryStack(3);
    const PlaneVolume volume(stack);
    ASSERT_FALSE(volume.empty());
    EXPECT_EQ(volume.shape().extent, (std::array<int, 3>{256, 256, 3}));
    EXPECT_EQ(volume.source(), nullptr);
    // Opening makes no copy of the voxels.
    EXPECT_EQ(volume.stack().get(), stack.get());

    std::array<PlaneCut, 3> cuts;
    const VoxelIndex through{40, 200, 2};
    for (const Plane plane : kPlanes)
        volume.cut(planeAxes(plane, volume.shape()), through, cuts[static_cast<int>(plane)]);
    const PlaneCut& axial = cuts[0];
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            ASSERT_EQ(axial.samples[y * 256 + x], stack->sampleAt(2, sampleShownAt(x, y)));
    // Coronal: row 200 of each slice, mirrored, the top slice first; sagittal:
    // column 40, anterior (row 0) on the left, the top slice first.
    const PlaneCut& coronal = cuts[1];
    const PlaneCut& sagittal = cuts[2];
    ASSERT_EQ(coronal.samples.size(), 256u * 3);
    ASSERT_EQ(sagittal.samples.size(), 256u * 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 256; ++x) {
            const int z = 2 - y;
            ASSERT_EQ(coronal.samples[y * 256 + x], stack->sampleAt(z, (255 - x) + 256 * 200));
            ASSERT_EQ(sagittal.samples[y * 256 + x], stack->sampleAt(z, 40 + 256 * x));
        }
    EXPECT_EQ(volume.sliceOfPlane(1), 1);
    EXPECT_EQ(volume.planeOfSlice(3), -1);
    EXPECT_EQ(volume.sliceOfPlane(-1), -1);
}

TEST(PlaneCut, NothingToCutGivesAnEmptyVolumeAndSlicesOfOneAreStillCut)
{
    EXPECT_TRUE(PlaneVolume().empty());
    EXPECT_TRUE(PlaneVolume(std::make_shared<SliceStack>()).empty());
    EXPECT_EQ(PlaneVolume().sampleAt({0, 0, 0}), 0);

    const PlaneVolume one(directoryStack(1));
    ASSERT_FALSE(one.empty());
    for (const Plane plane : kPlanes) {
        const PlaneAxes a = planeAxes(plane, one.shape());
        PlaneCut cut;
        one.cut(a, {255, 0, 0}, cut);
        EXPECT_EQ(cut.samples.size(), static_cast<std::size_t>(a.width) * a.height);
        EXPECT_EQ(a.height, plane == Plane::Axial ? 256 : 1);
        // Outside the volume: a blank plane, no read.
        one.cut(a, {256, 0, 0}, cut);
        EXPECT_EQ(std::count(cut.samples.begin(), cut.samples.end(), 0),
                  static_cast<long>(cut.samples.size()));
    }
}

TEST(PlaneCut, TheOverlayPaintsTheColourViewsRuleAtTheChosenOpacity)
{
    std::array<imgMaterial, kRegionCount> table{};
    for (imgMaterial& m : table)
        m = region("Never", 1, 0, 0, 0, 0);
    table[2] = region("Low", 10, 99, 255, 0, 0);
    table[5] = region("Wide", 50, 200, 0, 0, 255); // loses 50..99 to "Low" under Show All
    PlaneCut cut;
    cut.axes.width = 4;
    cut.axes.height = 1;
    cut.samples = {16 * 5, 16 * 60, 16 * 150 + 15, 16 * 250};
    auto colours = [&](int regionNum, int opacity) {
        std::array<std::uint32_t, 4> px{};
        PlaneOverlay(table.data(), regionNum, opacity).colour(cut, px.data(), 4);
        return px;
    };
    auto grey = [](std::uint32_t g) { return 0xFF000000u | g << 16 | g << 8 | g; };
    // Show All, first match wins.
    EXPECT_EQ(colours(-1, 100),
              (std::array<std::uint32_t, 4>{grey(5), 0xFFFF0000u, 0xFF0000FFu, grey(250)}));
    // The current region alone, even where an earlier record holds the value.
    EXPECT_EQ(colours(5, 100),
              (std::array<std::uint32_t, 4>{grey(5), 0xFF0000FFu, 0xFF0000FFu, grey(250)}));
    // Opacity 0 is the plain grey; half way blends, rounded.
    EXPECT_EQ(colours(-1, 0),
              (std::array<std::uint32_t, 4>{grey(5), grey(60), grey(150), grey(250)}));
    EXPECT_EQ(colours(-1, 50)[1], 0xFF000000u | 158u << 16 | 30u << 8 | 30u);
    // A region number past the table paints no region, as the colour view.
    EXPECT_EQ(colours(kRegionCount, 100)[1], grey(60));
    // A colour past 255 paints its low byte, as the views show it: 300 is 44.
    table[2].red = 300;
    EXPECT_EQ(colours(-1, 100)[1], 0xFF2C0000u);

    std::vector<std::int8_t> regions;
    PlaneOverlay(table.data(), -1, 70).regionsOf(cut, regions);
    EXPECT_EQ(regions, (std::vector<std::int8_t>{-1, 2, 5, -1}));
}

TEST(PlaneCut, AVoxelReadsAsTheViewsReadTheirPixels)
{
    std::array<imgMaterial, kRegionCount> table{};
    for (imgMaterial& m : table)
        m = region("Never", 1, 0, 0, 0, 0);
    table[4] = region("Mid", 100, 180, 1, 2, 3);
    // A slice directory's voxel is a stack pixel: the same reading.
    const auto stack = directoryStack(2);
    const PlaneVolume volume(stack);
    for (const auto& [x, y] : {std::pair{0, 0}, {17, 203}, {255, 255}}) {
        const auto pixel = readUnderCursor(*stack, 1, x, y, table.data());
        const int s = sampleShownAt(x, y);
        const auto voxel = readVoxel(volume, {s % 256, s / 256, 1}, table.data());
        ASSERT_TRUE(pixel && voxel);
        EXPECT_EQ(describeReading(*voxel, table.data()), describeReading(*pixel, table.data()));
    }
    EXPECT_FALSE(readVoxel(volume, {0, 0, 2}, table.data()));
    EXPECT_FALSE(readVoxel(PlaneVolume(), {0, 0, 0}, table.data()));

    // A volume's voxel: its indices, position and slice, at the scan's resolution.
    // Through a window of 0 to 4,095 a value is its own sample.
    ScanVoxels scan = scans::makeScan(
        3, 2, 2, std::vector<std::int16_t>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16 * 120 + 3, 0});
    scan.toMm = {{{2, 0, 0, -10}, {0, 1, 0, 0.25}, {0, 0, 1, 5}}};
    auto volumeStack = std::make_shared<SliceStack>(SliceStack::Kind::Samples, 2);
    volumeStack->setSource(loadScan(std::move(scan), {WindowRule::Fixed, 0, 4095}).source);
    const auto r = readVoxel(PlaneVolume(volumeStack), {1, 1, 1}, table.data());
    ASSERT_TRUE(r);
    EXPECT_EQ(describeReading(*r, table.data()),
              "voxel 1, 1, 1 at -8.0, 1.3, 6.0 mm, value 1923, slice 1: grey 120, sample 1923, "
              "region 4 \"Mid\"");
}
