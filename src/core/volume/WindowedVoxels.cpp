#include "core/volume/WindowedVoxels.h"

#include <cmath>
#include <type_traits>

namespace lumidra {

namespace {

template <typename T> constexpr bool kByPattern = std::is_integral_v<T> && sizeof(T) <= 2;

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
