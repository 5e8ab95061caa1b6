#pragma once

#include "SliceLayout.h"

#include <nifti1_io.h>

#include <memory>
#include <string>
#include <vector>

struct NiftiImageDeleter {
    void operator()(nifti_image* nim) const { nifti_image_free(nim); }
};
using NiftiImagePtr = std::unique_ptr<nifti_image, NiftiImageDeleter>;

// One scalar NIfTI-1 volume. The constructor reads only the header and refuses
// (ImportError) what cannot be imported, so that nothing is written and no
// voxel is loaded for a volume that would be refused anyway.
class NiftiVolume {
public:
    explicit NiftiVolume(const std::string& path);

    // Loads the voxel data; the planes can be read only after this. Read past
    // nifticlib's loader, which silently turns NaN and infinities into 0.
    void loadVoxels();

    int nx() const { return nim_->nx; }
    int ny() const { return nim_->ny; }
    int nz() const { return nim_->nz; }
    const char* typeName() const { return nifti_datatype_string(nim_->datatype); }
    AxisCodes axes() const;
    // Which header field the orientation comes from, for the user.
    const char* orientationSource() const;
    bool hasIntensityScaling() const { return slope_ != 1.0 || inter_ != 0.0; }

    // The nx * ny values of plane k, i fastest, with scl_slope/scl_inter applied.
    void readPlane(int k, std::vector<double>& out) const;

private:
    void checkShape() const;
    void checkDatatype() const;
    void takeIntensityScaling();
    void readAll(znzFile file, std::size_t bytes);

    NiftiImagePtr nim_;
    std::string path_;
    std::vector<unsigned char> voxels_;
    double slope_ = 1.0;
    double inter_ = 0.0;
};
