#pragma once

#include "core/regions/ImgMaterial.h"
#include "core/slices/SliceStack.h"
#include "core/stats/RegionStats.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace lumidra {

class VolumeSource;

// The voxels of the scan behind a stack: a volume's own at its own
// resolution (i fastest), or a slice directory's pixels as a 256 x 256 x
// count volume in sample order.
struct ScanGrid {
    const SliceStack* slices = nullptr; // a slice directory's stack; null for a volume
    std::size_t count = 0;
    int nx = 0;
    int ny = 0;
    int nz = 0;
    const VolumeSource* source = nullptr; // null for a slice directory
};
ScanGrid scanGrid(const SliceStack& stack);
ScanGrid scanGrid(const VolumeSource& source);

// The label of each voxel of the scan under the Show All rule: region
// index + 1, 0 where no region takes it, so the map lies over the source
// voxel for voxel. A volume's NaN and infinite voxels are labelled 0.
std::vector<std::uint8_t> labelVoxels(const SliceStack& stack, const imgMaterial* regions);
std::vector<std::uint8_t> labelVoxels(const ScanGrid& scan, const imgMaterial* regions,
                                      int threads = 1);

// A scan labelled by the regions, with the 6-connected 3-D pieces of a
// region smaller than minIsland voxels given to none (0 keeps every piece),
// and the pieces each region keeps. The views never see it: it is what the
// statistics and the region map count.
struct RegionMap {
    int nx = 0;
    int ny = 0;
    int nz = 0;
    std::uint64_t minIsland = 0;
    std::vector<std::uint8_t> labels;
    std::array<std::uint64_t, kRegionCount> pieces{};
    std::uint64_t islandVoxels = 0;              // voxels given to none
    std::array<std::uint8_t, 256> labelOfGrey{}; // each grey value's label before
    std::vector<imgMaterial> regions;            // the table it was made with; empty for none
};
RegionMap regionMap(const SliceStack& stack, const imgMaterial* regions, std::uint64_t minIsland,
                    int threads = 1);

// The map of what the colour view paints by its rule: every region, first
// match, under Show All (regionNum < 0), or region regionNum alone (its own
// pieces, whatever earlier records hold), islands left out as above.
RegionMap paintedMap(const SliceStack& stack, const imgMaterial* regions, int regionNum,
                     std::uint64_t minIsland, int threads = 1);

// Statistics as regionStatistics gives them, counted from the map of the
// stack: over the whole scan, each region's row with its pieces; or over the
// voxels stack slice z shows (no pieces: those are pieces of the whole
// scan). Throws std::invalid_argument for a map of another scan's size.
std::vector<RegionStats> mapStatistics(const SliceStack& stack, const RegionMap& map,
                                       std::optional<double> voxelMl, int threads = 1);
// The same from the stack's histogram (stackHistogram), when it is at hand.
std::vector<RegionStats> mapStatistics(const GreyHistogram& histogram, const SliceStack& stack,
                                       const RegionMap& map, std::optional<double> voxelMl,
                                       int threads = 1);
std::vector<RegionStats> mapSliceStatistics(const SliceStack& stack, const RegionMap& map, int z,
                                            std::optional<double> voxelMl);

// Region statistics of a stack with islands left out: regionMap, then mapStatistics.
std::vector<RegionStats> islandStatistics(const SliceStack& stack, const imgMaterial* regions,
                                          std::uint64_t minIsland, int threads = 1);

} // namespace lumidra
