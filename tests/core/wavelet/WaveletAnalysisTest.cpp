#include "core/wavelet/WaveletAnalysis.h"

#include "core/wavelet/Haar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

using namespace lumidra;

namespace {

constexpr int kSide = 256;
constexpr int kHalf = 128;
using Image = std::vector<std::uint8_t>;

Image picture(int side, const std::function<int(int row, int col)>& grey)
{
    Image rgb(3 * side * side);
    for (int i = 0; i < side * side; ++i)
        std::fill_n(&rgb[3 * i], 3, static_cast<std::uint8_t>(grey(i / side, i % side)));
    return rgb;
}

bool uniform(const Image& image, int value)
{
    return std::all_of(image.begin(), image.end(), [&](std::uint8_t b) { return b == value; });
}

// The window map byte of coefficient (row, col) after `level` levels.
int mapByte(const std::vector<std::int32_t>& grid, int level, int row, int col)
{
    const int corner = kSide >> level;
    const int v = grid[row * kSide + col] + (row < corner && col < corner ? 0 : 128);
    return std::min(v, 255) & 255;
}

} // namespace

TEST(WaveletAnalysis, ImageOperationsStayInBounds)
{
    Image guarded(2 * 2 * 3 + 1, 0xAA);
    const Image five(5 * 5 * 3, 1);
    extractQuadrant(five.data(), guarded.data(), 5, 4);
    EXPECT_TRUE(uniform(guarded, 0xAA));
    extractQuadrant(five.data(), guarded.data(), 5, 1); // odd side: 2 x 2 copied
    EXPECT_EQ(guarded[11], 1);
    EXPECT_EQ(guarded[12], 0xAA);

    const std::vector<std::int32_t> values = {256, -1, 300};
    Image packed(3);
    packLowBytes(1, values.data(), packed.data());
    EXPECT_EQ(packed, (Image{0, 255, 44}));
}

TEST(WaveletAnalysis, ConstantAndPureRedSources)
{
    Image red(3 * kSide * kSide, 0);
    for (std::size_t i = 0; i < red.size(); i += 3)
        red[i] = 255;
    for (auto [source, k] :
         {std::pair{picture(kSide, [](int, int) { return 90; }), 90}, {red, 85}}) {
        const WaveletAnalysis a = analyseWavelet(source.data(), kSide);
        ASSERT_EQ(a.size, kSide);
        ASSERT_EQ(a.half, kHalf);
        EXPECT_EQ(a.original, source);
        for (int f = 0; f < kWaveletLevels; ++f) {
            EXPECT_TRUE(uniform(a.ll[f], k)) << f;
            EXPECT_TRUE(uniform(a.lh[f], 128) && uniform(a.hl[f], 128) && uniform(a.hh[f], 128));
        }
        for (const Image* total : {&a.lhTotal, &a.hlTotal, &a.hhTotal, &a.allTotal})
            EXPECT_TRUE(uniform(*total, 128));
    }
}

// Halves split by columns put the edge in LH; split by rows, in HL.
TEST(WaveletAnalysis, HalfBlackHalfWhiteSources)
{
    for (bool byColumns : {true, false}) {
        auto halves = [&](int side) {
            return picture(side,
                           [&](int r, int c) { return (byColumns ? c : r) < side / 2 ? 0 : 255; });
        };
        const WaveletAnalysis a = analyseWavelet(halves(kSide).data(), kSide);
        const auto& edge = byColumns ? a.lh : a.hl;
        const auto& flat = byColumns ? a.hl : a.lh;
        for (int f = 0; f < 7; ++f) {
            EXPECT_EQ(a.ll[f], halves(kHalf)) << f;
            EXPECT_TRUE(uniform(edge[f], 128)) << f;
        }
        EXPECT_TRUE(uniform(a.ll[7], 127));
        EXPECT_TRUE(uniform(edge[7], 1));
        for (int f = 0; f < kWaveletLevels; ++f)
            EXPECT_TRUE(uniform(flat[f], 128) && uniform(a.hh[f], 128)) << f;
        EXPECT_TRUE(uniform(byColumns ? a.lhTotal : a.hlTotal, 112));
        EXPECT_TRUE(uniform(byColumns ? a.hlTotal : a.lhTotal, 128));
        EXPECT_TRUE(uniform(a.hhTotal, 128));
        EXPECT_TRUE(uniform(a.allTotal, 122));
    }
}

// Each part is its level's quarter of the decomposition, each coefficient
// shown as a square of 2^(level-1) pixels; totals average the shown bytes.
TEST(WaveletAnalysis, PartsAreZoomedQuartersOfEachLevel)
{
    std::mt19937 rng(99);
    Image source(3 * kSide * kSide);
    for (auto& b : source)
        b = static_cast<std::uint8_t>(rng());
    const WaveletAnalysis a = analyseWavelet(source.data(), kSide);

    std::vector<std::int32_t> grid(kSide * kSide);
    for (int k = 0; k < kSide * kSide; ++k)
        grid[k] = (source[3 * k] + source[3 * k + 1] + source[3 * k + 2]) / 3;
    for (int level = 1; level <= kWaveletLevels; ++level) {
        haarDecompose(grid.data(), grid.data(), kSide, kSide >> (level - 1), 1);
        const int b = kSide >> level;
        const std::array<const Image*, 4> parts = {&a.ll[level - 1], &a.lh[level - 1],
                                                   &a.hl[level - 1], &a.hh[level - 1]};
        const std::array<std::array<int, 2>, 4> origin = {{{0, 0}, {0, b}, {b, 0}, {b, b}}};
        for (int p = 0; p < 4; ++p) {
            for (int i = 0; i < kHalf * kHalf; ++i) {
                const int row = origin[p][0] + (i / kHalf >> (level - 1));
                const int col = origin[p][1] + (i % kHalf >> (level - 1));
                ASSERT_EQ((*parts[p])[3 * i + 1], mapByte(grid, level, row, col))
                    << "level " << level << " part " << p << " pixel " << i;
            }
        }
    }
    for (int j = 0; j < 3 * kHalf * kHalf; ++j) {
        int lh = 0, hl = 0, hh = 0;
        for (int f = 0; f < kWaveletLevels; ++f) {
            lh += a.lh[f][j];
            hl += a.hl[f][j];
            hh += a.hh[f][j];
        }
        ASSERT_EQ(a.lhTotal[j], lh / 8);
        ASSERT_EQ(a.hhTotal[j], hh / 8);
        ASSERT_EQ(a.allTotal[j], (lh + hl + hh) / 24) << j;
    }
}

TEST(WaveletAnalysis, UnusableSidesGiveAnEmptyAnalysis)
{
    const Image source(3 * 6 * 6, 40);
    for (int n : {0, 1, 5, -4})
        EXPECT_EQ(analyseWavelet(source.data(), n).size, 0) << n;
    EXPECT_EQ(analyseWavelet(nullptr, 256).size, 0);
    const WaveletAnalysis six = analyseWavelet(source.data(), 6);
    EXPECT_EQ(six.half, 3);
    EXPECT_EQ(six.allTotal.size(), 27u);
}
