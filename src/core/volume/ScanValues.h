#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace lumidra {

struct ScanVoxels;

// What every window is worked out from, gathered in one look at a scan's
// values (stored * slope + inter): their range, their 0.5th and 99.5th
// percentiles, and how many are not finite. Kept with the scan, so a new
// window never reads the voxels again.
struct ScanValues {
    std::uint64_t finite = 0;
    std::uint64_t nonFinite = 0; // NaN and infinities, counted in no statistic
    double min = 0.0;            // of the finite values; 0 when there are none
    double max = 0.0;
    // The p-th percentile is the smallest value v such that at least p of the
    // finite values are <= v, exactly (0 when there are none). Only when
    // ranked: wide types are ranked only when a window needs it.
    bool ranked = false;
    double lowPercentile = 0.0;  // p = 0.5 %
    double highPercentile = 0.0; // p = 99.5 %
    // Types of at most 16 bits: how many voxels hold each bit pattern of the
    // stored type (as unsigned). Empty for wider types.
    std::vector<std::uint64_t> patternCounts;
};

// Percentiles as the fraction of voxels at or below them, in thousandths.
constexpr std::uint64_t kLowPercentileThousandths = 5;
constexpr std::uint64_t kHighPercentileThousandths = 995;

// The 1-based rank, among count sorted values, of the p-th percentile (p in
// thousandths): the least r with r >= p * count.
constexpr std::uint64_t percentileRank(std::uint64_t count, std::uint64_t thousandths)
{
    return count == 0 ? 0 : std::max<std::uint64_t>((thousandths * count + 999) / 1000, 1);
}

// Gathers the values of a scan on the given number of threads. Types of at
// most 16 bits are counted by bit pattern, and ranked from the counts; wider
// ones, when asked, are ranked through histograms of 65,536 bins over 16
// bits of each value at a time, at most four passes for a 64-bit value, so
// no copy of the values is made or sorted.
ScanValues gatherScanValues(const ScanVoxels& scan, int threads = 1, bool rankValues = true);

} // namespace lumidra
