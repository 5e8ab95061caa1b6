// Voxel values onto the 12-bit (or 8-bit) scale: the intensity rule of the
// importer and of the views, in one place.
#include "core/volume/NiftiFile.h"

#include "core/common/HugePages.h"
#include "core/common/Parallel.h"
#include "core/volume/VolumeError.h"

#include <algorithm>
#include <array>
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

// How often each bit pattern occurs among voxels [begin, end), added to
// seen. Bytes are counted into four tables in turn, so that runs of one
// value do not wait on the same counter.
template <typename Bits>
void countPatterns(const unsigned char* data, std::size_t begin, std::size_t end,
                   std::vector<std::uint64_t>& seen)
{
    if constexpr (sizeof(Bits) == 1) {
        // 32-bit counters, emptied before they could overflow.
        constexpr std::size_t kBlock = std::size_t{1} << 30;
        for (std::size_t start = begin; start < end; start += kBlock) {
            std::array<std::array<std::uint32_t, 256>, 4> part{};
            const std::size_t stop = std::min(end, start + kBlock);
            std::size_t n = start;
            for (; n + 4 <= stop; n += 4) {
                ++part[0][data[n]];
                ++part[1][data[n + 1]];
                ++part[2][data[n + 2]];
                ++part[3][data[n + 3]];
            }
            for (; n < stop; ++n)
                ++part[0][data[n]];
            for (std::size_t v = 0; v < 256; ++v)
                seen[v] += std::uint64_t{part[0][v]} + part[1][v] + part[2][v] + part[3][v];
        }
    } else {
        for (std::size_t n = begin; n < end; ++n)
            ++seen[voxelAt<Bits>(data, n)];
    }
}

// Types of at most 16 bits hold few distinct values: each is scaled once,
// through a table, with exactly the arithmetic of the general path.
template <typename T>
void samplesByTable(const unsigned char* data, std::size_t count, double slope, double inter,
                    int top, int threads, ValueRange& range, std::uint16_t* out)
{
    using Bits = std::make_unsigned_t<T>;
    constexpr std::size_t kValues = std::size_t{1} << (8 * sizeof(T));
    std::vector<std::vector<std::uint64_t>> parts(partsFor(count, threads),
                                                  std::vector<std::uint64_t>(kValues, 0));
    inParallel(count, threads, [&](std::size_t part, std::size_t begin, std::size_t end) {
        countPatterns<Bits>(data, begin, end, parts[part]);
    });
    const auto valueOf = [&](std::size_t bits) {
        return static_cast<double>(static_cast<T>(static_cast<Bits>(bits))) * slope + inter;
    };
    std::vector<bool> present(kValues, false);
    for (std::size_t bits = 0; bits < kValues; ++bits) {
        std::uint64_t seen = 0;
        for (const std::vector<std::uint64_t>& part : parts)
            seen += part[bits];
        if (seen) {
            range.add(valueOf(bits), static_cast<std::int64_t>(seen));
            present[bits] = true;
        }
    }
    const IntensityScale scale(range, top);
    std::vector<std::uint16_t> table(kValues, 0);
    for (std::size_t bits = 0; bits < kValues; ++bits) {
        if (present[bits])
            table[bits] = scale(valueOf(bits));
    }
    inParallel(count, threads, [&](std::size_t, std::size_t begin, std::size_t end) {
        for (std::size_t n = begin; n < end; ++n)
            out[n] = table[voxelAt<Bits>(data, n)];
    });
}

// Two passes over the values, the range first, so no copy of the volume as
// doubles is ever held.
template <typename T>
void samplesByValue(const unsigned char* data, std::size_t count, double slope, double inter,
                    int top, int threads, ValueRange& range, std::uint16_t* out)
{
    const auto valueAt = [&](std::size_t n) {
        return static_cast<double>(voxelAt<T>(data, n)) * slope + inter;
    };
    std::vector<ValueRange> parts(partsFor(count, threads));
    inParallel(count, threads, [&](std::size_t part, std::size_t begin, std::size_t end) {
        for (std::size_t n = begin; n < end; ++n)
            parts[part].add(valueAt(n));
    });
    for (const ValueRange& part : parts) {
        range.nonFinite += part.nonFinite;
        if (part.any) {
            range.add(part.lo);
            range.add(part.hi);
        }
    }
    const IntensityScale scale(range, top);
    inParallel(count, threads, [&](std::size_t, std::size_t begin, std::size_t end) {
        for (std::size_t n = begin; n < end; ++n)
            out[n] = scale(valueAt(n));
    });
}

} // namespace

std::vector<std::uint16_t> NiftiFile::sampleBuffer() const
{
    std::vector<std::uint16_t> out;
    out.reserve(nim_->nvox);
    adviseHugePages(out.data(), nim_->nvox * sizeof(std::uint16_t));
    out.resize(nim_->nvox);
    return out;
}

void NiftiFile::samples(int top, ValueRange& range, int threads,
                        std::vector<std::uint16_t>& out) const
{
    range = ValueRange{};
    const std::size_t count = nim_->nvox;
    if (voxelBytes_ < count * static_cast<std::size_t>(nim_->nbyper))
        throw VolumeError("the voxels of '" + path_ + "' are not loaded");
    if (out.size() != count)
        out = sampleBuffer();
    const unsigned char* d = voxels_.get();
    const double s = slope_;
    const double i = inter_;
    std::uint16_t* o = out.data();
    switch (nim_->datatype) {
    case DT_UINT8:
        samplesByTable<std::uint8_t>(d, count, s, i, top, threads, range, o);
        break;
    case DT_INT8:
        samplesByTable<std::int8_t>(d, count, s, i, top, threads, range, o);
        break;
    case DT_INT16:
        samplesByTable<std::int16_t>(d, count, s, i, top, threads, range, o);
        break;
    case DT_UINT16:
        samplesByTable<std::uint16_t>(d, count, s, i, top, threads, range, o);
        break;
    case DT_INT32:
        samplesByValue<std::int32_t>(d, count, s, i, top, threads, range, o);
        break;
    case DT_UINT32:
        samplesByValue<std::uint32_t>(d, count, s, i, top, threads, range, o);
        break;
    case DT_INT64:
        samplesByValue<std::int64_t>(d, count, s, i, top, threads, range, o);
        break;
    case DT_UINT64:
        samplesByValue<std::uint64_t>(d, count, s, i, top, threads, range, o);
        break;
    case DT_FLOAT32:
        samplesByValue<float>(d, count, s, i, top, threads, range, o);
        break;
    case DT_FLOAT64:
        samplesByValue<double>(d, count, s, i, top, threads, range, o);
        break;
    default:
        throw VolumeError("unsupported voxel type"); // refused by the constructor already
    }
}

} // namespace lumidra
