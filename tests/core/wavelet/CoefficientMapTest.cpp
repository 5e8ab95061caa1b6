#include "core/wavelet/CoefficientMap.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace lumidra;

namespace {

constexpr int kPixels = 256 * 256;
using Rgb = std::vector<std::uint8_t>;

int at(const Rgb& rgb, int row, int col)
{
    const int i = row * 256 + col;
    EXPECT_TRUE(rgb[3 * i] == rgb[3 * i + 1] && rgb[3 * i] == rgb[3 * i + 2]) << row << "," << col;
    return rgb[3 * i];
}

// Red is `red` everywhere, green and blue are noise that must not count.
Rgb redPicture(int red)
{
    std::mt19937 rng(red);
    Rgb rgb(3 * kPixels);
    for (int i = 0; i < 3 * kPixels; ++i)
        rgb[i] = static_cast<std::uint8_t>(i % 3 == 0 ? red : rng());
    return rgb;
}

void expectCorner(const Rgb& rgb, int corner, int inside, int outside)
{
    for (int r = 0; r < 256; ++r)
        for (int c = 0; c < 256; ++c)
            ASSERT_EQ(at(rgb, r, c), r < corner && c < corner ? inside : outside) << r << "," << c;
}

} // namespace

TEST(CoefficientMap, WindowMapClampsAboveOnlyAndFindsTheCorner)
{
    std::vector<std::int32_t> grid(kPixels, 0);
    // {row, col, coefficient, byte at level 1}
    const std::vector<std::array<int, 4>> cases = {
        {0, 0, 300, 255},   {1, 1, -3, 253},   {2, 2, 256, 255},   {127, 127, 5, 5},
        {0, 200, 200, 255}, {0, 130, -3, 125}, {3, 128, 128, 255}, {4, 129, 127, 255},
        {128, 0, 5, 133},   {255, 255, 0, 128}};
    for (const auto& [row, col, v, byte] : cases)
        grid[row * 256 + col] = v;
    Rgb rgb(3 * kPixels);
    renderCoefficientMap(256, 1, grid.data(), rgb.data());
    for (const auto& [row, col, v, byte] : cases)
        EXPECT_EQ(at(rgb, row, col), byte) << row << "," << col;

    const std::vector<std::int32_t> fives(kPixels, 5);
    for (auto [level, corner] : {std::pair{9, 1}, {4, 16}, {0, 256}}) {
        renderCoefficientMap(256, level, fives.data(), rgb.data());
        expectCorner(rgb, corner, 5, 133);
    }
    // A smaller grid is still split by column i % 256 and row i / 256.
    Rgb small(3 * 16 + 1, 0xAA);
    renderCoefficientMap(4, 7, fives.data(), small.data());
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(small[3 * i], i < 2 ? 5 : 133) << i;
    EXPECT_EQ(small[48], 0xAA);
}

TEST(CoefficientMap, WaveletifyConstantRedAtDepths)
{
    Rgb rgb = redPicture(77);
    waveletifyRgb(rgb.data(), 8);
    expectCorner(rgb, 1, 77, 128);

    rgb = redPicture(77);
    waveletifyRgb(rgb.data(), 1);
    expectCorner(rgb, 128, 77, 128);
    waveletifyRgb(rgb.data(), 1); // the map itself decomposed again
    expectCorner(rgb, 64, 77, 128);

    for (int depth : {0, -3}) {
        rgb = redPicture(0);
        for (int i = 0; i < kPixels; ++i)
            rgb[3 * i] = static_cast<std::uint8_t>(i * 31 + i / 256);
        Rgb expected(3 * kPixels);
        for (int i = 0; i < 3 * kPixels; ++i)
            expected[i] = rgb[i - i % 3];
        waveletifyRgb(rgb.data(), depth);
        EXPECT_EQ(rgb, expected) << depth;
    }
}

TEST(CoefficientMap, WaveletifyShowsDetailsAroundMidGrey)
{
    Rgb rgb = redPicture(0);
    rgb[3 * 1] = 20; // block (0,0) is 0 20 / 0 0: LL 5, LH -5, HL 5, HH -5
    waveletifyRgb(rgb.data(), 1);
    EXPECT_EQ(at(rgb, 0, 0), 5);
    EXPECT_EQ(at(rgb, 0, 128), 123);
    EXPECT_EQ(at(rgb, 128, 0), 133);
    EXPECT_EQ(at(rgb, 128, 128), 123);
    EXPECT_EQ(at(rgb, 0, 1), 0);
    EXPECT_EQ(at(rgb, 0, 129), 128);
}
