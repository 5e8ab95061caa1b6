#include "core/volume/NiftiWriter.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace lumidra {

namespace {

struct BorrowedVoxels {
    void operator()(nifti_image* nim) const
    {
        nim->data = nullptr; // the voxels belong to the caller
        nifti_image_free(nim);
    }
};

struct OwnedVoxels {
    void operator()(nifti_image* nim) const { nifti_image_free(nim); }
};

} // namespace

void writeLabelVolume(const std::string& path, const std::vector<std::uint8_t>& labels, int nx,
                      int ny, int nz, const NiftiGeometry* geometry, int labelCount)
{
    const int dims[8] = {3, nx, ny, nz, 1, 1, 1, 1};
    std::unique_ptr<nifti_image, BorrowedVoxels> nim(nifti_make_new_nim(dims, DT_UINT8, 0));
    if (!nim || nim->nvox != labels.size())
        throw std::runtime_error("cannot make the label volume '" + path + "'");
    nim->data = const_cast<std::uint8_t*>(labels.data());
    if (geometry)
        applyGeometry(*nim, *geometry);
    else
        applyIdentityGeometry(*nim);
    nim->intent_code = NIFTI_INTENT_LABEL;
    nim->cal_min = 0;
    nim->cal_max = static_cast<float>(labelCount);
    std::snprintf(nim->descrip, sizeof nim->descrip, "Lumidra region map");
    nim->nifti_type = NIFTI_FTYPE_NIFTI1_1;
    if (nifti_set_filenames(nim.get(), path.c_str(), 0, 1) != 0)
        throw std::runtime_error("cannot name the label volume '" + path + "'");
    nifti_image_write(nim.get());

    std::unique_ptr<nifti_image, OwnedVoxels> back(nifti_image_read(path.c_str(), 1));
    if (!back || back->nvox != labels.size() || back->datatype != DT_UINT8 ||
        std::memcmp(back->data, labels.data(), labels.size()) != 0)
        throw std::runtime_error("cannot write '" + path + "': the volume did not read back whole");
}

} // namespace lumidra
