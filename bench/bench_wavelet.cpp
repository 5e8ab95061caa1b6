// The wavelet work of one command: a full 8-level decomposition, one
// Waveletify of a slice picture, and the whole analysis behind a wavelet window.
#include "BenchUtil.h"

#include "core/wavelet/CoefficientMap.h"
#include "core/wavelet/Haar.h"
#include "core/wavelet/WaveletAnalysis.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

using namespace lumidra;

namespace {

constexpr int kSide = 256;
constexpr int kRuns = 101;

std::vector<std::uint8_t> randomPicture()
{
    std::mt19937 rng(7);
    std::vector<std::uint8_t> rgb(kSide * kSide * 3);
    for (auto& b : rgb)
        b = static_cast<std::uint8_t>(rng());
    return rgb;
}

} // namespace

int main()
{
    const std::vector<std::uint8_t> picture = randomPicture();
    std::vector<std::int32_t> grid(kSide * kSide);
    for (std::size_t i = 0; i < grid.size(); ++i)
        grid[i] = picture[3 * i];
    std::vector<std::int32_t> out(grid.size());
    std::vector<std::uint8_t> rgb = picture;

    // Out of place, so every run decomposes the same grey grid.
    const double haar = bench::medianMicros(
        [&] {
            haarDecompose(grid.data(), out.data(), kSide, kSide, 8);
            benchmark::DoNotOptimize(out.data());
        },
        kRuns);
    // The work does not depend on the content, so each run may take the last map.
    const double waveletify = bench::medianMicros(
        [&] {
            waveletifyRgb(rgb.data(), 4);
            benchmark::DoNotOptimize(rgb.data());
        },
        kRuns);
    const double analysis = bench::medianMicros(
        [&] {
            WaveletAnalysis a = analyseWavelet(picture.data(), kSide);
            benchmark::DoNotOptimize(a.allTotal.data());
        },
        kRuns);

    std::printf("256 x 256 picture, median of %d runs\n", kRuns);
    bench::printFigure("haarDecompose, 8 levels", haar);
    bench::printFigure("waveletifyRgb, depth 4", waveletify);
    bench::printFigure("analyseWavelet (whole wavelet window)", analysis);
    return 0;
}
