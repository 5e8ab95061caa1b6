#include "core/stats/RegionMap.h"

#include "core/common/Parallel.h"
#include "core/stats/Islands.h"
#include "core/volume/VolumeSource.h"

#include <stdexcept>

namespace lumidra {

ScanGrid scanGrid(const VolumeSource& source)
{
    return {source.samples.data(), source.samples.size(), source.nx, source.ny, source.nz, &source};
}

ScanGrid scanGrid(const SliceStack& stack)
{
    if (const VolumeSource* source = stack.source())
        return scanGrid(*source);
    return {stack.samples(), stack.size(), kSliceSide, kSliceSide, stack.count(), nullptr};
}

namespace {

std::array<std::uint8_t, 256> labelsOfGreys(const imgMaterial* regions)
{
    const RegionOfGrey owner = regionOfGrey(regions);
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

std::vector<std::uint8_t> labelVoxels(const ScanGrid& scan, const imgMaterial* regions, int threads)
{
    const std::array<std::uint8_t, 256> labelOfGrey = labelsOfGreys(regions);
    std::vector<std::uint8_t> labels(scan.count);
    inParallel(scan.count, threads, [&](std::size_t, std::size_t begin, std::size_t end) {
        for (std::size_t n = begin; n < end; ++n)
            labels[n] = labelOfGrey[greyOf(scan.samples[n])];
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
    return map;
}

namespace {

void tallyLabels(RegionTally& tally, const std::uint8_t* labels, const std::uint16_t* samples,
                 std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t row = rowOfLabel(labels[i]);
        ++tally.voxels[row];
        tally.sampleSum[row] += samples[i];
    }
}

// Moves the voxels the map gave to none from their region's row to none's.
void tallyIslands(RegionTally& tally, const RegionMap& map, const std::uint8_t* labels,
                  const std::uint16_t* samples, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t before = map.labelOfGrey[greyOf(samples[i])];
        if (labels[i] != before) {
            const std::size_t row = rowOfLabel(before);
            --tally.voxels[row];
            tally.sampleSum[row] -= samples[i];
            ++tally.voxels[kRegionCount];
            tally.sampleSum[kRegionCount] += samples[i];
        }
    }
}

void checkMapOf(const ScanGrid& scan, const RegionMap& map)
{
    if (map.nx != scan.nx || map.ny != scan.ny || map.nz != scan.nz ||
        map.labels.size() != scan.count)
        throw std::invalid_argument("a region map of another scan");
}

} // namespace

std::vector<RegionStats> mapStatistics(const SliceStack& stack, const RegionMap& map,
                                       std::optional<double> voxelMl, int threads)
{
    return mapStatistics(stackHistogram(stack, threads), stack, map, voxelMl, threads);
}

// The counts are the histogram's, the regions as they were when the map was
// made, less what went to none: only the voxels whose label changed are
// read twice, and none when no island was left out.
std::vector<RegionStats> mapStatistics(const GreyHistogram& histogram, const SliceStack& stack,
                                       const RegionMap& map, std::optional<double> voxelMl,
                                       int threads)
{
    const ScanGrid scan = scanGrid(stack);
    checkMapOf(scan, map);
    RegionTally tally;
    for (int v = 0; v < 256; ++v) {
        const std::size_t row = rowOfLabel(map.labelOfGrey[v]);
        tally.voxels[row] += histogram.count[v];
        tally.sampleSum[row] += histogram.sampleSum[v];
    }
    if (map.islandVoxels > 0) {
        // Unsigned arithmetic: each part's own decrements and increments wrap
        // and come right in the sum.
        std::vector<RegionTally> parts(partsFor(scan.count, threads));
        inParallel(scan.count, threads, [&](std::size_t part, std::size_t begin, std::size_t end) {
            tallyIslands(parts[part], map, map.labels.data() + begin, scan.samples + begin,
                         end - begin);
        });
        for (const RegionTally& part : parts) {
            for (int row = 0; row <= kRegionCount; ++row) {
                tally.voxels[row] += part.voxels[row];
                tally.sampleSum[row] += part.sampleSum[row];
            }
        }
    }
    std::vector<RegionStats> rows = regionStatistics(tally, voxelMl);
    for (int k = 0; k < kRegionCount; ++k)
        rows[k].pieces = map.pieces[k];
    return rows;
}

std::vector<RegionStats> mapSliceStatistics(const SliceStack& stack, const RegionMap& map, int z,
                                            std::optional<double> voxelMl)
{
    const ScanGrid scan = scanGrid(stack);
    checkMapOf(scan, map);
    RegionTally tally;
    const std::size_t plane = static_cast<std::size_t>(scan.nx) * scan.ny;
    int k = z;
    if (scan.source)
        k = z >= 0 && z < static_cast<int>(scan.source->planeOfSlice.size())
                ? scan.source->planeOfSlice[z]
                : -1;
    if (k >= 0 && k < scan.nz)
        tallyLabels(tally, map.labels.data() + plane * k, scan.samples + plane * k, plane);
    return regionStatistics(tally, voxelMl);
}

std::vector<RegionStats> islandStatistics(const SliceStack& stack, const imgMaterial* regions,
                                          std::uint64_t minIsland, int threads)
{
    return mapStatistics(stack, regionMap(stack, regions, minIsland, threads), voxelMl(stack),
                         threads);
}

} // namespace lumidra
