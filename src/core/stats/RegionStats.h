#pragma once

#include "core/regions/ImgMaterial.h"
#include "core/regions/RegionRules.h"
#include "core/slices/SliceStack.h"
#include "core/volume/VolumeIntensity.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lumidra {

// How many voxels of a scan hold each grey value, and the sum of their
// 12-bit samples: everything the region statistics need, in 256 bins.
struct GreyHistogram {
    std::array<std::uint64_t, 256> count{};
    std::array<std::uint64_t, 256> sampleSum{};

    void add(const std::uint16_t* samples, std::size_t n);
    void add(const std::uint8_t* greys, std::size_t n); // PGM grey bytes: sample = grey * 16
    void add(const GreyHistogram& other);
    std::uint64_t total() const;
};

// The scan behind a stack: every pixel of a slice directory; a volume's own
// voxels at its own resolution, so padding never counts and a plane reduced
// to fit the views still counts voxel by voxel. NaN and infinite voxels
// count in no bin.
GreyHistogram sliceHistogram(const SliceStack& stack, int z);
// The whole stack's, split over the given number of threads.
GreyHistogram stackHistogram(const SliceStack& stack, int threads = 1);

// Millilitres of one voxel of the scan, when its voxel size is known.
std::optional<double> voxelMl(const SliceStack& stack);
// The window a volume's samples came through; null for a slice directory.
const IntensityWindow* intensityWindow(const SliceStack& stack);
// The voxels of a volume that are NaN or infinite, left out of every statistic.
std::uint64_t nonFiniteVoxels(const SliceStack& stack);

constexpr int kNoRegion = -1; // as regionsByGrey gives a grey value no region takes

struct RegionStats {
    int region = kNoRegion; // record index, or kNoRegion for the voxels no region takes
    std::uint64_t voxels = 0;
    double fraction = 0;              // of all voxels of the scan
    std::optional<double> volumeMl;   // when the voxel size is known
    std::optional<double> meanSample; // when the region takes any voxel
    // The region's grey range in the scan's units under the window: the
    // values that land exactly on its lowest sample (16 * min) and its
    // highest (16 * max + 15). For a volume, when the range holds a grey value.
    std::optional<double> minValue;
    std::optional<double> maxValue;
    // The region's 6-connected 3-D pieces, when they were counted (never
    // for the no-region row).
    std::optional<std::uint64_t> pieces;
};

// Each record's voxels and the sum of their samples; index kRegionCount
// holds the voxels no region takes.
struct RegionTally {
    std::array<std::uint64_t, kRegionCount + 1> voxels{};
    std::array<std::uint64_t, kRegionCount + 1> sampleSum{};
};

// The values of a region's grey range under a window (see RegionStats), or
// nothing when the range holds no grey value.
std::optional<std::pair<double, double>> regionValueRange(const imgMaterial& region,
                                                          const IntensityWindow& window);

// One row per record of the table in table order, then the no-region row.
// The voxel counts partition the scan's finite voxels. window: the one the
// samples came through, for the ranges in the scan's units (none for a
// slice directory).
std::vector<RegionStats> regionStatistics(const GreyHistogram& histogram,
                                          const imgMaterial* regions, std::optional<double> voxelMl,
                                          const IntensityWindow* window = nullptr);
// The same from counts already made; regions and window give only the value ranges.
std::vector<RegionStats> regionStatistics(const RegionTally& tally, const imgMaterial* regions,
                                          std::optional<double> voxelMl,
                                          const IntensityWindow* window = nullptr);

// A record's name as the exports write it, in UTF-8: its bytes taken as
// UTF-8 when they are valid UTF-8 (a hand-written region file), else as
// Latin-1 (what the window writes). A name that fills its field and ends in
// a character cut short is UTF-8 without that character, so no export holds
// half of one.
std::string regionNameUtf8(const imgMaterial& region);

// The statistics as CSV: the header line, and the rows of one input.
std::string statsCsvHeader();
std::string statsCsvRows(std::string_view input, const std::vector<RegionStats>& rows,
                         const imgMaterial* regions);

} // namespace lumidra
