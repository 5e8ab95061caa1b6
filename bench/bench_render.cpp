// Rendering one 256 x 256 slice: the all-regions colour table against the
// plain per-pixel search of the 17 records, with one-region and grey rendering
// for scale; and the same slice held by a stack as the views hold it, as the
// grey bytes of PGM files and as the 12-bit samples of raw files.
#include "BenchUtil.h"

#include "core/common/TextField.h"
#include "core/regions/RegionTable.h"
#include "core/render/SliceRender.h"
#include "core/slices/SliceStack.h"
#include "RenderReference.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

using namespace lumidra;

namespace {

constexpr int kRuns = 301;

// A head-like slice: dark background, a bright skull ring, darker fluid, grey
// and white matter, with noise, so the grey values spread over 0-255.
std::vector<std::uint8_t> brainLikeSlice()
{
    std::mt19937 rng(2024);
    std::normal_distribution<double> noise(0.0, 12.0);
    std::vector<std::uint8_t> slice(256 * 256);
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            const double dx = (x - 128) / 110.0, dy = (y - 128) / 125.0;
            const double r = std::sqrt(dx * dx + dy * dy);
            double v = 8;
            if (r < 1.0)
                v = 235;
            if (r < 0.92)
                v = 45;
            if (r < 0.86)
                v = 115 + 20 * std::sin(x / 9.0) * std::cos(y / 11.0);
            if (r < 0.55)
                v = 170 + 15 * std::cos((x + y) / 13.0);
            if (r < 0.12)
                v = 60;
            slice[y * 256 + x] = static_cast<std::uint8_t>(std::clamp(v + noise(rng), 0.0, 255.0));
        }
    }
    return slice;
}

RegionTable defaultPaletteTable()
{
    RegionTable table;
    table.defaultRegions();
    imgMaterial& last = table[kGeneratedRegions];
    copyBounded(last.name, "Last Region");
    last.min = 0;
    last.max = 255;
    last.red = last.green = last.blue = 0;
    return table;
}

} // namespace

int main()
{
    const std::vector<std::uint8_t> slice = brainLikeSlice();
    const RegionTable table = defaultPaletteTable();
    std::vector<std::uint8_t> rgb(kRgbBytes);
    auto timed = [&](auto&& render) {
        return bench::medianMicros(
            [&] {
                render();
                benchmark::DoNotOptimize(rgb.data());
                benchmark::ClobberMemory();
            },
            kRuns);
    };

    const double search =
        timed([&] { renderAllRegionsBySearch(slice.data(), 1, 0, table.records(), rgb.data()); });
    const double lookup =
        timed([&] { renderColor(slice.data(), 1, 0, table.records(), -1, rgb.data()); });
    const double oneRegion =
        timed([&] { renderColor(slice.data(), 1, 0, table.records(), 7, rgb.data()); });
    const double grey = timed([&] { renderGrey(slice.data(), 1, 0, rgb.data()); });

    // The same grey values, kept as a PGM stack keeps them and as a raw one
    // does (each sample's low four bits set apart from its grey value).
    SliceStack pgm(SliceStack::Kind::Greys, 1);
    std::copy(slice.begin(), slice.end(), pgm.greysToFill().begin());
    SliceStack raw(SliceStack::Kind::Samples, 1);
    for (int i = 0; i < kSliceSamples; ++i)
        raw.samplesToFill()[i] = static_cast<std::uint16_t>(slice[i] * 16 + i % 16);
    const double pgmLookup = timed([&] { renderColor(&pgm, 0, table.records(), -1, rgb.data()); });
    const double rawLookup = timed([&] { renderColor(&raw, 0, table.records(), -1, rgb.data()); });
    const double rawOneRegion =
        timed([&] { renderColor(&raw, 0, table.records(), 7, rgb.data()); });
    const double rawGrey = timed([&] { renderGrey(&raw, 0, rgb.data()); });

    std::printf("256 x 256 slice, default palette + Last Region, median of %d runs\n", kRuns);
    bench::printFigure("all regions, per-pixel search", search);
    bench::printFigure("all regions, colour table", lookup);
    bench::printFigure("one region", oneRegion);
    bench::printFigure("grey", grey);
    bench::printFigure("all regions, PGM stack (grey bytes)", pgmLookup);
    bench::printFigure("all regions, raw stack (samples)", rawLookup);
    bench::printFigure("one region, raw stack", rawOneRegion);
    bench::printFigure("grey, raw stack", rawGrey);
    const bool met = bench::printRatio("colour table vs search", search / lookup, ">=", 5.0);
    return met ? 0 : 1;
}
