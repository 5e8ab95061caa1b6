// Islands on small volumes drawn by hand: which voxels touch, which pieces
// are small, and the statistics and maps that leave them out.
#include "core/stats/Islands.h"
#include "core/stats/RegionMap.h"
#include "core/volume/VolumeReader.h"
#include "core/volume/VolumeSource.h"

#include "Scans.h"
#include "TestStacks.h"
#include "regions/RegionTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>

using namespace lumidra;

namespace {

// A volume drawn plane by plane, row by row: '.' is 0, a digit its label.
struct Drawing {
    int nx = 0, ny = 0, nz = 0;
    std::vector<std::uint8_t> labels;
};

Drawing draw(const std::vector<std::vector<std::string>>& planes)
{
    Drawing d;
    d.nz = static_cast<int>(planes.size());
    d.ny = static_cast<int>(planes[0].size());
    d.nx = static_cast<int>(planes[0][0].size());
    for (const auto& plane : planes)
        for (const std::string& row : plane)
            for (char c : row)
                d.labels.push_back(c == '.' ? 0 : static_cast<std::uint8_t>(c - '0'));
    return d;
}

LabelPieces islandsOf(const Drawing& d, std::uint64_t minVoxels, int threads = 1)
{
    return removeIslands(d.labels, d.nx, d.ny, d.nz, minVoxels, threads);
}

} // namespace

TEST(Islands, APieceOfNMinusOneVoxelsGoesAndOneOfNStays)
{
    // Label 1: four voxels in a row (left) and five in an L (right); label 2
    // touches the L but is a label of its own, one voxel.
    const Drawing d = draw({{"1111.1...", //
                             ".....1...", //
                             ".....1112"}});
    const LabelPieces off = islandsOf(d, 0);
    EXPECT_EQ(off.labels, d.labels) << "0 leaves every voxel";
    EXPECT_EQ(off.pieces[1], 2u);
    EXPECT_EQ(off.pieces[2], 1u);
    EXPECT_EQ(off.pieces[0], 0u) << "label 0 is not a region";

    const LabelPieces five = islandsOf(d, 5);
    EXPECT_EQ(five.labels, draw({{".....1...", ".....1...", ".....111."}}).labels);
    EXPECT_EQ(five.dropped, 5u);
    EXPECT_EQ(five.pieces[1], 1u);
    EXPECT_EQ(five.pieces[2], 0u);
    EXPECT_EQ(islandsOf(d, 4).pieces[1], 2u) << "a piece of exactly N voxels stays";
    EXPECT_EQ(islandsOf(d, 6).pieces[1], 0u);
    EXPECT_EQ(islandsOf(d, 1).labels, d.labels);
    EXPECT_THROW(removeIslands(d.labels, 9, 3, 2, 0), std::invalid_argument);
}

TEST(Islands, OnlyFacesConnectNotEdgesOrCorners)
{
    // Edge contact within a plane (a, b), corner contact across planes (c, d).
    const Drawing d = draw({{"1.....", ".1..1.", "......"},   //
                            {"......", "......", "...1.."}}); //
    EXPECT_EQ(islandsOf(d, 0).pieces[1], 4u);
    EXPECT_EQ(islandsOf(d, 2).dropped, 4u);

    // The same voxels joined by a face: a stays with b through the voxel
    // between them, c with d through the one below c.
    const Drawing joined = draw({{"11....", ".1..1.", "......"},   //
                                 {"......", "....1.", "...11."}}); //
    EXPECT_EQ(islandsOf(joined, 2).pieces[1], 2u);
    EXPECT_EQ(islandsOf(joined, 2).dropped, 0u);
}

TEST(Islands, PiecesThatCrossSlicesAreOnePiece)
{
    // A U whose arms meet only in the last plane: two pieces until then, so
    // two sets that the union must join; and a column of one voxel per plane.
    const Drawing d = draw({{"1...1...2", ".........", "........."},
                            {"1...1...2", ".........", "........."},
                            {"1...1...2", ".........", "........."},
                            {"11111...2", ".........", "........."}});
    for (int threads : {1, 2, 4}) {
        const LabelPieces p = islandsOf(d, 5, threads);
        EXPECT_EQ(p.pieces[1], 1u) << threads << " threads";
        EXPECT_EQ(p.pieces[2], 0u) << "four voxels across four planes: " << threads;
        EXPECT_EQ(std::count(p.labels.begin(), p.labels.end(), 2), 0);
    }
    EXPECT_EQ(islandsOf(d, 4, 4).pieces[2], 1u);
}

TEST(Islands, AnyNumberOfThreadsFindsTheSamePieces)
{
    // Random labels give pieces of every size and shape, cut by every slab
    // seam; rows of 37 labels cross the eight-label words at every offset.
    std::mt19937 random(17);
    Drawing d{37, 11, 23, {}};
    for (int n = 0; n < d.nx * d.ny * d.nz; ++n)
        d.labels.push_back(static_cast<std::uint8_t>(random() % 4 == 0 ? 0 : 1 + random() % 2));
    // Long runs too: a plane of one label.
    std::fill(d.labels.begin() + 37 * 11 * 5, d.labels.begin() + 37 * 11 * 6, 2);
    const LabelPieces one = islandsOf(d, 3, 1);
    EXPECT_GT(one.pieces[1], 10u);
    EXPECT_NE(one.labels, d.labels);
    for (int threads : {2, 3, 7, 64}) {
        const LabelPieces many = islandsOf(d, 3, threads);
        EXPECT_EQ(many.labels, one.labels) << threads;
        EXPECT_EQ(many.pieces, one.pieces) << threads;
    }
    // Counting only (roots) and numbering agree: leaving out pieces under two
    // voxels drops exactly the single voxels, one piece each.
    const auto total = [](const LabelPieces& p) {
        std::uint64_t n = 0;
        for (std::uint64_t pieces : p.pieces)
            n += pieces;
        return n;
    };
    const LabelPieces counted = islandsOf(d, 0, 2);
    const LabelPieces singlesOut = islandsOf(d, 2, 2);
    EXPECT_EQ(total(counted), total(singlesOut) + singlesOut.dropped);
    EXPECT_EQ(islandsOf(d, 1).pieces, counted.pieces);
}

namespace {

// Labels of each voxel worked out one by one: the label of its sample's
// grey, or 0 for NaN and infinities.
std::vector<std::uint8_t> labelsOneByOne(const VolumeSource& source, const imgMaterial* regions)
{
    const RegionByGrey owner = regionsByGrey(regions, kShowAllRegions);
    std::vector<std::uint8_t> labels;
    for (std::size_t n = 0; n < source.voxelCount(); ++n) {
        const int k = owner[greyOf(source.sampleAt(n))];
        labels.push_back(!source.isFinite(n) || k == kNoRegion ? 0
                                                               : static_cast<std::uint8_t>(k + 1));
    }
    return labels;
}

} // namespace

TEST(RegionMap, AVolumesLabelsAreItsVoxelsSamplesLabelledForEveryTypeAndTable)
{
    // Few regions (compared range by range) and many (looked up), over
    // unsigned and signed types, a falling slope and NaN voxels.
    std::array<imgMaterial, kRegionCount> few{};
    std::array<imgMaterial, kRegionCount> many{};
    for (int k = 0; k < kRegionCount; ++k) {
        few[k] = makeRecord({"", 1, 0, 0, 0, 0});
        many[k] = makeRecord({"", 15 * k, 15 * k + 6, 0, 0, 0});
    }
    few[0] = makeRecord({"Low", 0, 30, 0, 0, 0});
    few[1] = makeRecord({"Mid", 20, 200, 0, 0, 0});
    std::vector<std::int16_t> signedValues(65536);
    for (std::size_t n = 0; n < signedValues.size(); ++n)
        signedValues[n] = static_cast<std::int16_t>(n * 40503u);
    std::vector<ScanVoxels> scanList;
    scanList.push_back(scans::makeScan(64, 32, 32, signedValues));
    scanList.push_back(scans::makeScan(64, 32, 32, signedValues));
    scanList.back().type = VoxelType::UInt16;
    scanList.back().slope = -0.5;
    scanList.push_back(scans::makeScan(
        256, 1, 1, std::vector<std::uint8_t>(signedValues.begin(), signedValues.begin() + 256)));
    scanList.push_back(scans::makeScan<float>(5, 1, 1, {std::nanf(""), 0.0f, 1e9f, -1e9f, 3.0f}));
    for (ScanVoxels& scan : scanList) {
        const LoadedVolume volume = loadScan(std::move(scan), {WindowRule::MinMax});
        const VolumeSource& source = *volume.source;
        for (const auto* table : {&few, &many}) {
            const std::vector<std::uint8_t> labels =
                labelVoxels(scanGrid(source), table->data(), 3);
            EXPECT_EQ(labels, labelsOneByOne(source, table->data()))
                << static_cast<int>(source.scan().type) << (table == &few ? " few" : " many");
        }
    }
}

namespace {

std::array<imgMaterial, kRegionCount> twoRegions()
{
    std::array<imgMaterial, kRegionCount> t{};
    for (imgMaterial& r : t)
        r = makeRecord({"Empty", 1, 0, 0, 0, 0});
    t[0] = makeRecord({"Dark", 1, 9, 0, 0, 0});
    t[1] = makeRecord({"Bright", 10, 255, 0, 0, 0});
    return t;
}

} // namespace

TEST(Islands, StatisticsAndTheMapGiveSmallPiecesToNone)
{
    // A 4 x 1 x 3 volume shown as three slices: Bright, grey 20 (sample
    // 320), is a column of three in i = 0 and one voxel at i = 3 of plane 2;
    // Dark, grey 5 (sample 80), is one voxel; the rest grey 0, no region.
    // A window of 0:4095 keeps each value as its sample.
    const SharedSliceStack stack = volumeStack(loadScan(
        scans::makeScan<std::uint16_t>(4, 1, 3, {320, 0, 80, 0, 320, 0, 0, 0, 330, 0, 0, 320}),
        {WindowRule::Fixed, 0, 4095}));
    const auto table = twoRegions();

    const RegionMap map = regionMap(*stack, table.data(), 2);
    EXPECT_EQ(map.labels, (std::vector<std::uint8_t>{2, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0}));
    const auto rows = mapStatistics(*stack, map, 0.5);
    EXPECT_EQ(rows[0].voxels, 0u);
    EXPECT_EQ(rows[0].pieces, 0u);
    EXPECT_EQ(rows[1].voxels, 3u);
    EXPECT_EQ(rows[1].pieces, 1u);
    EXPECT_DOUBLE_EQ(*rows[1].meanSample, (320.0 + 320 + 330) / 3);
    EXPECT_DOUBLE_EQ(*rows[1].volumeMl, 1.5);
    EXPECT_EQ(rows[kRegionCount].voxels, 9u);
    EXPECT_DOUBLE_EQ(*rows[kRegionCount].meanSample, (80.0 + 320) / 9);
    EXPECT_FALSE(rows[kRegionCount].pieces);
    EXPECT_DOUBLE_EQ(rows[kRegionCount].fraction, 0.75);

    // Off: the same counts as the histogram gives, with every piece counted.
    const auto off = islandStatistics(*stack, table.data(), 0);
    const auto plain = regionStatistics(stackHistogram(*stack), table.data(), voxelMl(*stack));
    for (int row = 0; row <= kRegionCount; ++row) {
        EXPECT_EQ(off[row].voxels, plain[row].voxels) << row;
        EXPECT_EQ(off[row].meanSample, plain[row].meanSample) << row;
    }
    EXPECT_EQ(off[0].pieces, 1u);
    EXPECT_EQ(off[1].pieces, 2u);

    // Slice 2 shows plane 2: one Bright voxel of the column, the lone one left out.
    const auto slice = mapSliceStatistics(*stack, map, 2, 0.5);
    EXPECT_EQ(slice[1].voxels, 1u);
    EXPECT_EQ(slice[kRegionCount].voxels, 3u);
    EXPECT_FALSE(slice[1].pieces);
    EXPECT_EQ(mapSliceStatistics(*stack, map, 3, 0.5)[kRegionCount].voxels, 0u);

    // A slice directory is a 256 x 256 x count volume: a map of it is another scan's.
    const auto slices = teststacks::greyStack(1, [](std::size_t) { return 0; });
    EXPECT_EQ(regionMap(*slices, table.data(), 2).labels.size(), 65536u);
    EXPECT_THROW(mapStatistics(*slices, map, {}), std::invalid_argument);
}
