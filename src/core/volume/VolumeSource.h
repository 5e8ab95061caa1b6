#pragma once

#include "core/volume/NiftiHeader.h"
#include "core/volume/ScanValues.h"
#include "core/volume/ScanVoxels.h"
#include "core/volume/VolumeLayout.h"
#include "core/volume/WindowedVoxels.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace lumidra {

struct VoxelIndex {
    int i = 0;
    int j = 0;
    int k = 0;
};

// The scan behind a stack, kept at its own resolution and in its own units:
// its voxels once, as stored (shared by every window opened on them), the
// window in use, and the geometry that ties the stack's pixels to them.
// Region statistics and label maps are taken here, so a plane that was
// reduced to fit the views is still counted voxel by voxel, and padding is
// never counted. A voxel's 12-bit sample is derived through the window as it
// is read.
class VolumeSource {
public:
    VolumeSource(std::shared_ptr<const ScanVoxels> scan, std::shared_ptr<const ScanValues> values,
                 const IntensityWindow& window, const SliceLayout& layout);

    // The same voxels and placement through another window, worked out from
    // values (the scan's own, perhaps ranked since).
    std::shared_ptr<const VolumeSource> withWindow(const IntensityWindow& window,
                                                   std::shared_ptr<const ScanValues> values) const;

    int nx() const { return voxels_.scan().nx; }
    int ny() const { return voxels_.scan().ny; }
    int nz() const { return voxels_.scan().nz; }
    std::size_t voxelCount() const { return voxels_.scan().voxelCount(); }
    std::size_t planeSize() const { return static_cast<std::size_t>(nx()) * ny(); }

    const ScanVoxels& scan() const { return voxels_.scan(); }
    const std::shared_ptr<const ScanVoxels>& sharedScan() const { return voxels_.sharedScan(); }
    const ScanValues& values() const { return *values_; }
    const std::shared_ptr<const ScanValues>& sharedValues() const { return values_; }
    const IntensityWindow& window() const { return voxels_.window(); }
    const SliceLayout& layout() const { return layout_; }
    // NaN and infinite voxels: sample 0 in the stack, in no statistic.
    std::uint64_t nonFiniteCount() const { return values_->nonFinite; }

    // Voxel n (i + nx * (j + ny * k)) on the 12-bit scale, and in the scan's units.
    std::uint16_t sampleAt(std::size_t n) const { return voxels_.sampleAt(n); }
    double valueAt(std::size_t n) const { return voxels_.valueAt(n); }
    // Whether voxel n counts: NaN and infinities are in no statistic.
    bool isFinite(std::size_t n) const { return std::isfinite(valueAt(n)); }
    // The samples of voxels [begin, end), NaN and infinities as 0; returns how many those were.
    std::size_t samples(std::size_t begin, std::size_t end, std::uint16_t* out) const
    {
        return voxels_.read(begin, end, out);
    }
    // The samples of count voxels from voxel first on, step voxels apart.
    void samplesAlong(std::size_t first, std::ptrdiff_t step, int count, std::uint16_t* out) const
    {
        voxels_.readAlong(first, step, count, out);
    }
    // The samples of voxels [begin, end) each mapped through bySample (4,096
    // bytes) into out, NaN and infinities as 0.
    void samplesThrough(const std::uint8_t* bySample, std::size_t begin, std::size_t end,
                        std::uint8_t* out) const
    {
        voxels_.readThrough(bySample, begin, end, out);
    }
    // The nx * ny samples of plane k.
    std::size_t samplesOfPlane(int k, std::uint16_t* out) const
    {
        const std::size_t first = static_cast<std::size_t>(k) * planeSize();
        return voxels_.read(first, first + planeSize(), out);
    }
    const WindowedVoxels& windowed() const { return voxels_; }

    // Voxel size along i, j and k in millimetres; 0 where the scan gives none.
    const std::array<double, 3>& voxelMm() const { return scan().voxelMm; }
    // Voxel coordinates (i, j, k, 1) to scanner millimetres.
    const std::array<std::array<double, 4>, 3>& toMm() const { return scan().toMm; }
    // The NIfTI header fields a label map must repeat to lie over the source.
    const NiftiGeometry& header() const { return scan().geometry; }

    // Stack slice z shows source plane planeOfSlice[z] (k).
    std::vector<int> planeOfSlice;
    // For each of the 65,536 pixels of a stack slice (sample order), the
    // source voxel i + nx * j it shows, or -1 for padding. For a plane that
    // was reduced to fit, the voxel nearest the centre of the pixel's block.
    std::vector<std::int64_t> pixelVoxel;
    // The integer factor a plane was reduced by to fit (1: not reduced).
    int fitFactor = 1;
    // A stack pixel's size along a slice row and down a slice column, and the
    // distance between slices, in millimetres: the voxel size, grown in the
    // plane by fitFactor. 0 where the scan gives no size.
    std::array<double, 3> slicePixelMm{};

    // Millilitres of one voxel, or nothing when the size is unknown.
    std::optional<double> voxelMl() const
    {
        const double mm3 = voxelMm()[0] * voxelMm()[1] * voxelMm()[2];
        return mm3 > 0 ? std::optional<double>(mm3 / 1000.0) : std::nullopt;
    }
    // The source voxel under sample `pixel` of stack slice z, or nothing for padding.
    std::optional<VoxelIndex> voxelAt(int z, int pixel) const
    {
        if (z < 0 || z >= static_cast<int>(planeOfSlice.size()) || pixel < 0 ||
            pixel >= static_cast<int>(pixelVoxel.size()) || pixelVoxel[pixel] < 0)
            return std::nullopt;
        const std::int64_t v = pixelVoxel[pixel];
        return VoxelIndex{static_cast<int>(v % nx()), static_cast<int>(v / nx()), planeOfSlice[z]};
    }
    std::size_t indexOf(VoxelIndex v) const
    {
        return static_cast<std::size_t>(v.i) +
               static_cast<std::size_t>(nx()) * (v.j + static_cast<std::size_t>(ny()) * v.k);
    }
    std::array<double, 3> positionMm(VoxelIndex v) const
    {
        std::array<double, 3> p{};
        for (int r = 0; r < 3; ++r)
            p[r] = toMm()[r][0] * v.i + toMm()[r][1] * v.j + toMm()[r][2] * v.k + toMm()[r][3];
        return p;
    }

private:
    WindowedVoxels voxels_;
    std::shared_ptr<const ScanValues> values_;
    SliceLayout layout_;
};

} // namespace lumidra
