#include "core/wavelet/CoefficientMap.h"

#include "core/wavelet/Haar.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace lumidra {

namespace {

constexpr int kMapSide = 256;
constexpr std::size_t kMapPixels = kMapSide * kMapSide;

// The corner bound is 2^(8 - level) as a floating-point number; a column or
// row is inside when it is below it, that is below its ceiling. Pixel i lies
// in column i % 256 and row i / 256 whatever the side of the grid.
std::size_t cornerLimit(int level)
{
    const double bound = std::ceil(std::pow(2.0, 8.0 - static_cast<double>(level)));
    constexpr double kBeyondAnyGrid = 1e15;
    return static_cast<std::size_t>(std::min(bound, kBeyondAnyGrid));
}

bool inCorner(std::size_t i, std::size_t limit)
{
    return i % kMapSide < limit && i / kMapSide < limit;
}

// The window clamps at 255 (v + 128 >= 256 written as v >= 128, which cannot
// overflow) but not at 0: a negative value keeps its low 8 bits.
std::uint8_t clampedByte(std::int32_t v, bool inside)
{
    if (inside)
        return v >= 256 ? 255 : static_cast<std::uint8_t>(v);
    return v >= 128 ? 255 : static_cast<std::uint8_t>(v + 128);
}

// Waveletify keeps only the low 8 bits; unsigned addition wraps instead of overflowing.
std::uint8_t wrappedByte(std::int32_t v, bool inside)
{
    const std::uint32_t offset = inside ? 0 : 128;
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) + offset);
}

void writeGrey(std::uint8_t* rgb, std::size_t i, std::uint8_t byte)
{
    rgb[3 * i] = byte;
    rgb[3 * i + 1] = byte;
    rgb[3 * i + 2] = byte;
}

} // namespace

void renderCoefficientMap(int n, int level, const std::int32_t* grid, std::uint8_t* rgb)
{
    if (n <= 0 || grid == nullptr || rgb == nullptr)
        return;
    const std::size_t limit = cornerLimit(level);
    const std::size_t count = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
    for (std::size_t i = 0; i < count; ++i)
        writeGrey(rgb, i, clampedByte(grid[i], inCorner(i, limit)));
}

void waveletifyRgb(std::uint8_t* rgb, int depth)
{
    if (rgb == nullptr)
        return;
    std::vector<std::int32_t> grid(kMapPixels);
    for (std::size_t i = 0; i < kMapPixels; ++i)
        grid[i] = rgb[3 * i];
    haarDecompose(grid.data(), grid.data(), kMapSide, kMapSide, depth);
    const std::size_t limit = cornerLimit(depth);
    for (std::size_t i = 0; i < kMapPixels; ++i)
        writeGrey(rgb, i, wrappedByte(grid[i], inCorner(i, limit)));
}

} // namespace lumidra
