#include "core/volume/WindowedVoxels.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <type_traits>

namespace lumidra {

namespace {

template <typename T> constexpr bool kByPattern = std::is_integral_v<T> && sizeof(T) <= 2;

// Voxels of type T into the bytes byPattern gives their bit patterns. A
// table that, read in the order of the values, changes at a few places only
// (a region table gives a label to ranges of values) is applied by comparing
// each voxel with those places, which the compiler does many voxels at a
// time; any other is looked up voxel by voxel.
template <typename T>
void mapPatterns(const unsigned char* data, std::size_t begin, std::size_t end,
                 const std::vector<std::uint8_t>& byPattern, std::uint8_t* out)
{
    using Bits = std::make_unsigned_t<T>;
    // With its sign bit flipped, a signed pattern sorts as its value does.
    constexpr Bits kFlip = std::is_signed_v<T> ? static_cast<Bits>(1u << (8 * sizeof(T) - 1)) : 0;
    constexpr int kMaxSteps = 6;
    std::array<Bits, kMaxSteps> from{};
    std::array<std::uint8_t, kMaxSteps> to{};
    int steps = 0;
    for (std::size_t key = 1; key < byPattern.size() && steps <= kMaxSteps; ++key) {
        const std::uint8_t byte = byPattern[key ^ kFlip];
        if (byte == byPattern[(key - 1) ^ kFlip])
            continue;
        if (steps < kMaxSteps) {
            from[steps] = static_cast<Bits>(key);
            to[steps] = byte;
        }
        ++steps;
    }
    if (steps > kMaxSteps) {
        for (std::size_t n = begin; n < end; ++n)
            out[n - begin] = byPattern[voxelOf<Bits>(data, n)];
        return;
    }
    const std::uint8_t lowest = byPattern[kFlip];
    constexpr std::size_t kChunk = 4096; // stays in the first-level cache over the passes
    for (std::size_t first = begin; first < end; first += kChunk) {
        const std::size_t count = std::min(end - first, kChunk);
        std::uint8_t* chunk = out + (first - begin);
        std::fill(chunk, chunk + count, lowest);
        for (int s = 0; s < steps; ++s) {
            const Bits from_s = from[s];
            const std::uint8_t to_s = to[s];
            for (std::size_t i = 0; i < count; ++i) {
                const Bits key = voxelOf<Bits>(data, first + i) ^ kFlip;
                chunk[i] = key >= from_s ? to_s : chunk[i];
            }
        }
    }
}

} // namespace

WindowedVoxels::WindowedVoxels(std::shared_ptr<const ScanVoxels> scan,
                               const IntensityWindow& window, int top)
    : scan_(std::move(scan)), window_(window), top_(top)
{
    withVoxelType(scan_->type, [&](auto zero) {
        using T = decltype(zero);
        if constexpr (kByPattern<T>) {
            using Bits = std::make_unsigned_t<T>;
            table_.resize(std::size_t{1} << (8 * sizeof(T)));
            for (std::size_t bits = 0; bits < table_.size(); ++bits)
                table_[bits] = window_.sampleOf(
                    static_cast<double>(static_cast<T>(static_cast<Bits>(bits))) * scan_->slope +
                        scan_->inter,
                    top_);
        }
    });
}

std::size_t WindowedVoxels::read(std::size_t begin, std::size_t end, std::uint16_t* out) const
{
    const unsigned char* data = scan_->bytes.get();
    return withVoxelType(scan_->type, [&](auto zero) -> std::size_t {
        using T = decltype(zero);
        if constexpr (kByPattern<T>) {
            using Bits = std::make_unsigned_t<T>;
            const std::uint16_t* table = table_.data();
            for (std::size_t n = begin; n < end; ++n)
                out[n - begin] = table[voxelOf<Bits>(data, n)];
            return 0;
        } else {
            const double slope = scan_->slope;
            const double inter = scan_->inter;
            std::size_t nonFinite = 0;
            for (std::size_t n = begin; n < end; ++n) {
                const double value = static_cast<double>(voxelOf<T>(data, n)) * slope + inter;
                nonFinite += !std::isfinite(value);
                out[n - begin] = window_.sampleOf(value, top_);
            }
            return nonFinite;
        }
    });
}

void WindowedVoxels::readAlong(std::size_t first, std::ptrdiff_t step, int count,
                               std::uint16_t* out) const
{
    const unsigned char* data = scan_->bytes.get();
    withVoxelType(scan_->type, [&](auto zero) {
        using T = decltype(zero);
        std::size_t n = first;
        if constexpr (kByPattern<T>) {
            using Bits = std::make_unsigned_t<T>;
            for (int c = 0; c < count; ++c, n += step)
                out[c] = table_[voxelOf<Bits>(data, n)];
        } else {
            for (int c = 0; c < count; ++c, n += step)
                out[c] = window_.sampleOf(
                    static_cast<double>(voxelOf<T>(data, n)) * scan_->slope + scan_->inter, top_);
        }
    });
}

void WindowedVoxels::readThrough(const std::uint8_t* bySample, std::size_t begin, std::size_t end,
                                 std::uint8_t* out) const
{
    const unsigned char* data = scan_->bytes.get();
    withVoxelType(scan_->type, [&](auto zero) {
        using T = decltype(zero);
        if constexpr (kByPattern<T>) {
            std::vector<std::uint8_t> byPattern(table_.size());
            for (std::size_t bits = 0; bits < table_.size(); ++bits)
                byPattern[bits] = bySample[table_[bits]];
            mapPatterns<T>(data, begin, end, byPattern, out);
        } else {
            const double slope = scan_->slope;
            const double inter = scan_->inter;
            for (std::size_t n = begin; n < end; ++n) {
                const double value = static_cast<double>(voxelOf<T>(data, n)) * slope + inter;
                out[n - begin] = std::isfinite(value) ? bySample[window_.sampleOf(value, top_)] : 0;
            }
        }
    });
}

std::uint16_t WindowedVoxels::sampleAt(std::size_t n) const
{
    std::uint16_t sample = 0;
    read(n, n + 1, &sample);
    return sample;
}

double WindowedVoxels::valueAt(std::size_t n) const
{
    return withVoxelType(scan_->type, [&](auto zero) {
        using T = decltype(zero);
        return static_cast<double>(voxelOf<T>(scan_->bytes.get(), n)) * scan_->slope + scan_->inter;
    });
}

} // namespace lumidra
