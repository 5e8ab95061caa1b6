#pragma once

#include <nifti1_io.h>

#include <array>

namespace lumidra {

// The NIfTI header fields that place a volume's voxels in the scanner: taken
// from the volume that was read, and repeated by every volume written over it
// (a region map), so that the two lie over each other voxel for voxel.
struct NiftiGeometry {
    std::array<float, 8> pixdim{};
    int xyztUnits = 0;
    int qformCode = 0;
    int sformCode = 0;
    float quaternB = 0, quaternC = 0, quaternD = 0;
    float qoffsetX = 0, qoffsetY = 0, qoffsetZ = 0;
    std::array<float, 4> srowX{}, srowY{}, srowZ{};
};

NiftiGeometry geometryOf(const nifti_image& nim);
void applyGeometry(nifti_image& nim, const NiftiGeometry& g);
// 1 mm voxels in scanner space, no rotation: a slice directory has no other.
void applyIdentityGeometry(nifti_image& nim);

} // namespace lumidra
