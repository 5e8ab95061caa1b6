// Voxel values onto the 12-bit (or 8-bit) scale: the intensity rule of the
// importer and of the views, in one place.
#include "core/volume/NiftiFile.h"

#include "core/volume/VolumeError.h"

#include <cstring>
#include <type_traits>

namespace lumidra {

namespace {

template <typename T> T voxelAt(const unsigned char* data, std::size_t n)
{
    T value;
    std::memcpy(&value, data + n * sizeof(T), sizeof(T));
    return value;
}

// Types of at most 16 bits hold few distinct values: each is scaled once,
// through a table, with exactly the arithmetic of the general path.
template <typename T>
void samplesByTable(const unsigned char* data, std::size_t count, double slope, double inter,
                    int top, ValueRange& range, std::uint16_t* out)
{
    using Bits = std::make_unsigned_t<T>;
    constexpr std::size_t kValues = std::size_t{1} << (8 * sizeof(T));
    std::vector<std::uint64_t> seen(kValues, 0);
    for (std::size_t n = 0; n < count; ++n)
        ++seen[voxelAt<Bits>(data, n)];
    for (std::size_t bits = 0; bits < kValues; ++bits) {
        if (seen[bits])
            range.add(static_cast<double>(static_cast<T>(static_cast<Bits>(bits))) * slope + inter,
                      static_cast<std::int64_t>(seen[bits]));
    }
    const IntensityScale scale(range, top);
    std::vector<std::uint16_t> table(kValues, 0);
    for (std::size_t bits = 0; bits < kValues; ++bits) {
        if (seen[bits])
            table[bits] =
                scale(static_cast<double>(static_cast<T>(static_cast<Bits>(bits))) * slope + inter);
    }
    for (std::size_t n = 0; n < count; ++n)
        out[n] = table[voxelAt<Bits>(data, n)];
}

// Two passes over the values, the range first, so no copy of the volume as
// doubles is ever held.
template <typename T>
void samplesByValue(const unsigned char* data, std::size_t count, double slope, double inter,
                    int top, ValueRange& range, std::uint16_t* out)
{
    for (std::size_t n = 0; n < count; ++n)
        range.add(static_cast<double>(voxelAt<T>(data, n)) * slope + inter);
    const IntensityScale scale(range, top);
    for (std::size_t n = 0; n < count; ++n)
        out[n] = scale(static_cast<double>(voxelAt<T>(data, n)) * slope + inter);
}

} // namespace

std::vector<std::uint16_t> NiftiFile::samples(int top, ValueRange& range) const
{
    range = ValueRange{};
    const std::size_t count = nim_->nvox;
    if (voxels_.size() < count * static_cast<std::size_t>(nim_->nbyper))
        throw VolumeError("the voxels of '" + path_ + "' are not loaded");
    std::vector<std::uint16_t> out(count);
    const unsigned char* d = voxels_.data();
    const double s = slope_;
    const double i = inter_;
    switch (nim_->datatype) {
    case DT_UINT8:
        samplesByTable<std::uint8_t>(d, count, s, i, top, range, out.data());
        break;
    case DT_INT8:
        samplesByTable<std::int8_t>(d, count, s, i, top, range, out.data());
        break;
    case DT_INT16:
        samplesByTable<std::int16_t>(d, count, s, i, top, range, out.data());
        break;
    case DT_UINT16:
        samplesByTable<std::uint16_t>(d, count, s, i, top, range, out.data());
        break;
    case DT_INT32:
        samplesByValue<std::int32_t>(d, count, s, i, top, range, out.data());
        break;
    case DT_UINT32:
        samplesByValue<std::uint32_t>(d, count, s, i, top, range, out.data());
        break;
    case DT_INT64:
        samplesByValue<std::int64_t>(d, count, s, i, top, range, out.data());
        break;
    case DT_UINT64:
        samplesByValue<std::uint64_t>(d, count, s, i, top, range, out.data());
        break;
    case DT_FLOAT32:
        samplesByValue<float>(d, count, s, i, top, range, out.data());
        break;
    case DT_FLOAT64:
        samplesByValue<double>(d, count, s, i, top, range, out.data());
        break;
    default:
        throw VolumeError("unsupported voxel type"); // refused by the constructor already
    }
    return out;
}

} // namespace lumidra
