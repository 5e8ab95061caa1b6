#pragma once

#include "core/volume/NiftiHeader.h"
#include "core/volume/VolumeLayout.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace lumidra {

struct VoxelIndex {
    int i = 0;
    int j = 0;
    int k = 0;
};

// The NIfTI volume behind a stack, kept at the scan's own resolution: its
// voxels on the 12-bit scale and the geometry that ties the stack's pixels to
// them. Region statistics and label maps are taken here, so a plane that was
// reduced to fit the views is still counted voxel by voxel, and padding is
// never counted.
struct VolumeSource {
    int nx = 0;
    int ny = 0;
    int nz = 0;
    // Every source voxel on the 12-bit scale, i fastest: nx * ny * nz values.
    std::vector<std::uint16_t> samples;

    // Voxel size along i, j and k in millimetres; 0 where the header gives none.
    std::array<double, 3> voxelMm{};
    // Voxel coordinates (i, j, k, 1) to scanner millimetres: the sform when
    // it is set, else the qform, else the voxel size alone.
    std::array<std::array<double, 4>, 3> toMm{};

    // The orientation codes of i, j and k the slices were laid out by
    // (usable ones: i L2R, j P2A, k I2S when the header's were not).
    AxisCodes axes;

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
    // plane by fitFactor. 0 where the header gives no size.
    std::array<double, 3> slicePixelMm{};

    // The NIfTI header fields a label map must repeat to lie over the source.
    using Header = NiftiGeometry;
    Header header;

    std::size_t voxelCount() const
    {
        return static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny) *
               static_cast<std::size_t>(nz);
    }
    const std::uint16_t* plane(int k) const
    {
        return samples.data() + static_cast<std::size_t>(k) * nx * ny;
    }
    // Millilitres of one voxel, or nothing when the size is unknown.
    std::optional<double> voxelMl() const
    {
        const double mm3 = voxelMm[0] * voxelMm[1] * voxelMm[2];
        return mm3 > 0 ? std::optional<double>(mm3 / 1000.0) : std::nullopt;
    }
    // The source voxel under sample `pixel` of stack slice z, or nothing for padding.
    std::optional<VoxelIndex> voxelAt(int z, int pixel) const
    {
        if (z < 0 || z >= static_cast<int>(planeOfSlice.size()) || pixel < 0 ||
            pixel >= static_cast<int>(pixelVoxel.size()) || pixelVoxel[pixel] < 0)
            return std::nullopt;
        const std::int64_t v = pixelVoxel[pixel];
        return VoxelIndex{static_cast<int>(v % nx), static_cast<int>(v / nx), planeOfSlice[z]};
    }
    std::array<double, 3> positionMm(VoxelIndex v) const
    {
        std::array<double, 3> p{};
        for (int r = 0; r < 3; ++r)
            p[r] = toMm[r][0] * v.i + toMm[r][1] * v.j + toMm[r][2] * v.k + toMm[r][3];
        return p;
    }
};

} // namespace lumidra
