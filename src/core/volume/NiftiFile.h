#pragma once

#include "core/volume/ScanVoxels.h"
#include "core/volume/VolumeLayout.h"

#include <nifti1_io.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace lumidra {

struct NiftiImageDeleter {
    void operator()(nifti_image* nim) const { nifti_image_free(nim); }
};
using NiftiImagePtr = std::unique_ptr<nifti_image, NiftiImageDeleter>;

// nifticlib prints its own complaints unless told not to; its level is
// global, so it is set once, before any thread reads.
void quietNifti();

// One scalar NIfTI-1 volume. The constructor reads only the header and
// refuses (VolumeError) what cannot be read, so that no voxel is loaded for
// a volume that would be refused anyway.
class NiftiFile {
public:
    explicit NiftiFile(const std::string& path);

    // Loads the voxel data. Read past nifticlib's loader, which silently
    // turns NaN and infinities into 0, and grown only as data arrives, so a
    // header claiming more than its file holds fails as truncated.
    void loadVoxels();

    const std::string& path() const { return path_; }
    int nx() const { return nim_->nx; }
    int ny() const { return nim_->ny; }
    int nz() const { return nim_->nz; }
    const char* typeName() const { return nifti_datatype_string(nim_->datatype); }
    // Which header field the orientation comes from, for the user.
    const char* orientationSource() const;
    bool hasIntensityScaling() const { return slope_ != 1.0 || inter_ != 0.0; }
    // scl_slope or scl_inter was not finite and has been ignored.
    bool ignoredIntensityScaling() const { return ignoredScaling_; }

    // Voxel size along i, j and k in millimetres: |pixdim| in the header's
    // xyz_units (unknown units taken as millimetres); 0 where it gives none.
    std::array<double, 3> voxelMm() const;
    // Voxel coordinates (i, j, k, 1) to millimetres: the sform when it is
    // set, else the qform, else the voxel size alone.
    std::array<std::array<double, 4>, 3> toMm() const;

    // The scan, its loaded voxels moved into it: values as stored with
    // scl_slope and scl_inter, NaN and infinities as they are, the geometry
    // in millimetres, and the header fields a label map repeats.
    ScanVoxels takeScan();

private:
    void takeIntensityScaling();

    NiftiImagePtr nim_;
    std::string path_;
    // Not a vector: growing one would clear memory that is read into at once.
    std::unique_ptr<unsigned char[]> voxels_;
    std::size_t voxelBytes_ = 0;
    double slope_ = 1.0;
    double inter_ = 0.0;
    bool ignoredScaling_ = false;
};

} // namespace lumidra
