#include "core/render/SliceRender.h"
#include "RenderReference.h"
#include "TestStacks.h"

#include <gtest/gtest.h>

#include <array>
#include <numeric>
#include <random>
#include <vector>

using namespace lumidra;

namespace {

constexpr int kSlice = kSliceSamples;
using Rgb = std::vector<std::uint8_t>;
using Colour = std::array<int, 3>;

// Record k covers 16k..16k+15 in a colour that tells records apart; one more
// record, past the 17, covers everything and must never be found.
std::vector<imgMaterial> generatedTable()
{
    std::vector<imgMaterial> t(kRegionCount + 1);
    for (int k = 0; k < kGeneratedRegions; ++k)
        t[k] = {"", 16 * k, 16 * k + 15, k, 100 + k, 200 + k};
    t[16] = {"Last Region", 0, 255, 7, 7, 7};
    t[17] = {"", 0, 255, 1, 2, 3};
    return t;
}

// Sample k of the slice is k & 255, so grey value v < 256 is sample v.
const Rgb& rampSlice()
{
    static const Rgb slice = [] {
        Rgb s(kSlice);
        std::iota(s.begin(), s.end(), std::uint8_t{0});
        return s;
    }();
    return slice;
}

// The colour of the pixel that shows sample v (the order is its own inverse).
Colour shown(const Rgb& rgb, int v)
{
    const int j = sampleOfPixel(v);
    return {rgb[3 * j], rgb[3 * j + 1], rgb[3 * j + 2]};
}

Colour grey(int v)
{
    return {v, v, v};
}

std::vector<int> valuesPaintedByOneRegion(int min, int max)
{
    auto table = generatedTable();
    table[3] = {"", min, max, 256, -1, 300};
    Rgb rgb(kRgbBytes);
    renderColor(rampSlice().data(), 1, 0, table.data(), 3, rgb.data());
    std::vector<int> painted;
    for (int v = 0; v < 256; ++v) {
        if (shown(rgb, v) != grey(v)) {
            EXPECT_EQ(shown(rgb, v), (Colour{0, 255, 44})) << v;
            painted.push_back(v);
        }
    }
    return painted;
}

std::vector<int> range(int lo, int hi)
{
    std::vector<int> r(hi - lo + 1);
    std::iota(r.begin(), r.end(), lo);
    return r;
}

} // namespace

TEST(SliceRender, PixelsRunBackwardsThroughTheChosenSlice)
{
    Rgb stack(2 * kSlice);
    for (int k = 0; k < 2 * kSlice; ++k)
        stack[k] = static_cast<std::uint8_t>((k / kSlice) * 100 + (k % 256) * 7 + (k / 256) % 256);
    Rgb rgb(kRgbBytes);
    renderGrey(stack.data(), 2, 1, rgb.data());
    const std::uint8_t* slice1 = stack.data() + kSlice;
    for (int j = 0; j < kSlice; ++j) {
        const int v = slice1[sampleOfPixel(j)];
        ASSERT_EQ((Colour{rgb[3 * j], rgb[3 * j + 1], rgb[3 * j + 2]}), grey(v)) << j;
    }
}

TEST(SliceRender, MissingSliceIsBlackAndMissingTableIsGrey)
{
    const auto table = generatedTable();
    const Rgb black(kRgbBytes, 0);
    Rgb rgb(kRgbBytes);
    for (auto [numPix, image] : {std::pair{1, -1}, {1, 1}, {1, 1000}, {0, 0}}) {
        rgb.assign(kRgbBytes, 0xAA);
        renderGrey(rampSlice().data(), numPix, image, rgb.data());
        EXPECT_EQ(rgb, black) << image;
        rgb.assign(kRgbBytes, 0xAA);
        renderColor(rampSlice().data(), numPix, image, table.data(), -1, rgb.data());
        EXPECT_EQ(rgb, black) << image;
    }
    for (int regionNum : {-1, 0, 17, 1000}) {
        renderColor(rampSlice().data(), 1, 0, regionNum >= 17 ? table.data() : nullptr, regionNum,
                    rgb.data());
        EXPECT_EQ(shown(rgb, 37), grey(37)) << regionNum;
    }
}

TEST(SliceRender, OneRegionComparesUnsignedAndWritesLowBytes)
{
    EXPECT_EQ(valuesPaintedByOneRegion(48, 63), range(48, 63));
    EXPECT_EQ(valuesPaintedByOneRegion(60, 50), std::vector<int>{});
    EXPECT_EQ(valuesPaintedByOneRegion(250, -1), range(250, 255));
    EXPECT_EQ(valuesPaintedByOneRegion(-1, 100), std::vector<int>{});
}

// Each case runs through both all-regions renderers, which must agree.
TEST(SliceRender, AllRegionsTakesTheFirstRecordInTableOrder)
{
    auto table = generatedTable();
    Rgb byTable(kRgbBytes);
    Rgb bySearch(kRgbBytes);
    auto render = [&] {
        renderColor(rampSlice().data(), 1, 0, table.data(), -1, byTable.data());
        renderAllRegionsBySearch(rampSlice().data(), 1, 0, table.data(), bySearch.data());
        ASSERT_EQ(byTable, bySearch);
    };
    render();
    EXPECT_EQ(shown(byTable, 37), (Colour{2, 102, 202}));
    EXPECT_EQ(shown(byTable, 255), (Colour{15, 115, 215}));

    table[0].min = 10;
    table[0].max = 20;
    render();
    EXPECT_EQ(shown(byTable, 9), (Colour{7, 7, 7}));
    EXPECT_EQ(shown(byTable, 10), (Colour{0, 100, 200}));
    EXPECT_EQ(shown(byTable, 20), (Colour{0, 100, 200}));
    EXPECT_EQ(shown(byTable, 21), (Colour{1, 101, 201}));

    table[16].min = 5; // leaves 0..4 in no record
    render();
    EXPECT_EQ(shown(byTable, 4), grey(4));
    EXPECT_EQ(shown(byTable, 5), (Colour{7, 7, 7}));
}

TEST(SliceRender, ColorTableAgreesWithSearchOnRandomTables)
{
    std::mt19937 rng(1234);
    std::uniform_int_distribution<int> bound(-40, 300);
    std::uniform_int_distribution<int> colour(-300, 600);
    Rgb stack(3 * kSlice);
    Rgb byTable(kRgbBytes);
    Rgb bySearch(kRgbBytes);
    for (int round = 0; round < 300; ++round) {
        std::array<imgMaterial, kRegionCount> table{};
        for (auto& r : table)
            r = {"", bound(rng), bound(rng), colour(rng), colour(rng), colour(rng)};
        if (round % 10 == 0) {
            for (auto& b : stack)
                b = static_cast<std::uint8_t>(rng());
        }
        renderColor(stack.data(), 3, round % 3, table.data(), -1, byTable.data());
        renderAllRegionsBySearch(stack.data(), 3, round % 3, table.data(), bySearch.data());
        ASSERT_EQ(byTable, bySearch) << "round " << round;
    }
}

// A stack renders the grey values of the voxels it keeps, in every mode, as
// the renderer of grey bytes does: a raw sample of 4,095 is grey 255 and one
// of 4,096 wraps to grey 0; a PGM grey byte is shown as it is.
TEST(SliceRender, AStackOfSamplesOrGreyBytesRendersItsGreyValues)
{
    auto sampleAt = [](std::size_t n) { return n == 0 ? 4095 : n == 1 ? 4096 : (n * 37) % 65536; };
    auto raw = teststacks::sampleStack(2, sampleAt);
    Rgb greys(2 * kSlice);
    for (std::size_t n = 0; n < greys.size(); ++n)
        greys[n] = greyOf(static_cast<std::uint32_t>(sampleAt(n)));
    auto pgm = teststacks::greyStack(2, [&](std::size_t n) { return greys[n]; });
    const auto table = generatedTable();
    Rgb expected(kRgbBytes), fromRaw(kRgbBytes), fromPgm(kRgbBytes);
    for (int regionNum : {-1, 3, 17}) {
        for (int image : {0, 1}) {
            renderColor(greys.data(), 2, image, table.data(), regionNum, expected.data());
            renderColor(raw.get(), image, table.data(), regionNum, fromRaw.data());
            renderColor(pgm.get(), image, table.data(), regionNum, fromPgm.data());
            ASSERT_EQ(fromRaw, expected) << regionNum << ", slice " << image;
            ASSERT_EQ(fromPgm, expected) << regionNum << ", slice " << image;
        }
    }
    renderGrey(raw.get(), 0, fromRaw.data());
    EXPECT_EQ(shown(fromRaw, 0), grey(255));
    EXPECT_EQ(shown(fromRaw, 1), grey(0));
    renderGrey(pgm.get(), 2, fromPgm.data());
    EXPECT_EQ(fromPgm, Rgb(kRgbBytes, 0)) << "no slice 2";
}
