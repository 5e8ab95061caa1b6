// Intensity windows: the policies as --window reads them, the mapping of each
// rule, the percentiles robust takes, and what they promise: regions that hold
// against a few stray voxels.
#include "core/stats/RegionStats.h"
#include "core/volume/ScanValues.h"
#include "core/volume/VolumeReader.h"
#include "core/volume/VolumeSource.h"
#include "core/volume/WindowPolicy.h"

#include "NiftiFiles.h"
#include "Scans.h"
#include "regions/RegionTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>

using namespace lumidra;

namespace {

// The voxels each region takes (rows 0..16, then none) under the source's window.
std::vector<std::uint64_t> regionCounts(const LoadedVolume& volume, const imgMaterial* table)
{
    auto stack = std::make_shared<SliceStack>();
    stack->setSource(volume.source);
    std::vector<std::uint64_t> counts;
    for (const RegionStats& row : regionStatistics(stackHistogram(*stack, 2), table, {}))
        counts.push_back(row.voxels);
    return counts;
}

// The largest change of any region's count from base to other, relative to the region's count.
double largestChange(const std::vector<std::uint64_t>& base,
                     const std::vector<std::uint64_t>& other)
{
    double worst = 0;
    for (std::size_t r = 0; r < base.size(); ++r) {
        const double moved =
            std::fabs(static_cast<double>(other[r]) - static_cast<double>(base[r]));
        if (moved > 0)
            worst = std::max(worst, moved / std::max<double>(static_cast<double>(base[r]), 1.0));
    }
    return worst;
}

// The sixteen generated regions in grey steps of 16, and "Last Region".
std::array<imgMaterial, kRegionCount> greySteps()
{
    std::array<imgMaterial, kRegionCount> t{};
    for (int k = 0; k < kRegionCount; ++k)
        t[k] = makeRecord({"Step", 16 * k, 16 * k + 15, 0, 0, 0});
    t[kRegionCount - 1] = makeRecord({"Last", 0, 255, 0, 0, 0});
    return t;
}

} // namespace

TEST(WindowPolicy, ReadsTheFourPoliciesAndRefusesAnythingElseSayingWhy)
{
    std::string error;
    EXPECT_EQ(parseWindowPolicy("robust", error), WindowPolicy{WindowRule::Robust});
    EXPECT_EQ(parseWindowPolicy("ct", error), WindowPolicy{WindowRule::Ct});
    EXPECT_EQ(parseWindowPolicy("minmax", error), WindowPolicy{WindowRule::MinMax});
    EXPECT_EQ(parseWindowPolicy("-100:80", error), (WindowPolicy{WindowRule::Fixed, -100, 80}));
    EXPECT_EQ(parseWindowPolicy("+0.5:1e3", error), (WindowPolicy{WindowRule::Fixed, 0.5, 1000}));
    for (const char* text : {"robust", "ct", "minmax", "-100:80", "0.1:2.5", "-1e-05:3"}) {
        const auto policy = parseWindowPolicy(text, error);
        ASSERT_TRUE(policy) << text;
        EXPECT_EQ(windowPolicyText(*policy), text);
    }

    const std::pair<const char*, const char*> refused[] = {
        {"", "use robust, ct, minmax or LO:HI"},
        {"Robust", "use robust"},
        {"robust ", "use robust"},
        {"auto", "use robust"},
        {"80:-100", "LO must be below HI"},
        {"5:5", "LO must be below HI"},
        {"-100:", "two numbers"},
        {":80", "two numbers"},
        {"1:2:3", "two numbers"},
        {"1,5:3", "two numbers"},
        {" 1:2", "two numbers"},
        {"0x10:20", "two numbers"},
        {"+-1:2", "two numbers"},
        {"nan:1", "two numbers"},
        {"0:inf", "two numbers"},
        {"1e999:2", "two numbers"},
    };
    for (const auto& [text, reason] : refused) {
        error.clear();
        EXPECT_FALSE(parseWindowPolicy(text, error)) << text;
        EXPECT_NE(error.find(reason), std::string::npos) << text << ": " << error;
        std::string opening = "'";
        opening.append(text).append("' is not a window");
        EXPECT_EQ(error.rfind(opening, 0), 0u) << error;
    }
}

TEST(IntensityWindow, CtPutsGreyGOnHu16gMinus1024To16gMinus1009InEveryScan)
{
    const IntensityWindow ct = resolveWindow({WindowRule::Ct}, ScanValues{}, "");
    EXPECT_EQ(ct.low, -1024);
    EXPECT_EQ(ct.high, 3071);
    for (int g = 0; g < 256; ++g) {
        for (int hu = 16 * g - 1024; hu <= 16 * g - 1009; ++hu) {
            ASSERT_EQ(greyOf(ct.sampleOf(hu)), g) << hu;
            ASSERT_EQ(ct.sampleOf(hu, 255), g) << "an 8-bit slice holds the same grey";
        }
        imgMaterial region = makeRecord({"G", g, g, 0, 0, 0});
        EXPECT_EQ(regionValueRange(region, ct), std::pair(16.0 * g - 1024, 16.0 * g - 1009));
    }
    EXPECT_EQ(ct.sampleOf(-1025), 0);
    EXPECT_EQ(ct.sampleOf(-3000), 0);
    EXPECT_EQ(ct.sampleOf(3072), 4095);
    EXPECT_EQ(ct.sampleOf(-1023.5), 1) << "halves round up";
    EXPECT_EQ(ct.sampleOf(-1022.5), 2);
    EXPECT_EQ(ct.sampleOf(std::nan("")), 0);

    // A scan that says it is CT gets ct unless another rule is chosen; others get robust.
    EXPECT_EQ(ruleFor({}, "CT"), WindowRule::Ct);
    EXPECT_EQ(ruleFor({}, "MR"), WindowRule::Robust);
    EXPECT_EQ(ruleFor({}, ""), WindowRule::Robust);
    EXPECT_EQ(ruleFor({WindowRule::MinMax}, "CT"), WindowRule::MinMax);
    ScanVoxels scan = scans::makeScan<std::int16_t>(3, 1, 1, {-1024, 40, 3500});
    scan.modality = "CT";
    const LoadedVolume volume = loadScan(std::move(scan));
    EXPECT_EQ(volume.source->window(), ct);
    EXPECT_EQ(volume.source->sampleAt(1), 1064);
    EXPECT_EQ(volume.source->sampleAt(2), 4095);
}

TEST(IntensityWindow, AFixedWindowIsOneLinearMapForEveryScanRoundedHalfUp)
{
    // Two scans of different ranges and types under -100:80.
    const WindowPolicy policy{WindowRule::Fixed, -100, 80};
    const LoadedVolume a =
        loadScan(scans::makeScan<std::int16_t>(5, 1, 1, {-500, -100, -10, 80, 1500}), policy);
    const LoadedVolume b =
        loadScan(scans::makeScan<float>(3, 1, 1, {-10.0f, 79.0f, 81.0f}), policy);
    EXPECT_EQ(a.source->window(), (IntensityWindow{WindowRule::Fixed, -100, 80}));
    EXPECT_EQ(b.source->window(), a.source->window());
    const std::uint16_t expectedA[] = {0, 0, 2048, 4095, 4095}; // -10: 2047.5, half up
    for (std::size_t n = 0; n < 5; ++n)
        EXPECT_EQ(a.source->sampleAt(n), expectedA[n]) << n;
    EXPECT_EQ(b.source->sampleAt(0), 2048);
    EXPECT_EQ(b.source->sampleAt(1), 4072);
    EXPECT_EQ(b.source->sampleAt(2), 4095);

    // Halves go up, not to even as numpy's rint would: 5 and 9 on 0:8190 are 2.5 and 4.5.
    const IntensityWindow wide{WindowRule::Fixed, 0, 8190};
    EXPECT_EQ(wide.sampleOf(5), 3);
    EXPECT_EQ(wide.sampleOf(9), 5);
    EXPECT_EQ(wide.valueOfSample(4095), 8190);

    // A window with nothing between low and high is a step.
    const IntensityWindow step{WindowRule::Robust, 7, 7};
    EXPECT_EQ(step.sampleOf(7), 0);
    EXPECT_EQ(step.sampleOf(7.001), 4095);
    EXPECT_EQ(step.sampleOf(7.001, 255), 255);
}

TEST(ScanValues, PercentilesAreTheSmallestValuesWithEnoughFiniteVoxelsAtOrBelow)
{
    // 1..1000 in a scrambled order: at least 0.5 % (5 voxels) are <= 5, and 99.5 % <= 995.
    std::vector<std::int16_t> ints(1000);
    std::vector<double> doubles(1000);
    for (int n = 0; n < 1000; ++n) {
        ints[n] = static_cast<std::int16_t>(1 + (n * 379) % 1000);
        doubles[n] = ints[n];
    }
    const ScanValues a = gatherScanValues(scans::makeScan(10, 10, 10, ints));
    EXPECT_EQ(a.lowPercentile, 5);
    EXPECT_EQ(a.highPercentile, 995);
    EXPECT_EQ(a.min, 1);
    EXPECT_EQ(a.max, 1000);
    EXPECT_EQ(a.finite, 1000u);
    // The same values ranked by histogram passes (wider types), with NaN and
    // infinities left out of the count.
    doubles.insert(doubles.end(), {std::nan(""), std::numeric_limits<double>::infinity(),
                                   -std::numeric_limits<double>::infinity(), std::nan("")});
    const ScanValues b = gatherScanValues(scans::makeScan(4, 1, 251, doubles), 2);
    EXPECT_EQ(b.lowPercentile, 5);
    EXPECT_EQ(b.highPercentile, 995);
    EXPECT_EQ(b.nonFinite, 4u);
    EXPECT_EQ(b.finite, 1000u);

    // One more voxel: 0.5 % of 1,001 is 5.005, so six must be at or below.
    ints.push_back(1001);
    const ScanValues c = gatherScanValues(scans::makeScan(7, 11, 13, ints));
    EXPECT_EQ(c.lowPercentile, 6);
    EXPECT_EQ(c.highPercentile, 996);

    // A negative slope turns the values round; the percentiles follow the values.
    ScanVoxels turned = scans::makeScan(10, 10, 10, std::vector(ints.begin(), ints.end() - 1));
    turned.slope = -1;
    const ScanValues d = gatherScanValues(turned);
    EXPECT_EQ(d.lowPercentile, -996);
    EXPECT_EQ(d.highPercentile, -6);

    // Far-flung values and fractions are ranked exactly.
    std::vector<float> floats = {-3e38f, 3e38f, -0.0f};
    for (int n = 1; n <= 997; ++n)
        floats.push_back(static_cast<float>(n) * 0.1f);
    const ScanValues e = gatherScanValues(scans::makeScan(10, 10, 10, floats), 3);
    EXPECT_EQ(e.lowPercentile, static_cast<double>(3 * 0.1f)) << "ranks 1 to 5: -3e38, 0, .1 .. .3";
    EXPECT_EQ(e.highPercentile, static_cast<double>(993 * 0.1f));
    EXPECT_EQ(e.max, static_cast<double>(3e38f));
}

// A voxel, or a ten-thousandth of them, set to any value moves the robust
// window so little that no region's count changes by more than 1 %; under
// minmax one is enough to move everything.
TEST(IntensityWindow, RobustRegionsHoldAgainstAHotVoxelOrATenThousandthOfThem)
{
    // Continuous values spread over 0..1000, the sixteen grey steps as regions.
    constexpr int kSide = 40;
    std::vector<double> base(kSide * kSide * kSide);
    std::uint32_t state = 12345;
    for (double& v : base) {
        state = state * 1664525u + 1013904223u;
        v = (state >> 8) * (1000.0 / (1u << 24));
    }
    const auto table = greySteps();
    const auto countsOf = [&](const std::vector<double>& values, WindowRule rule) {
        return regionCounts(loadScan(scans::makeScan(kSide, kSide, kSide, values), {rule}),
                            table.data());
    };
    const auto robust = countsOf(base, WindowRule::Robust);
    const auto minmax = countsOf(base, WindowRule::MinMax);
    const std::size_t few = base.size() / 10000;
    for (const double hot : {1e30, -1e30, 1e9, -5e3, 1001.0}) {
        SCOPED_TRACE(hot);
        std::vector<double> one = base;
        one[777] = hot;
        EXPECT_LE(largestChange(robust, countsOf(one, WindowRule::Robust)), 0.01);
        std::vector<double> several = base;
        for (std::size_t n = 0; n < few; ++n)
            several[n * 9973 % base.size()] = hot;
        EXPECT_LE(largestChange(robust, countsOf(several, WindowRule::Robust)), 0.01);
        if (std::fabs(hot) >= 1e9) {
            EXPECT_GT(largestChange(minmax, countsOf(one, WindowRule::MinMax)), 0.5);
        }
    }
}

// The fault as users met it: the brain template stored as int16, one corner
// voxel set to 400 (its maximum is 254), or a ten-thousandth of the voxels to
// the extremes, with the tissue regions of the sample.
TEST(IntensityWindow, BrainTissueCountsHoldAgainstHotVoxels)
{
    if (!std::filesystem::exists(scans::kBrainTemplate))
        GTEST_SKIP() << scans::kBrainTemplate << " is not installed";
    const niftifiles::NiftiImagePtr nim = niftifiles::readWithNifticlib(scans::kBrainTemplate);
    ASSERT_TRUE(nim && nim->datatype == DT_UINT8);
    const auto* bytes = static_cast<const std::uint8_t*>(nim->data);
    const std::vector<std::int16_t> brain(bytes, bytes + nim->nvox);

    std::array<imgMaterial, kRegionCount> table = greySteps();
    const Region tissues[] = {{"Scalp", 174, 255, 0, 0, 0}, {"White", 149, 173, 0, 0, 0},
                              {"Grey", 103, 148, 0, 0, 0},  {"Boundary", 57, 102, 0, 0, 0},
                              {"CSF", 11, 56, 0, 0, 0},     {"Background", 0, 10, 0, 0, 0}};
    for (int k = 0; k < 6; ++k)
        table[k] = makeRecord(tissues[k]);
    const auto countsOf = [&](const std::vector<std::int16_t>& values, WindowRule rule) {
        return regionCounts(loadScan(scans::makeScan(nim->nx, nim->ny, nim->nz, values), {rule}),
                            table.data());
    };
    const auto base = countsOf(brain, WindowRule::Robust);
    EXPECT_EQ(base[1], 658152u) << "white matter, as under the old minmax ranges";

    std::vector<std::int16_t> corner = brain;
    for (const std::int16_t hot : {std::int16_t{400}, std::int16_t{32767}, std::int16_t{-32768}}) {
        corner[0] = hot;
        EXPECT_LE(largestChange(base, countsOf(corner, WindowRule::Robust)), 0.01) << hot;
    }
    corner[0] = 400;
    EXPECT_GT(
        largestChange(countsOf(brain, WindowRule::MinMax), countsOf(corner, WindowRule::MinMax)),
        0.5)
        << "what minmax made of one voxel";
    // A ten-thousandth of the voxels: background ones to the top, the brightest to the bottom.
    std::vector<std::int16_t> bright = brain;
    std::vector<std::int16_t> dark = brain;
    const std::size_t few = brain.size() / 10000;
    std::size_t toTop = 0;
    std::size_t toBottom = 0;
    for (std::size_t n = 0; n < brain.size(); ++n) {
        if (brain[n] == 0 && toTop < few && ++toTop)
            bright[n] = 32767;
        if (brain[n] >= 200 && toBottom < few && ++toBottom)
            dark[n] = -32768;
    }
    ASSERT_EQ(toTop, few);
    ASSERT_EQ(toBottom, few);
    EXPECT_LE(largestChange(base, countsOf(bright, WindowRule::Robust)), 0.01);
    EXPECT_LE(largestChange(base, countsOf(dark, WindowRule::Robust)), 0.01);
}
