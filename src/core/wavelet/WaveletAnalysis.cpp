#include "core/wavelet/WaveletAnalysis.h"

#include "core/wavelet/CoefficientMap.h"
#include "core/wavelet/Haar.h"

#include <cstddef>
#include <cstring>

namespace lumidra {

namespace {

// Large enough for any picture the window could show, small enough that every
// byte count of an n x n RGB image fits in an int.
constexpr int kMaxAnalysisSide = 8192;

std::size_t rgbBytes(int side)
{
    return static_cast<std::size_t>(side) * static_cast<std::size_t>(side) * 3;
}

std::vector<std::int32_t> greyGrid(const std::uint8_t* source, int n)
{
    std::vector<std::int32_t> grid(static_cast<std::size_t>(n) * static_cast<std::size_t>(n));
    for (std::size_t k = 0; k < grid.size(); ++k) {
        const std::uint8_t* p = source + 3 * k;
        grid[k] = (p[0] + p[1] + p[2]) / 3;
    }
    return grid;
}

// Shows the top-left block of side n / 2^times at full size, one halving at a time.
void zoom(std::vector<std::uint8_t>& map, int n, int times)
{
    for (int step = 0; step < times; ++step) {
        std::vector<std::uint8_t> corner(rgbBytes(n / 2));
        extractQuadrant(map.data(), corner.data(), n, 0);
        enlarge2x(corner.data(), n / 2, map.data());
    }
}

std::vector<std::uint8_t> part(const std::vector<std::uint8_t>& map, int n, int quadrant)
{
    std::vector<std::uint8_t> image(rgbBytes(n / 2));
    extractQuadrant(map.data(), image.data(), n, quadrant);
    return image;
}

std::vector<std::int32_t>
sumOverLevels(const std::array<std::vector<std::uint8_t>, kWaveletLevels>& parts)
{
    std::vector<std::int32_t> sum(parts[0].size(), 0);
    for (const auto& image : parts) {
        for (std::size_t j = 0; j < sum.size(); ++j)
            sum[j] += image[j];
    }
    return sum;
}

std::vector<std::uint8_t> packed(int side, const std::vector<std::int32_t>& values)
{
    std::vector<std::uint8_t> image(values.size());
    packLowBytes(side, values.data(), image.data());
    return image;
}

void computeTotals(WaveletAnalysis& a)
{
    std::vector<std::int32_t> lh = sumOverLevels(a.lh);
    std::vector<std::int32_t> hl = sumOverLevels(a.hl);
    std::vector<std::int32_t> hh = sumOverLevels(a.hh);
    // The combined average is taken from the sums before they are divided.
    std::vector<std::int32_t> all(lh.size());
    for (std::size_t j = 0; j < all.size(); ++j) {
        all[j] = (lh[j] + hl[j] + hh[j]) / (3 * kWaveletLevels);
        lh[j] /= kWaveletLevels;
        hl[j] /= kWaveletLevels;
        hh[j] /= kWaveletLevels;
    }
    a.lhTotal = packed(a.half, lh);
    a.hlTotal = packed(a.half, hl);
    a.hhTotal = packed(a.half, hh);
    a.allTotal = packed(a.half, all);
}

} // namespace

// An odd side leaves the high quadrants one row and column longer than the
// low ones; only k x k pixels are copied so the destination is never overrun.
void extractQuadrant(const std::uint8_t* src, std::uint8_t* dst, int side, int quadrant)
{
    if (src == nullptr || dst == nullptr || side < 2 || quadrant < 0 || quadrant > 3)
        return;
    const std::size_t s = static_cast<std::size_t>(side);
    const std::size_t k = s / 2;
    const std::size_t row0 = (quadrant == 1 || quadrant == 3) ? k : 0;
    const std::size_t col0 = (quadrant == 1 || quadrant == 2) ? k : 0;
    for (std::size_t r = 0; r < k; ++r)
        std::memcpy(dst + 3 * r * k, src + 3 * ((row0 + r) * s + col0), 3 * k);
}

int enlarge2x(const std::uint8_t* src, int side, std::uint8_t* dst)
{
    if (src == nullptr || dst == nullptr || side <= 0)
        return 0;
    const std::size_t m = static_cast<std::size_t>(side);
    const std::size_t big = 2 * m;
    for (std::size_t r = 0; r < m; ++r) {
        std::uint8_t* top = dst + 3 * (2 * r) * big;
        for (std::size_t c = 0; c < m; ++c) {
            const std::uint8_t* p = src + 3 * (r * m + c);
            std::memcpy(top + 3 * (2 * c), p, 3);
            std::memcpy(top + 3 * (2 * c + 1), p, 3);
        }
        std::memcpy(top + 3 * big, top, 3 * big);
    }
    return 2 * side;
}

void packLowBytes(int side, const std::int32_t* values, std::uint8_t* dst)
{
    if (values == nullptr || dst == nullptr || side <= 0)
        return;
    const std::size_t count = rgbBytes(side);
    for (std::size_t j = 0; j < count; ++j)
        dst[j] = static_cast<std::uint8_t>(values[j]);
}

// Every pass shows one level's four quarters: the map of that level is zoomed
// so that the block holding them fills the image, then cut into its quadrants.
WaveletAnalysis analyseWavelet(const std::uint8_t* source, int n)
{
    WaveletAnalysis a;
    if (source == nullptr || n < 2 || n % 2 != 0 || n > kMaxAnalysisSide)
        return a;
    a.size = n;
    a.half = n / 2;
    a.original.assign(source, source + rgbBytes(n));

    std::vector<std::int32_t> grid = greyGrid(source, n);
    haarDecompose(grid.data(), grid.data(), n, n, 1);
    std::vector<std::uint8_t> map(rgbBytes(n));
    renderCoefficientMap(n, 1, grid.data(), map.data());

    for (int f = 0; f < kWaveletLevels; ++f) {
        zoom(map, n, f);
        a.ll[f] = part(map, n, 0);
        a.lh[f] = part(map, n, 2);
        a.hl[f] = part(map, n, 3);
        a.hh[f] = part(map, n, 1);
        // The map after the last pass would never be shown.
        if (f + 1 < kWaveletLevels) {
            haarDecompose(grid.data(), grid.data(), n, n >> (f + 1), 1);
            renderCoefficientMap(n, f + 2, grid.data(), map.data());
        }
    }
    computeTotals(a);
    return a;
}

} // namespace lumidra
