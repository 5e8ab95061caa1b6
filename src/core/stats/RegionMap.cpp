#include "core/stats/RegionMap.h"

#include "core/common/Parallel.h"
#include "core/stats/Islands.h"
#include "core/volume/VolumeSource.h"

#include <algorithm>
#include <stdexcept>

namespace lumidra {

ScanGrid scanGrid(const VolumeSource& source)
{
    return {nullptr, source.voxelCount(), source.nx(), source.ny(), source.nz(), &source};
}

ScanGrid scanGrid(const SliceStack& stack)
{
    if (const VolumeSource* source = stack.source())
        return scanGrid(*source);
    return {&stack, stack.size(), kSliceSide, kSliceSide, stack.count(), nullptr};
}

namespace {

std::array<std::uint8_t, 256> labelsOfGreys(const imgMaterial* regions)
{
    const RegionByGrey owner = regionsByGrey(regions, kShowAllRegions);
    std::array<std::uint8_t, 256> labelOfGrey{};
    for (int v = 0; v < 256; ++v)
        labelOfGrey[v] = owner[v] == kNoRegion ? 0 : static_cast<std::uint8_t>(owner[v] + 1);
    return labelOfGrey;
}

std::size_t rowOfLabel(std::uint8_t label)
{
    // Labels past the table, which no map holds, count as no region.
    return label == 0 || label > kRegionCount ? kRegionCount : label - 1u;
}

} // namespace

// The scan's samples of voxels [begin, end), as the statistics of a map read
// them: handed to work(first voxel, samples, count, nonFinite) in one or
// more blocks. A volume's are worked out through its window a block at a
// time; nonFinite of a block's voxels are NaN or infinite (read as sample
// 0), and a slice directory has none. (labelVoxels reads a volume's labels
// straight through its window, in one pass.)
template <typename Work>
void readSamples(const ScanGrid& scan, std::size_t begin, std::size_t end, Work&& work)
{
    constexpr std::size_t kBlock = std::size_t{1} << 16;
    std::vector<std::uint16_t> block(std::min(end - begin, kBlock));
    for (std::size_t first = begin; first < end; first += kBlock) {
        const std::size_t last = std::min(end, first + kBlock);
        if (scan.source) {
            work(first, block.data(), last - first,
                 scan.source->samples(first, last, block.data()));
            continue;
        }
        // A slice directory's voxels as its stack keeps them, widened to samples.
        scan.slices->visit([&](auto voxels) {
            for (std::size_t n = first; n < last; ++n)
                block[n - first] = voxelSample(voxels[n]);
        });
        work(first, block.data(), last - first, std::size_t{0});
    }
}

std::vector<std::uint8_t> labelVoxels(const ScanGrid& scan, const imgMaterial* regions, int threads)
{
    const std::array<std::uint8_t, 256> labelOfGrey = labelsOfGreys(regions);
    std::vector<std::uint8_t> labels(scan.count);
    if (scan.source) {
        // A volume's labels in one pass over its voxels, each sample's label
        // looked up at once; NaN voxels, whatever takes grey 0, in no region.
        std::array<std::uint8_t, kTopSample + 1> labelOfSample{};
        for (int s = 0; s <= kTopSample; ++s)
            labelOfSample[s] = labelOfGrey[greyOf(static_cast<std::uint32_t>(s))];
        inParallel(scan.count, threads, [&](std::size_t, std::size_t begin, std::size_t end) {
            scan.source->samplesThrough(labelOfSample.data(), begin, end, labels.data() + begin);
        });
        return labels;
    }
    inParallel(scan.count, threads, [&](std::size_t, std::size_t begin, std::size_t end) {
        std::uint8_t* out = labels.data(); // a byte store could alias the vector's own
        scan.slices->visit([&](auto voxels) {
            for (std::size_t n = begin; n < end; ++n)
                out[n] = labelOfGrey[voxelGrey(voxels[n])];
        });
    });
    return labels;
}

std::vector<std::uint8_t> labelVoxels(const SliceStack& stack, const imgMaterial* regions)
{
    return labelVoxels(scanGrid(stack), regions);
}

RegionMap regionMap(const SliceStack& stack, const imgMaterial* regions, std::uint64_t minIsland,
                    int threads)
{
    const ScanGrid scan = scanGrid(stack);
    LabelPieces kept = removeIslands(labelVoxels(scan, regions, threads), scan.nx, scan.ny, scan.nz,
                                     minIsland, threads);
    RegionMap map;
    map.nx = scan.nx;
    map.ny = scan.ny;
    map.nz = scan.nz;
    map.minIsland = minIsland;
    map.labels = std::move(kept.labels);
    for (int k = 0; k < kRegionCount; ++k)
        map.pieces[k] = kept.pieces[k + 1];
    map.islandVoxels = kept.dropped;
    map.labelOfGrey = labelsOfGreys(regions);
    if (regions)
        map.regions.assign(regions, regions + kRegionCount);
    return map;
}

RegionMap paintedMap(const SliceStack& stack, const imgMaterial* regions, int regionNum,
                     std::uint64_t minIsland, int threads)
{
    if (!regions || regionNum < 0)
        return regionMap(stack, regions, minIsland, threads);
    // Every other record given a range that holds no grey value.
    std::array<imgMaterial, kRegionCount> alone{};
    for (imgMaterial& r : alone) {
        r.min = 1;
        r.max = 0;
    }
    if (regionNum < kRegionCount)
        alone[regionNum] = regions[regionNum];
    return regionMap(stack, alone.data(), minIsland, threads);
}

namespace {

// Moves the voxels in [begin, end) that the map gave to none from their
// region's row to none's.
void tallyIslands(RegionTally& tally, const ScanGrid& scan, const RegionMap& map, std::size_t begin,
                  std::size_t end)
{
    readSamples(
        scan, begin, end,
        [&](std::size_t first, const std::uint16_t* samples, std::size_t n, std::size_t nonFinite) {
            const std::uint8_t* labels = map.labels.data() + first;
            for (std::size_t i = 0; i < n; ++i) {
                const std::uint8_t before = map.labelOfGrey[greyOf(samples[i])];
                // A NaN voxel, labelled 0, is in no row: not even none's.
                if (labels[i] != before && (nonFinite == 0 || scan.source->isFinite(first + i))) {
                    const std::size_t row = rowOfLabel(before);
                    --tally.voxels[row];
                    tally.sampleSum[row] -= samples[i];
                    ++tally.voxels[kRegionCount];
                    tally.sampleSum[kRegionCount] += samples[i];
                }
            }
        });
}

// The rows of voxels [begin, end) of the scan, counted by their histogram
// under the regions the map was made with, less what went to none: only the
// voxels are read again, and none when no island was left out.
std::vector<RegionStats> countedRows(const GreyHistogram& histogram, const SliceStack& stack,
                                     const RegionMap& map, std::size_t begin, std::size_t end,
                                     std::optional<double> voxelMl, int threads)
{
    const ScanGrid scan = scanGrid(stack);
    if (map.nx != scan.nx || map.ny != scan.ny || map.nz != scan.nz ||
        map.labels.size() != scan.count)
        throw std::invalid_argument("a region map of another scan");
    RegionTally tally;
    for (int v = 0; v < 256; ++v) {
        const std::size_t row = rowOfLabel(map.labelOfGrey[v]);
        tally.voxels[row] += histogram.count[v];
        tally.sampleSum[row] += histogram.sampleSum[v];
    }
    if (map.islandVoxels > 0 && begin < end) {
        // Unsigned arithmetic: each part's own decrements and increments wrap
        // and come right in the sum.
        std::vector<RegionTally> parts(partsFor(end - begin, threads));
        inParallel(end - begin, threads, [&](std::size_t part, std::size_t b, std::size_t e) {
            tallyIslands(parts[part], scan, map, begin + b, begin + e);
        });
        for (const RegionTally& part : parts) {
            for (int row = 0; row <= kRegionCount; ++row) {
                tally.voxels[row] += part.voxels[row];
                tally.sampleSum[row] += part.sampleSum[row];
            }
        }
    }
    return regionStatistics(tally, map.regions.empty() ? nullptr : map.regions.data(), voxelMl,
                            intensityWindow(stack));
}

} // namespace

std::vector<RegionStats> mapStatistics(const SliceStack& stack, const RegionMap& map,
                                       std::optional<double> voxelMl, int threads)
{
    return mapStatistics(stackHistogram(stack, threads), stack, map, voxelMl, threads);
}

std::vector<RegionStats> mapStatistics(const GreyHistogram& histogram, const SliceStack& stack,
                                       const RegionMap& map, std::optional<double> voxelMl,
                                       int threads)
{
    std::vector<RegionStats> rows =
        countedRows(histogram, stack, map, 0, map.labels.size(), voxelMl, threads);
    for (int k = 0; k < kRegionCount; ++k)
        rows[k].pieces = map.pieces[k];
    return rows;
}

std::vector<RegionStats> mapSliceStatistics(const SliceStack& stack, const RegionMap& map, int z,
                                            std::optional<double> voxelMl)
{
    const VolumeSource* source = stack.source();
    int k = z;
    if (source)
        k = z >= 0 && z < static_cast<int>(source->planeOfSlice.size()) ? source->planeOfSlice[z]
                                                                        : -1;
    const std::size_t plane = static_cast<std::size_t>(map.nx) * map.ny;
    const std::size_t first = k >= 0 && k < map.nz ? plane * k : 0;
    const std::size_t last = k >= 0 && k < map.nz ? first + plane : 0;
    return countedRows(sliceHistogram(stack, z), stack, map, first, last, voxelMl, 1);
}

std::vector<RegionStats> islandStatistics(const SliceStack& stack, const imgMaterial* regions,
                                          std::uint64_t minIsland, int threads)
{
    return mapStatistics(stack, regionMap(stack, regions, minIsland, threads), voxelMl(stack),
                         threads);
}

} // namespace lumidra
