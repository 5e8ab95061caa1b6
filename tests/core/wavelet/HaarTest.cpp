#include "core/wavelet/Haar.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <vector>

using namespace lumidra;

namespace {

using Grid = std::vector<std::int32_t>;

// Straight from the quarter table, one level at a time on a dense copy.
Grid referenceDecompose(Grid s, int n, int levels)
{
    for (int side = n; side > 1 && levels > 0; side /= 2, --levels) {
        const int m = side / 2;
        Grid out = s;
        for (int i = 0; i < m; ++i) {
            for (int j = 0; j < m; ++j) {
                const int p = s[2 * i * n + 2 * j], q = s[2 * i * n + 2 * j + 1];
                const int u = s[(2 * i + 1) * n + 2 * j], w = s[(2 * i + 1) * n + 2 * j + 1];
                out[i * n + j] = (p + q + u + w) / 4;
                out[i * n + m + j] = (p - q + u - w) / 4;
                out[(m + i) * n + j] = (p + q - u - w) / 4;
                out[(m + i) * n + m + j] = (p - q - u + w) / 4;
            }
        }
        s = out;
    }
    return s;
}

Grid randomGrid(int count, int lo, int hi, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> value(lo, hi);
    Grid g(count);
    for (auto& v : g)
        v = value(rng);
    return g;
}

Grid decomposed(Grid g, int stride, int n, int levels)
{
    haarDecompose(g.data(), g.data(), stride, n, levels);
    return g;
}

} // namespace

TEST(Haar, TwoByTwoPlacementAndTruncationTowardZero)
{
    EXPECT_EQ(decomposed({10, 20, 30, 40}, 2, 2, 1), (Grid{25, -5, -10, 0}));
    EXPECT_EQ(decomposed({0, 3, 0, 0}, 2, 2, 1), (Grid{0, 0, 0, 0}));
    EXPECT_EQ(decomposed({0, 5, 0, 0}, 2, 2, 1), (Grid{1, -1, 1, -1}));
    // Sums beyond 32 bits still give the exact truncated quarter.
    EXPECT_EQ(decomposed({INT_MAX, INT_MIN, INT_MAX, INT_MIN}, 2, 2, 1), (Grid{0, INT_MAX, 0, 0}));
    EXPECT_EQ(decomposed({INT_MAX, INT_MAX, INT_MAX, INT_MAX}, 2, 2, 1), (Grid{INT_MAX, 0, 0, 0}));
}

TEST(Haar, DegenerateCallsTouchNothing)
{
    const Grid src = {1, 2, 3, 4};
    for (auto [n, levels, stride] :
         {std::array{1, 3, 2}, {2, 0, 2}, {2, -1, 2}, {0, 1, 2}, {-2, 1, 2}, {2, 1, 1}}) {
        Grid dst = {9, 9, 9, 9};
        haarDecompose(src.data(), dst.data(), stride, n, levels);
        EXPECT_EQ(dst, (Grid{9, 9, 9, 9})) << n << " " << levels << " " << stride;
    }
}

TEST(Haar, MatchesReferenceAtEveryLevelAndStopsAtOne)
{
    const Grid src = randomGrid(256 * 256, -1000, 1000, 7);
    for (int levels = 1; levels <= 8; ++levels)
        ASSERT_EQ(decomposed(src, 256, 256, levels), referenceDecompose(src, 256, levels))
            << levels;
    EXPECT_EQ(decomposed(src, 256, 256, 20), decomposed(src, 256, 256, 8));

    const Grid constant(256 * 256, 77);
    const Grid all = decomposed(constant, 256, 256, 8);
    EXPECT_EQ(all[0], 77);
    for (std::size_t i = 1; i < all.size(); ++i)
        ASSERT_EQ(all[i], 0) << i;
}

TEST(Haar, WiderStrideAndSeparateDestination)
{
    constexpr int n = 16, stride = 21;
    const Grid dense = randomGrid(n * n, 0, 255, 3);
    Grid src(stride * (n + 2), -7);
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c)
            src[r * stride + c] = dense[r * n + c];
    const Grid srcBefore = src;
    Grid dst(src.size(), 555);
    haarDecompose(src.data(), dst.data(), stride, n, 3);

    EXPECT_EQ(src, srcBefore);
    const Grid inPlace = decomposed(src, stride, n, 3);
    const Grid expected = referenceDecompose(dense, n, 3);
    for (int i = 0; i < stride * (n + 2); ++i) {
        const int r = i / stride, c = i % stride;
        const bool inside = r < n && c < n;
        ASSERT_EQ(dst[i], inside ? expected[r * n + c] : 555) << r << "," << c;
        ASSERT_EQ(inPlace[i], inside ? expected[r * n + c] : -7) << r << "," << c;
    }
}

TEST(Haar, SideThatTurnsOddStopsThere)
{
    const Grid g12 = randomGrid(12 * 12, 0, 255, 5);
    EXPECT_EQ(decomposed(g12, 12, 12, 5), referenceDecompose(g12, 12, 2)); // 12 -> 6 -> 3
    const Grid g5 = randomGrid(5 * 5, 0, 255, 6);
    EXPECT_EQ(decomposed(g5, 5, 5, 3), g5);
}
