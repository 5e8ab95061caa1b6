#include "core/volume/NiftiFile.h"

#include "core/common/HugePages.h"
#include "core/volume/NiftiHeader.h"
#include "core/volume/VolumeError.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>

namespace lumidra {

namespace {

struct ZnzClose {
    void operator()(znzptr* file) const { Xznzclose(&file); }
};
using ZnzFilePtr = std::unique_ptr<znzptr, ZnzClose>;

constexpr int kNifti1HeaderBytes = 348;
constexpr int kNifti2HeaderBytes = 540;

std::string inQuotes(const std::string& path)
{
    return "'" + path + "'";
}

std::uint32_t byteSwapped(std::uint32_t v)
{
    return (v >> 24) | ((v >> 8) & 0xff00u) | ((v << 8) & 0xff0000u) | (v << 24);
}

// The voxel type of a NIfTI datatype; nothing for one that is not a real scalar.
std::optional<VoxelType> voxelTypeOf(int datatype)
{
    switch (datatype) {
    case DT_UINT8:
        return VoxelType::UInt8;
    case DT_INT8:
        return VoxelType::Int8;
    case DT_UINT16:
        return VoxelType::UInt16;
    case DT_INT16:
        return VoxelType::Int16;
    case DT_UINT32:
        return VoxelType::UInt32;
    case DT_INT32:
        return VoxelType::Int32;
    case DT_UINT64:
        return VoxelType::UInt64;
    case DT_INT64:
        return VoxelType::Int64;
    case DT_FLOAT32:
        return VoxelType::Float32;
    case DT_FLOAT64:
        return VoxelType::Float64;
    default:
        return std::nullopt;
    }
}

// Refuses a path that is not a file nifticlib should be given.
void checkPath(const std::string& path)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found)
        throw VolumeError("cannot open " + inQuotes(path) + ": no such file");
    if (ec)
        throw VolumeError("cannot open " + inQuotes(path) + ": " + ec.message());
    if (fs::is_directory(status))
        throw VolumeError(inQuotes(path) + " is a directory, not a NIfTI file");
    // A FIFO or a device could block the reader or never end.
    if (!fs::is_regular_file(status))
        throw VolumeError(inQuotes(path) + " is not a regular file");
    // Without a complete name nifticlib would go looking for PATH.nii and friends,
    // and could read a file the user did not name.
    if (!nifti_is_complete_filename(path.c_str()))
        throw VolumeError(inQuotes(path) + " is not a NIfTI file: the name must end in .nii, "
                                           ".nii.gz, .hdr or .img");
}

std::string headerFileOf(const std::string& path)
{
    char* name = nifti_findhdrname(path.c_str());
    if (!name)
        throw VolumeError("cannot find the header of " + inQuotes(path));
    std::string header(name);
    std::free(name);
    return header;
}

// The raw header, in the machine's byte order. Tells a NIfTI-2 or ANALYZE
// header, and a short file, apart from a NIfTI-1 one before nifticlib reads it.
nifti_1_header readRawHeader(const std::string& path)
{
    const std::string name = headerFileOf(path);
    errno = 0;
    ZnzFilePtr file(znzopen(name.c_str(), "rb", nifti_is_gzfile(name.c_str())));
    if (!file)
        throw VolumeError("cannot open " + inQuotes(path) + ": " +
                          (errno ? std::strerror(errno) : "unreadable"));
    unsigned char bytes[kNifti1HeaderBytes] = {};
    const std::size_t got = znzread(bytes, 1, sizeof bytes, file.get());
    if (got < 4 || got > sizeof bytes)
        throw VolumeError(inQuotes(path) + " is too short to be a NIfTI file");
    std::uint32_t size = 0;
    std::memcpy(&size, bytes, 4);
    if (size == kNifti2HeaderBytes || byteSwapped(size) == kNifti2HeaderBytes)
        throw VolumeError(inQuotes(path) + " is a NIfTI-2 file; only NIfTI-1 volumes can be read");
    const bool swapped = byteSwapped(size) == kNifti1HeaderBytes;
    if (size != kNifti1HeaderBytes && !swapped)
        throw VolumeError(inQuotes(path) + " is not a NIfTI-1 file (no valid NIfTI header)");
    if (got < sizeof bytes)
        throw VolumeError(inQuotes(path) + " is truncated: its header is incomplete");
    nifti_1_header h;
    std::memcpy(&h, bytes, sizeof h);
    if (swapped)
        swap_nifti_header(&h, 1);
    return h;
}

void checkHeader(const std::string& path, const nifti_1_header& h)
{
    if (!NIFTI_VERSION(h))
        throw VolumeError(inQuotes(path) + " is an ANALYZE 7.5 file, not NIfTI: it has no "
                                           "orientation to show the head upright by");
    const int ndim = h.dim[0];
    if (ndim < 1 || ndim > 7)
        throw VolumeError(inQuotes(path) + " has an invalid dimension count (" +
                          std::to_string(ndim) + ")");
    std::int64_t voxels = 1;
    for (int d = 1; d <= std::min(ndim, 3); ++d) {
        if (h.dim[d] < 1)
            throw VolumeError(inQuotes(path) + " has an empty or negative dimension");
        voxels *= h.dim[d];
    }
    // Dimensions past the third may be 0 or 1 when unused.
    std::int64_t volumes = 1;
    for (int d = 4; d <= ndim; ++d)
        volumes *= std::max<short>(h.dim[d], 1);
    if (volumes > 1)
        throw VolumeError(inQuotes(path) + " has " + std::to_string(ndim) + " dimensions and " +
                          std::to_string(volumes) +
                          " volumes; only a single 3-D volume can be read");
    if (voxels > kMaxVolumeVoxels)
        throw VolumeError(inQuotes(path) + " claims " + std::to_string(voxels) +
                          " voxels, more than the " + std::to_string(kMaxVolumeVoxels) +
                          " a volume may have");
    if (!nifti_datatype_is_valid(h.datatype, 1))
        throw VolumeError(inQuotes(path) + " gives an unknown voxel type (" +
                          std::to_string(h.datatype) + ")");
    if (!voxelTypeOf(h.datatype))
        throw VolumeError(inQuotes(path) + " holds " + nifti_datatype_string(h.datatype) +
                          " voxels; only real scalar voxels (integer or float) can be read");
}

bool finiteMatrix(const mat44& m)
{
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            if (!std::isfinite(m.m[r][c]))
                return false;
    return true;
}

// A negative pixdim still gives the spacing; its sign is the qform's business.
double voxelSize(float d)
{
    return std::isfinite(d) ? std::fabs(d) : 0.0;
}

// Millimetres per unit of the header's xyz_units; unknown units are taken as
// millimetres, as other tools take them.
double millimetresPer(int xyzUnits)
{
    switch (xyzUnits) {
    case NIFTI_UNITS_METER:
        return 1000.0;
    case NIFTI_UNITS_MICRON:
        return 0.001;
    default:
        return 1.0;
    }
}

} // namespace

void quietNifti()
{
    static std::once_flag once;
    std::call_once(once, [] { nifti_set_debug_level(0); });
}

NiftiFile::NiftiFile(const std::string& path) : path_(path)
{
    quietNifti(); // its messages would repeat ours less clearly
    checkPath(path);
    checkHeader(path, readRawHeader(path));
    nim_.reset(nifti_image_read(path.c_str(), 0));
    if (!nim_)
        throw VolumeError("cannot read the NIfTI header of " + inQuotes(path));
    if (nim_->nx < 1 || nim_->ny < 1 || nim_->nz < 1 ||
        nim_->nvox != static_cast<std::size_t>(nim_->nx) * nim_->ny * nim_->nz)
        throw VolumeError(inQuotes(path) + " has dimensions nifticlib reads differently");
    takeIntensityScaling();
}

void NiftiFile::takeIntensityScaling()
{
    const double slope = nim_->scl_slope;
    const double inter = nim_->scl_inter;
    if (slope == 0.0) // the header's way of saying "no scaling"
        return;
    if (!std::isfinite(slope) || !std::isfinite(inter)) {
        ignoredScaling_ = true;
        return;
    }
    slope_ = slope;
    inter_ = inter;
}

void NiftiFile::loadVoxels()
{
    if (!nim_->iname)
        throw VolumeError(inQuotes(path_) + " names no voxel data file");
    const std::size_t bytes = nim_->nvox * static_cast<std::size_t>(nim_->nbyper);
    const bool gz = nifti_is_gzfile(nim_->iname);
    // An uncompressed file tells its size: refuse a short one before reading it.
    std::error_code ec;
    if (!gz && std::filesystem::file_size(nim_->iname, ec) <
                   static_cast<std::uintmax_t>(std::max(nim_->iname_offset, 0)) + bytes)
        throw VolumeError("cannot read the voxels of " + inQuotes(path_) +
                          ": the file is truncated or damaged");
    ZnzFilePtr file(znzopen(nim_->iname, "rb", gz));
    if (!file || nim_->iname_offset < 0 || znzseek(file.get(), nim_->iname_offset, SEEK_SET) < 0)
        throw VolumeError("cannot open the voxels of " + inQuotes(path_));
    // Grown only as data arrives, so that a compressed file whose header
    // claims far more than it holds fails as truncated, not out of memory.
    constexpr std::size_t kChunk = std::size_t{1} << 26;
    voxelBytes_ = 0;
    try {
        std::size_t capacity = std::min(bytes, 4 * kChunk);
        voxels_.reset(new unsigned char[capacity]);
        adviseHugePages(voxels_.get(), capacity);
        while (voxelBytes_ < bytes) {
            if (voxelBytes_ == capacity) {
                capacity = std::min(bytes, capacity * 2);
                std::unique_ptr<unsigned char[]> grown(new unsigned char[capacity]);
                adviseHugePages(grown.get(), capacity);
                std::copy(voxels_.get(), voxels_.get() + voxelBytes_, grown.get());
                voxels_ = std::move(grown);
            }
            const std::size_t want = std::min(kChunk, capacity - voxelBytes_);
            const std::size_t got = znzread(voxels_.get() + voxelBytes_, 1, want, file.get());
            if (got > want) // a damaged stream may report an error as a huge count
                break;
            voxelBytes_ += got;
            if (got < want)
                break;
        }
    } catch (const std::bad_alloc&) {
        throw VolumeError(inQuotes(path_) + " is too large to load (" + std::to_string(bytes) +
                          " bytes of voxels)");
    }
    if (voxelBytes_ < bytes)
        throw VolumeError("cannot read the voxels of " + inQuotes(path_) +
                          ": the file is truncated or damaged");
    if (nim_->swapsize > 1 && nim_->byteorder != nifti_short_order())
        nifti_swap_Nbytes(nim_->nvox, nim_->swapsize, voxels_.get());
}

const char* NiftiFile::orientationSource() const
{
    if (nim_->sform_code > 0)
        return "sform";
    if (nim_->qform_code > 0)
        return "qform";
    return "voxel spacing only (the header gives no orientation)";
}

std::array<double, 3> NiftiFile::voxelMm() const
{
    const double unit = millimetresPer(nim_->xyz_units);
    return {voxelSize(nim_->dx) * unit, voxelSize(nim_->dy) * unit, voxelSize(nim_->dz) * unit};
}

std::array<std::array<double, 4>, 3> NiftiFile::toMm() const
{
    const nifti_image& n = *nim_;
    mat44 m{};
    bool fromHeader = false;
    if (n.sform_code > 0 && finiteMatrix(n.sto_xyz)) {
        m = n.sto_xyz;
        fromHeader = true;
    } else if (n.qform_code > 0) {
        // Rebuilt with the voxel size's magnitude: nifticlib takes a negative one as 1.
        m = nifti_quatern_to_mat44(n.quatern_b, n.quatern_c, n.quatern_d, n.qoffset_x, n.qoffset_y,
                                   n.qoffset_z, static_cast<float>(voxelSize(n.dx)),
                                   static_cast<float>(voxelSize(n.dy)),
                                   static_cast<float>(voxelSize(n.dz)), n.qfac);
        fromHeader = finiteMatrix(m);
    }
    const double unit = millimetresPer(n.xyz_units);
    const std::array<double, 3> size = voxelMm();
    std::array<std::array<double, 4>, 3> out{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            out[r][c] = fromHeader ? m.m[r][c] * unit : (r == c ? size[r] : 0.0);
    return out;
}

ScanVoxels NiftiFile::takeScan()
{
    const nifti_image& n = *nim_;
    if (voxelBytes_ < n.nvox * static_cast<std::size_t>(n.nbyper))
        throw VolumeError("the voxels of " + inQuotes(path_) + " are not loaded");
    ScanVoxels scan;
    scan.nx = n.nx;
    scan.ny = n.ny;
    scan.nz = n.nz;
    scan.type = voxelTypeOf(n.datatype).value_or(VoxelType::UInt8); // checked with the header
    scan.bytes = std::move(voxels_);
    voxelBytes_ = 0;
    scan.slope = slope_;
    scan.inter = inter_;
    scan.voxelMm = voxelMm();
    scan.toMm = toMm();
    scan.geometry = geometryOf(n);
    return scan;
}

} // namespace lumidra
