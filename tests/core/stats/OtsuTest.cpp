#include "core/stats/Otsu.h"

#include "core/regions/RegionFile.h"

#include "CaptureStdout.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace lumidra;

namespace {

// What the classes are chosen by: the sum over classes of (sum of grey
// values)^2 / voxels, an empty class giving 0. The between-class variance is
// this divided by all voxels, minus the squared mean, which no split changes.
double otsuScore(const GreyCounts& counts, const std::vector<GreyRange>& classes)
{
    double total = 0.0;
    for (const GreyRange& r : classes) {
        std::uint64_t n = 0;
        std::uint64_t s = 0;
        for (int v = std::max(r.min, 0); v <= std::min(r.max, 255); ++v) {
            n += counts[v];
            s += counts[v] * static_cast<std::uint64_t>(v);
        }
        if (n)
            total += static_cast<double>(s) * static_cast<double>(s) / static_cast<double>(n);
    }
    return total;
}

double betweenClassVariance(const GreyCounts& counts, const std::vector<GreyRange>& classes)
{
    std::uint64_t n = 0;
    std::uint64_t s = 0;
    for (const GreyRange& r : classes)
        for (int v = std::max(r.min, 0); v <= std::min(r.max, 255); ++v) {
            n += counts[v];
            s += counts[v] * static_cast<std::uint64_t>(v);
        }
    if (n == 0)
        return 0.0;
    const double mean = static_cast<double>(s) / static_cast<double>(n);
    return otsuScore(counts, classes) / static_cast<double>(n) - mean * mean;
}

GreyCounts countsOf(std::initializer_list<std::pair<int, std::uint64_t>> bins)
{
    GreyCounts c{};
    for (auto [v, n] : bins)
        c[v] = n;
    return c;
}

// Every split of first..255 into k non-empty runs, by plain enumeration of
// the k - 1 thresholds: the best score and the first split reaching it.
struct Best {
    double score = -1;
    std::vector<GreyRange> classes;
};

void enumerate(const GreyCounts& counts, int k, int first, std::vector<GreyRange>& partial,
               Best& best)
{
    const int start = partial.empty() ? first : partial.back().max + 1;
    if (static_cast<int>(partial.size()) == k - 1) {
        partial.push_back({start, 255});
        const double s = otsuScore(counts, partial);
        if (s > best.score * (1 + 1e-12)) {
            best.score = s;
            best.classes = partial;
        }
        partial.pop_back();
        return;
    }
    const int classesAfter = k - 1 - static_cast<int>(partial.size());
    for (int end = start; end <= 255 - classesAfter; ++end) {
        partial.push_back({start, end});
        enumerate(counts, k, first, partial, best);
        partial.pop_back();
    }
}

Best bruteForce(const GreyCounts& counts, int k, int first)
{
    Best best;
    std::vector<GreyRange> partial;
    enumerate(counts, k, first, partial, best);
    return best;
}

void expectTiling(const std::vector<GreyRange>& classes, int k, int first)
{
    ASSERT_EQ(static_cast<int>(classes.size()), k);
    EXPECT_EQ(classes.front().min, first);
    EXPECT_EQ(classes.back().max, 255);
    for (std::size_t c = 0; c < classes.size(); ++c) {
        EXPECT_LE(classes[c].min, classes[c].max) << "class " << c << " holds no grey value";
        if (c > 0) {
            EXPECT_EQ(classes[c].min, classes[c - 1].max + 1) << "gap or overlap before " << c;
        }
    }
}

} // namespace

TEST(Otsu, HandComputedSplitsAndTheirVariance)
{
    // Grey 1 and 4 hold 4 voxels each, 2 and 3 one each. Scores of the three
    // two-class splits: after 1: 4 + 21^2/6 = 77.5; after 2: 36/5 + 19^2/5 = 79.4;
    // after 3: 81/6 + 64 = 77.5. The middle one wins.
    const GreyCounts c = countsOf({{1, 4}, {2, 1}, {3, 1}, {4, 4}});
    const auto two = multiOtsu(c, 2);
    EXPECT_EQ(two, (std::vector<GreyRange>{{1, 2}, {3, 255}}));
    EXPECT_DOUBLE_EQ(otsuScore(c, two), 79.4);
    // All 10 voxels: mean 2.5; between-class variance 79.4 / 10 - 6.25.
    EXPECT_NEAR(betweenClassVariance(c, two), 7.94 - 6.25, 1e-12);

    // Three clusters, three classes: each cluster alone, each threshold the
    // lowest of its empty gap.
    const GreyCounts three = countsOf({{10, 5}, {11, 5}, {100, 3}, {200, 10}, {201, 1}});
    EXPECT_EQ(multiOtsu(three, 3), (std::vector<GreyRange>{{1, 11}, {12, 100}, {101, 255}}));
    // Two equal masses at 0 and 2 split in two have variance 1.
    EXPECT_DOUBLE_EQ(betweenClassVariance(countsOf({{0, 7}, {2, 7}}), {{0, 1}, {2, 255}}), 1.0);
}

TEST(Otsu, GreyZeroIsLeftOutAndEveryClassHoldsAGreyValue)
{
    GreyCounts c = countsOf({{30, 100}, {31, 50}, {180, 70}});
    const auto without = multiOtsu(c, 2);
    c[0] = 10'000'000; // a scan's background
    EXPECT_EQ(multiOtsu(c, 2), without);
    EXPECT_EQ(without.front().min, 1);

    // More classes than occupied grey values: still k runs tiling 1..255.
    for (int k = 2; k <= 6; ++k) {
        SCOPED_TRACE(k);
        expectTiling(multiOtsu(c, k), k, 1);
    }
    // A single occupied value at the very top: the dark classes take one value each.
    expectTiling(multiOtsu(countsOf({{255, 9}}), 6), 6, 1);
}

TEST(Otsu, NothingToSplitGivesNoClasses)
{
    EXPECT_TRUE(multiOtsu(GreyCounts{}, 3).empty());
    EXPECT_TRUE(multiOtsu(countsOf({{0, 500}}), 3).empty()) << "only background";
    const GreyCounts c = countsOf({{40, 1}});
    EXPECT_TRUE(multiOtsu(c, 0).empty());
    EXPECT_TRUE(multiOtsu(c, 256).empty());
    EXPECT_TRUE(multiOtsu(c, 2, 256).empty());
    EXPECT_TRUE(multiOtsu(c, 2, -1).empty());
    EXPECT_EQ(multiOtsu(c, 1), (std::vector<GreyRange>{{1, 255}}));
    EXPECT_EQ(multiOtsu(countsOf({{254, 1}, {255, 1}}), 2, 254),
              (std::vector<GreyRange>{{254, 254}, {255, 255}}));
}

TEST(Otsu, MatchesAnExhaustiveSearchOnRandomHistograms)
{
    std::mt19937 rng(20240611);
    // Small ranges (first = 240: 16 grey values) for up to six classes; the
    // whole range for two and three.
    for (int trial = 0; trial < 60; ++trial) {
        const bool whole = trial % 4 == 0;
        const int first = whole ? 1 : 240;
        const int k = whole ? 2 + trial % 8 / 4 : 2 + trial % 5;
        GreyCounts c{};
        std::uniform_int_distribution<int> bin(first, 255);
        std::uniform_int_distribution<int> size(1, trial % 3 == 0 ? 3 : 5000);
        const int occupied = 1 + trial % 12;
        for (int i = 0; i < occupied; ++i)
            c[bin(rng)] += size(rng);
        SCOPED_TRACE(testing::Message() << "trial " << trial << ", k " << k);

        const auto found = multiOtsu(c, k, first);
        expectTiling(found, k, first);
        const Best best = bruteForce(c, k, first);
        EXPECT_NEAR(otsuScore(c, found), best.score, best.score * 1e-12);
    }
}

TEST(Otsu, ClassRegionsAreNamedAndColouredFromThePalette)
{
    const auto records = classRegions({{1, 40}, {41, 90}, {91, 255}});
    ASSERT_EQ(records.size(), 3u);
    EXPECT_STREQ(records[0].name, "Class1");
    EXPECT_STREQ(records[2].name, "Class3");
    // A region file keeps a name's first word: the names must come back apart.
    testfiles::TempDir tmp;
    const std::string path = tmp / "classes.rif";
    std::vector<imgMaterial> back;
    capturedStdout([&] {
        EXPECT_EQ(writeRegionFile(records.data(), 3, path.c_str()), 0);
        EXPECT_EQ(readRegionFile(back, path.c_str()), 3);
    });
    ASSERT_EQ(back.size(), 3u);
    for (int c = 0; c < 3; ++c)
        EXPECT_STREQ(back[c].name, records[c].name);
    EXPECT_EQ(records[1].min, 41);
    EXPECT_EQ(records[1].max, 90);
    // Palette entries 1, 2, 3: green, blue, yellow; black (entry 0) is skipped.
    EXPECT_EQ((std::array{records[0].red, records[0].green, records[0].blue}),
              (std::array{0, 255, 0}));
    EXPECT_EQ((std::array{records[1].red, records[1].green, records[1].blue}),
              (std::array{0, 0, 255}));
    EXPECT_EQ((std::array{records[2].red, records[2].green, records[2].blue}),
              (std::array{255, 255, 0}));
    // The dialog's shares leave the background (grey 0) out.
    EXPECT_EQ(classFractions(countsOf({{0, 100}, {5, 30}, {50, 10}}), {{1, 40}, {41, 255}}),
              (std::vector<double>{0.75, 0.25}));
}
