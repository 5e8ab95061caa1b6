#pragma once

// NIfTI-1 volumes for tests, written with nifticlib itself, so the reader is
// checked against the library's own idea of the format.
#include <nifti1_io.h>

#include <cstddef>
#include <memory>
#include <string>

namespace niftifiles {

struct NiftiImageFree {
    void operator()(nifti_image* nim) const { nifti_image_free(nim); }
};
using NiftiImagePtr = std::unique_ptr<nifti_image, NiftiImageFree>;

// A zero-filled volume of nx x ny x nz (x nt) voxels, oriented by sform as x = i,
// y = j, z = k (i Left-to-Right, j Posterior-to-Anterior, k Inferior-to-Superior).
NiftiImagePtr makeVolume(int datatype, int nx, int ny, int nz, int nt = 1);

// Sets the sform's rotation: row r gives the world axis (x, y, z) of each voxel axis.
void setAxes(nifti_image& nim, const int (&rows)[3][3]);

// Stores value at voxel index i + nx * (j + ny * k), converted to the volume's type.
void setVoxel(nifti_image& nim, std::size_t index, double value);

// Writes the volume with nifticlib itself; the extension (.nii, .nii.gz) picks the format.
void saveVolume(nifti_image& nim, const std::string& path);

// Reads a volume back with its voxels; null when nifticlib cannot.
NiftiImagePtr readWithNifticlib(const std::string& path);

} // namespace niftifiles
