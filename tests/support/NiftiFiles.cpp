#include "NiftiFiles.h"

#include <cstdint>
#include <filesystem>
#include <stdexcept>

namespace niftifiles {

namespace {

template <typename T> void store(nifti_image& nim, std::size_t index, double value)
{
    static_cast<T*>(nim.data)[index] = static_cast<T>(value);
}

} // namespace

NiftiImagePtr makeVolume(int datatype, int nx, int ny, int nz, int nt)
{
    const int dims[8] = {nt > 1 ? 4 : 3, nx, ny, nz, nt, 1, 1, 1};
    NiftiImagePtr nim(nifti_make_new_nim(dims, datatype, 1));
    if (!nim)
        throw std::runtime_error("nifti_make_new_nim failed");
    setAxes(*nim, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
    return nim;
}

void setAxes(nifti_image& nim, const int (&rows)[3][3])
{
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            nim.sto_xyz.m[r][c] = static_cast<float>(rows[r][c]);
        nim.sto_xyz.m[r][3] = 0.0f;
        nim.sto_xyz.m[3][r] = 0.0f;
    }
    nim.sto_xyz.m[3][3] = 1.0f;
    nim.sform_code = NIFTI_XFORM_SCANNER_ANAT;
    nim.qform_code = NIFTI_XFORM_UNKNOWN;
}

void setVoxel(nifti_image& nim, std::size_t index, double value)
{
    switch (nim.datatype) {
    case DT_UINT8:
        return store<std::uint8_t>(nim, index, value);
    case DT_INT8:
        return store<std::int8_t>(nim, index, value);
    case DT_INT16:
        return store<std::int16_t>(nim, index, value);
    case DT_UINT16:
        return store<std::uint16_t>(nim, index, value);
    case DT_INT32:
        return store<std::int32_t>(nim, index, value);
    case DT_FLOAT32:
        return store<float>(nim, index, value);
    case DT_FLOAT64:
        return store<double>(nim, index, value);
    default:
        throw std::runtime_error("setVoxel: type not used by the tests");
    }
}

void saveVolume(nifti_image& nim, const std::string& path)
{
    if (nifti_set_filenames(&nim, path.c_str(), 0, 1) != 0)
        throw std::runtime_error("nifti_set_filenames failed for " + path);
    nifti_image_write(&nim);
    if (!std::filesystem::exists(path))
        throw std::runtime_error("nifti_image_write did not write " + path);
}

NiftiImagePtr readWithNifticlib(const std::string& path)
{
    return NiftiImagePtr(nifti_image_read(path.c_str(), 1));
}

} // namespace niftifiles
