#include "core/volume/ScanValues.h"

#include "core/common/Parallel.h"
#include "core/volume/ScanVoxels.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <type_traits>
#include <utility>

namespace lumidra {

namespace {

// Below this many voxels a part of the work is not worth a thread and its tables.
constexpr std::size_t kMinPart = std::size_t{1} << 20;

constexpr std::size_t kBins = std::size_t{1} << 16;

// How often each bit pattern occurs among voxels [begin, end), added to
// seen. Bytes are counted into four tables in turn, so that runs of one
// value do not wait on the same counter.
template <typename Bits>
void countPatterns(const unsigned char* data, std::size_t begin, std::size_t end,
                   std::vector<std::uint64_t>& seen)
{
    if constexpr (sizeof(Bits) == 1) {
        // 32-bit counters, emptied before they could overflow.
        constexpr std::size_t kBlock = std::size_t{1} << 30;
        for (std::size_t start = begin; start < end; start += kBlock) {
            std::array<std::array<std::uint32_t, 256>, 4> part{};
            const std::size_t stop = std::min(end, start + kBlock);
            std::size_t n = start;
            for (; n + 4 <= stop; n += 4) {
                ++part[0][data[n]];
                ++part[1][data[n + 1]];
                ++part[2][data[n + 2]];
                ++part[3][data[n + 3]];
            }
            for (; n < stop; ++n)
                ++part[0][data[n]];
            for (std::size_t v = 0; v < 256; ++v)
                seen[v] += std::uint64_t{part[0][v]} + part[1][v] + part[2][v] + part[3][v];
        }
    } else {
        for (std::size_t n = begin; n < end; ++n)
            ++seen[voxelOf<Bits>(data, n)];
    }
}

// The bin that holds the value of the given 1-based rank, and its rank within the bin.
template <typename Count>
std::pair<std::size_t, std::uint64_t> binOfRank(const std::vector<Count>& bins, std::uint64_t rank)
{
    std::uint64_t before = 0;
    for (std::size_t b = 0; b < bins.size(); ++b) {
        if (before + bins[b] >= rank)
            return {b, rank - before};
        before += bins[b];
    }
    return {bins.size() - 1, 1};
}

void addValue(ScanValues& v, double value, std::uint64_t times)
{
    if (!std::isfinite(value)) {
        v.nonFinite += times;
        return;
    }
    v.min = v.finite && v.min < value ? v.min : value;
    v.max = v.finite && v.max > value ? v.max : value;
    v.finite += times;
}

// The counts and range of part added to those of v.
void addPart(ScanValues& v, const ScanValues& part)
{
    v.nonFinite += part.nonFinite;
    if (part.finite == 0)
        return;
    v.min = v.finite ? std::min(v.min, part.min) : part.min;
    v.max = v.finite ? std::max(v.max, part.max) : part.max;
    v.finite += part.finite;
}

// Types of at most 16 bits: one count per bit pattern says everything.
template <typename T> void gatherByPattern(const ScanVoxels& scan, int threads, ScanValues& out)
{
    using Bits = std::make_unsigned_t<T>;
    constexpr std::size_t kValues = std::size_t{1} << (8 * sizeof(T));
    const std::size_t count = scan.voxelCount();
    std::vector<std::vector<std::uint64_t>> parts(partsFor(count, threads, kMinPart),
                                                  std::vector<std::uint64_t>(kValues, 0));
    inParallel(
        count, threads,
        [&](std::size_t part, std::size_t begin, std::size_t end) {
            countPatterns<Bits>(scan.bytes.get(), begin, end, parts[part]);
        },
        kMinPart);
    out.patternCounts.assign(kValues, 0);
    std::vector<std::pair<double, std::uint64_t>> present;
    for (std::size_t bits = 0; bits < kValues; ++bits) {
        for (const std::vector<std::uint64_t>& part : parts)
            out.patternCounts[bits] += part[bits];
        if (const std::uint64_t seen = out.patternCounts[bits]) {
            const double value =
                static_cast<double>(static_cast<T>(static_cast<Bits>(bits))) * scan.slope +
                scan.inter;
            addValue(out, value, seen);
            if (std::isfinite(value))
                present.emplace_back(value, seen);
        }
    }
    // At most 65,536 distinct values, in value order (a negative slope turns them round).
    std::sort(present.begin(), present.end());
    const auto valueOfRank = [&](std::uint64_t rank) {
        std::uint64_t atOrBelow = 0;
        for (const auto& [value, seen] : present) {
            atOrBelow += seen;
            if (atOrBelow >= rank)
                return value;
        }
        return 0.0;
    };
    out.lowPercentile = valueOfRank(percentileRank(out.finite, kLowPercentileThousandths));
    out.highPercentile = valueOfRank(percentileRank(out.finite, kHighPercentileThousandths));
    out.ranked = true;
}

// The values' order as unsigned integers: negative values below positive
// ones, -0 taken as +0.
std::uint64_t orderKey(double value)
{
    const auto bits = std::bit_cast<std::uint64_t>(value + 0.0);
    return bits >> 63 ? ~bits : bits | (std::uint64_t{1} << 63);
}

double valueOfKey(std::uint64_t key)
{
    return std::bit_cast<double>(key >> 63 ? key & ~(std::uint64_t{1} << 63) : ~key);
}

// Wider types: the range in one pass, then each percentile's key found 16
// bits at a time, each pass counting only the values under the bits found
// so far.
template <typename T>
void gatherByRank(const ScanVoxels& scan, int threads, bool rankValues, ScanValues& out)
{
    const std::size_t count = scan.voxelCount();
    const unsigned char* data = scan.bytes.get();
    const auto valueAt = [&](std::size_t n) {
        return static_cast<double>(voxelOf<T>(data, n)) * scan.slope + scan.inter;
    };
    const std::size_t partCount = partsFor(count, threads, kMinPart);
    std::vector<ScanValues> ranges(partCount);
    std::vector<std::vector<std::uint32_t>> top(
        partCount, std::vector<std::uint32_t>(rankValues ? kBins : 0, 0));
    inParallel(
        count, threads,
        [&](std::size_t part, std::size_t begin, std::size_t end) {
            for (std::size_t n = begin; n < end; ++n) {
                const double value = valueAt(n);
                addValue(ranges[part], value, 1);
                if (rankValues && std::isfinite(value))
                    ++top[part][orderKey(value) >> 48];
            }
        },
        kMinPart);
    std::vector<std::uint64_t> bins(kBins, 0);
    for (std::size_t part = 0; part < partCount; ++part) {
        addPart(out, ranges[part]);
        for (std::size_t b = 0; b < top[part].size(); ++b)
            bins[b] += top[part][b];
    }
    out.ranked = rankValues;
    if (!rankValues || out.finite == 0)
        return;

    // Each percentile's key, found from the top down; a target is found
    // early when the values under the bits found so far are all one value.
    struct Target {
        std::uint64_t prefix = 0; // the key's bits found so far
        std::uint64_t rank = 0;   // among the values under that prefix
        bool found = false;       // prefix is the whole key
    };
    struct Part {
        std::array<std::vector<std::uint32_t>, 2> bins;
        std::array<std::uint64_t, 2> least{~std::uint64_t{0}, ~std::uint64_t{0}};
        std::array<std::uint64_t, 2> most{};
    };
    std::array<Target, 2> targets;
    const std::uint64_t ranks[2] = {percentileRank(out.finite, kLowPercentileThousandths),
                                    percentileRank(out.finite, kHighPercentileThousandths)};
    for (int t = 0; t < 2; ++t) {
        const auto [bin, rank] = binOfRank(bins, ranks[t]);
        targets[t] = {bin, rank};
    }
    for (int shift = 32; shift >= 0 && !(targets[0].found && targets[1].found); shift -= 16) {
        std::vector<Part> parts(partCount);
        for (Part& part : parts)
            part.bins = {std::vector<std::uint32_t>(kBins, 0),
                         std::vector<std::uint32_t>(kBins, 0)};
        inParallel(
            count, threads,
            [&](std::size_t p, std::size_t begin, std::size_t end) {
                Part& part = parts[p];
                for (std::size_t n = begin; n < end; ++n) {
                    const double value = valueAt(n);
                    if (!std::isfinite(value))
                        continue;
                    const std::uint64_t key = orderKey(value);
                    for (int t = 0; t < 2; ++t) {
                        if (targets[t].found || key >> (shift + 16) != targets[t].prefix)
                            continue;
                        ++part.bins[t][(key >> shift) & (kBins - 1)];
                        part.least[t] = std::min(part.least[t], key);
                        part.most[t] = std::max(part.most[t], key);
                    }
                }
            },
            kMinPart);
        for (int t = 0; t < 2; ++t) {
            if (targets[t].found)
                continue;
            std::uint64_t least = ~std::uint64_t{0};
            std::uint64_t most = 0;
            std::fill(bins.begin(), bins.end(), 0);
            for (const Part& part : parts) {
                least = std::min(least, part.least[t]);
                most = std::max(most, part.most[t]);
                for (std::size_t b = 0; b < kBins; ++b)
                    bins[b] += part.bins[t][b];
            }
            if (least == most) {
                targets[t] = {least, 1, true};
                continue;
            }
            const auto [bin, rank] = binOfRank(bins, targets[t].rank);
            targets[t] = {targets[t].prefix << 16 | bin, rank, shift == 0};
        }
    }
    out.lowPercentile = valueOfKey(targets[0].prefix);
    out.highPercentile = valueOfKey(targets[1].prefix);
}

} // namespace

ScanValues gatherScanValues(const ScanVoxels& scan, int threads, bool rankValues)
{
    ScanValues values;
    withVoxelType(scan.type, [&](auto zero) {
        using T = decltype(zero);
        if constexpr (std::is_integral_v<T> && sizeof(T) <= 2)
            gatherByPattern<T>(scan, threads, values);
        else
            gatherByRank<T>(scan, threads, rankValues, values);
    });
    return values;
}

} // namespace lumidra
