#pragma once

#include "core/volume/ScanVoxels.h"
#include "core/volume/VolumeIntensity.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace lumidra {

// A scan's voxels seen through a window: each voxel's sample on 0..top
// worked out as it is read, never stored. Types of at most 16 bits go
// through a table of the sample of each bit pattern, wider ones through the
// window's arithmetic; both give the same sample for the same value.
class WindowedVoxels {
public:
    WindowedVoxels(std::shared_ptr<const ScanVoxels> scan, const IntensityWindow& window,
                   int top = kTopSample);

    const ScanVoxels& scan() const { return *scan_; }
    const std::shared_ptr<const ScanVoxels>& sharedScan() const { return scan_; }
    const IntensityWindow& window() const { return window_; }

    // The samples of voxels [begin, end) into out; NaN and infinities read as
    // 0. Returns how many of them were NaN or infinite.
    std::size_t read(std::size_t begin, std::size_t end, std::uint16_t* out) const;
    // The samples of count voxels from voxel first on, step voxels apart (a
    // row of a plane across the scan's own axes).
    void readAlong(std::size_t first, std::ptrdiff_t step, int count, std::uint16_t* out) const;
    // The same samples each mapped through bySample (top + 1 bytes) into out,
    // NaN and infinities as 0 whatever bySample says of sample 0: one pass
    // over the voxels, through one table for types of at most 16 bits.
    void readThrough(const std::uint8_t* bySample, std::size_t begin, std::size_t end,
                     std::uint8_t* out) const;
    std::uint16_t sampleAt(std::size_t n) const;
    // Voxel n in the scan's units: stored * slope + inter.
    double valueAt(std::size_t n) const;
    // Whether the table below serves this scan (types of at most 16 bits).
    bool byPattern() const { return !table_.empty(); }
    // The sample of a bit pattern of the stored type, when byPattern().
    std::uint16_t sampleOfPattern(std::size_t bits) const { return table_[bits]; }

private:
    std::shared_ptr<const ScanVoxels> scan_;
    IntensityWindow window_;
    int top_;
    std::vector<std::uint16_t> table_;
};

} // namespace lumidra
