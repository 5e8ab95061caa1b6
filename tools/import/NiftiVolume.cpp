#include "NiftiVolume.h"

#include "ImportError.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

struct ZnzClose {
    void operator()(znzptr* file) const { Xznzclose(&file); }
};
using ZnzFilePtr = std::unique_ptr<znzptr, ZnzClose>;

template <typename T>
void convertPlane(const unsigned char* data, std::size_t first, std::size_t count, double slope,
                  double inter, double* out)
{
    const unsigned char* src = data + first * sizeof(T);
    for (std::size_t n = 0; n < count; ++n) {
        T value;
        std::memcpy(&value, src + n * sizeof(T), sizeof(T));
        out[n] = static_cast<double>(value) * slope + inter;
    }
}

bool isSupportedDatatype(int datatype)
{
    switch (datatype) {
    case DT_UINT8:
    case DT_INT8:
    case DT_INT16:
    case DT_UINT16:
    case DT_INT32:
    case DT_UINT32:
    case DT_INT64:
    case DT_UINT64:
    case DT_FLOAT32:
    case DT_FLOAT64:
        return true;
    default:
        return false;
    }
}

std::string inQuotes(const std::string& path)
{
    return "'" + path + "'";
}

// Refuses a path that is not a NIfTI-1 file before nifticlib reads it.
void checkNiftiFile(const std::string& path)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        throw ImportError("cannot open " + inQuotes(path) + ": no such file");
    if (std::filesystem::is_directory(path, ec))
        throw ImportError(inQuotes(path) + " is a directory, not a NIfTI file");
    // Without a complete name nifticlib would go looking for PATH.nii and friends,
    // and could import a file the user did not name.
    if (!nifti_is_complete_filename(path.c_str()))
        throw ImportError(inQuotes(path) + " is not a NIfTI file: the name must end in .nii, "
                                           ".nii.gz, .hdr or .img");
    const int kind = is_nifti_file(path.c_str());
    if (kind == 0)
        throw ImportError(inQuotes(path) + " is an ANALYZE 7.5 file, not NIfTI: it has no "
                                           "orientation to show the head upright by");
    if (kind < 0)
        throw ImportError(inQuotes(path) + " is not a NIfTI-1 file (no valid NIfTI header)");
}

} // namespace

NiftiVolume::NiftiVolume(const std::string& path) : path_(path)
{
    nifti_set_debug_level(0); // its messages would repeat ours less clearly
    checkNiftiFile(path);
    nim_.reset(nifti_image_read(path.c_str(), 0));
    if (!nim_)
        throw ImportError("cannot read the NIfTI header of " + inQuotes(path));
    checkShape();
    checkDatatype();
    takeIntensityScaling();
}

void NiftiVolume::checkShape() const
{
    const nifti_image& n = *nim_;
    if (n.nx < 1 || n.ny < 1 || n.nz < 1)
        throw ImportError(inQuotes(path_) + " has an empty dimension");
    // Dimensions past the third may be 0 or 1 when unused; the voxel count is reliable.
    const std::size_t volumes = n.nvox / (static_cast<std::size_t>(n.nx) * n.ny * n.nz);
    if (volumes > 1)
        throw ImportError(inQuotes(path_) + " has " + std::to_string(n.ndim) + " dimensions and " +
                          std::to_string(volumes) +
                          " volumes; only a single 3-D volume can be imported");
}

void NiftiVolume::checkDatatype() const
{
    if (!isSupportedDatatype(nim_->datatype))
        throw ImportError(inQuotes(path_) + " holds " + typeName() +
                          " voxels; only real scalar voxels (integer or float) can be imported");
}

void NiftiVolume::takeIntensityScaling()
{
    const double slope = nim_->scl_slope;
    const double inter = nim_->scl_inter;
    if (slope == 0.0) // the header's way of saying "no scaling"
        return;
    if (!std::isfinite(slope) || !std::isfinite(inter)) {
        std::fprintf(stderr, "lumidra-import: warning: ignoring non-finite scl_slope/scl_inter\n");
        return;
    }
    slope_ = slope;
    inter_ = inter;
}

void NiftiVolume::loadVoxels()
{
    if (!nim_->iname)
        throw ImportError(inQuotes(path_) + " names no voxel data file");
    ZnzFilePtr file(znzopen(nim_->iname, "rb", nifti_is_gzfile(nim_->iname)));
    if (!file || znzseek(file.get(), nim_->iname_offset, SEEK_SET) < 0)
        throw ImportError("cannot open the voxels of " + inQuotes(path_));
    const std::size_t bytes = nim_->nvox * static_cast<std::size_t>(nim_->nbyper);
    try {
        readAll(file.get(), bytes);
    } catch (const std::bad_alloc&) {
        throw ImportError(inQuotes(path_) + " is too large to load (" + std::to_string(bytes) +
                          " bytes of voxels)");
    }
    if (voxels_.size() < bytes)
        throw ImportError("cannot read the voxels of " + inQuotes(path_) +
                          ": the file is truncated or damaged");
    if (nim_->swapsize > 1 && nim_->byteorder != nifti_short_order())
        nifti_swap_Nbytes(nim_->nvox, nim_->swapsize, voxels_.data());
}

// Grows the buffer only as data arrives, so that a header claiming a huge volume
// in a small (compressed) file fails as truncated instead of exhausting memory.
void NiftiVolume::readAll(znzFile file, std::size_t bytes)
{
    constexpr std::size_t kChunk = std::size_t{1} << 26;
    voxels_.clear();
    voxels_.reserve(std::min(bytes, 4 * kChunk));
    while (voxels_.size() < bytes) {
        const std::size_t start = voxels_.size();
        const std::size_t want = std::min(kChunk, bytes - start);
        voxels_.resize(start + want);
        const std::size_t got = znzread(voxels_.data() + start, 1, want, file);
        if (got < want) {
            voxels_.resize(start + got);
            return;
        }
    }
}

AxisCodes NiftiVolume::axes() const
{
    const mat44& m = nim_->sform_code > 0 ? nim_->sto_xyz : nim_->qto_xyz;
    AxisCodes a;
    nifti_mat44_to_orientation(m, &a.i, &a.j, &a.k);
    return a;
}

const char* NiftiVolume::orientationSource() const
{
    if (nim_->sform_code > 0)
        return "sform";
    if (nim_->qform_code > 0)
        return "qform";
    return "voxel spacing only (the header gives no orientation)";
}

void NiftiVolume::readPlane(int k, std::vector<double>& out) const
{
    const std::size_t count = static_cast<std::size_t>(nx()) * static_cast<std::size_t>(ny());
    const std::size_t first = count * static_cast<std::size_t>(k);
    if (k < 0 || k >= nz() || voxels_.size() < (first + count) * nim_->nbyper)
        throw ImportError("plane " + std::to_string(k) + " is not loaded");
    out.resize(count);
    const unsigned char* data = voxels_.data();
    double* dst = out.data();
    switch (nim_->datatype) {
    case DT_UINT8:
        return convertPlane<std::uint8_t>(data, first, count, slope_, inter_, dst);
    case DT_INT8:
        return convertPlane<std::int8_t>(data, first, count, slope_, inter_, dst);
    case DT_INT16:
        return convertPlane<std::int16_t>(data, first, count, slope_, inter_, dst);
    case DT_UINT16:
        return convertPlane<std::uint16_t>(data, first, count, slope_, inter_, dst);
    case DT_INT32:
        return convertPlane<std::int32_t>(data, first, count, slope_, inter_, dst);
    case DT_UINT32:
        return convertPlane<std::uint32_t>(data, first, count, slope_, inter_, dst);
    case DT_INT64:
        return convertPlane<std::int64_t>(data, first, count, slope_, inter_, dst);
    case DT_UINT64:
        return convertPlane<std::uint64_t>(data, first, count, slope_, inter_, dst);
    case DT_FLOAT32:
        return convertPlane<float>(data, first, count, slope_, inter_, dst);
    case DT_FLOAT64:
        return convertPlane<double>(data, first, count, slope_, inter_, dst);
    default:
        throw ImportError("unsupported voxel type"); // refused by the constructor already
    }
}
