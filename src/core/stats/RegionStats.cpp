#include "core/stats/RegionStats.h"

#include "core/common/Parallel.h"
#include "core/render/SliceRender.h"
#include "core/volume/VolumeSource.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <type_traits>

namespace lumidra {

namespace {

// Whether a voxel lies past the 12-bit scale, which no reader produces: only
// a sample can.
constexpr bool pastTop(std::uint16_t sample)
{
    return sample > 4095;
}
constexpr bool pastTop(std::uint8_t)
{
    return false;
}

// Voxels are counted by value first, four at a time into four tables, so
// that the long runs of one value a scan has (its background) do not wait on
// one counter; the grey bins and their sums are made from the counts. Samples
// past the 12-bit scale are added one by one.
template <class Voxel> void countVoxels(GreyHistogram& h, const Voxel* voxels, std::size_t n)
{
    constexpr std::size_t kBlock = std::size_t{1} << 30; // below the 32-bit counters' limit
    constexpr std::uint32_t kValues = std::is_same_v<Voxel, std::uint8_t> ? 256 : 4096;
    constexpr std::size_t kLanes = 4;
    std::vector<std::uint32_t> tables(kLanes * kValues);
    std::uint32_t* lane[kLanes];
    for (std::size_t l = 0; l < kLanes; ++l)
        lane[l] = tables.data() + l * kValues;
    const auto addOne = [&](Voxel v, std::uint32_t* table) {
        if (pastTop(v)) {
            ++h.count[voxelGrey(v)];
            h.sampleSum[voxelGrey(v)] += voxelSample(v);
        } else {
            ++table[v];
        }
    };
    for (std::size_t start = 0; start < n; start += kBlock) {
        std::fill(tables.begin(), tables.end(), 0);
        const std::size_t end = std::min(n, start + kBlock);
        std::size_t i = start;
        for (; i + kLanes <= end; i += kLanes) {
            const Voxel a = voxels[i], b = voxels[i + 1], c = voxels[i + 2], d = voxels[i + 3];
            if (pastTop(static_cast<Voxel>(a | b | c | d))) {
                addOne(a, lane[0]);
                addOne(b, lane[1]);
                addOne(c, lane[2]);
                addOne(d, lane[3]);
                continue;
            }
            ++lane[0][a];
            ++lane[1][b];
            ++lane[2][c];
            ++lane[3][d];
        }
        for (; i < end; ++i)
            addOne(voxels[i], lane[0]);
        for (std::uint32_t value = 0; value < kValues; ++value) {
            const std::uint64_t c =
                std::uint64_t{lane[0][value]} + lane[1][value] + lane[2][value] + lane[3][value];
            const auto v = static_cast<Voxel>(value);
            h.count[voxelGrey(v)] += c;
            h.sampleSum[voxelGrey(v)] += c * voxelSample(v);
        }
    }
}

} // namespace

void GreyHistogram::add(const std::uint16_t* samples, std::size_t n)
{
    countVoxels(*this, samples, n);
}

void GreyHistogram::add(const std::uint8_t* greys, std::size_t n)
{
    countVoxels(*this, greys, n);
}

void GreyHistogram::add(const GreyHistogram& other)
{
    for (int v = 0; v < 256; ++v) {
        count[v] += other.count[v];
        sampleSum[v] += other.sampleSum[v];
    }
}

std::uint64_t GreyHistogram::total() const
{
    std::uint64_t n = 0;
    for (std::uint64_t c : count)
        n += c;
    return n;
}

namespace {

// Samples of a volume are worked out a block at a time, each block counted
// as a stack's samples are; its NaN and infinite voxels, read as 0, are
// taken back out of grey 0.
constexpr std::size_t kVolumeBlock = std::size_t{1} << 20;

void addVoxels(const VolumeSource& source, std::size_t begin, std::size_t end,
               std::vector<std::uint16_t>& block, GreyHistogram& h)
{
    for (std::size_t start = begin; start < end; start += kVolumeBlock) {
        const std::size_t stop = std::min(end, start + kVolumeBlock);
        block.resize(stop - start);
        const std::size_t nonFinite = source.samples(start, stop, block.data());
        h.add(block.data(), block.size());
        h.count[0] -= nonFinite;
    }
}

GreyHistogram volumeHistogram(const VolumeSource& source, int threads)
{
    GreyHistogram h;
    const WindowedVoxels& voxels = source.windowed();
    if (voxels.byPattern()) {
        // Every voxel of one bit pattern has one sample: the counts say it all.
        const std::vector<std::uint64_t>& counts = source.values().patternCounts;
        for (std::size_t bits = 0; bits < counts.size(); ++bits) {
            if (counts[bits] == 0)
                continue;
            const std::uint16_t sample = voxels.sampleOfPattern(bits);
            h.count[greyOf(sample)] += counts[bits];
            h.sampleSum[greyOf(sample)] += counts[bits] * sample;
        }
        return h;
    }
    const std::size_t n = source.voxelCount();
    std::vector<GreyHistogram> parts(partsFor(n, threads, kVolumeBlock));
    inParallel(
        n, threads,
        [&](std::size_t part, std::size_t begin, std::size_t end) {
            std::vector<std::uint16_t> block;
            addVoxels(source, begin, end, block, parts[part]);
        },
        kVolumeBlock);
    for (const GreyHistogram& part : parts)
        h.add(part);
    return h;
}

} // namespace

GreyHistogram sliceHistogram(const SliceStack& stack, int z)
{
    GreyHistogram h;
    if (z < 0 || z >= stack.count())
        return h;
    if (const VolumeSource* source = stack.source()) {
        if (z < static_cast<int>(source->planeOfSlice.size())) {
            const std::size_t first =
                static_cast<std::size_t>(source->planeOfSlice[z]) * source->planeSize();
            std::vector<std::uint16_t> block;
            addVoxels(*source, first, first + source->planeSize(), block, h);
        }
        return h;
    }
    stack.visitSlice(z, [&h](auto slice) { h.add(slice.data(), slice.size()); });
    return h;
}

namespace {

template <class Voxel> GreyHistogram histogramOf(const Voxel* voxels, std::size_t n, int threads)
{
    // Each part counts into tables of its own: not worth it for less than a slice.
    std::vector<GreyHistogram> parts(partsFor(n, threads, kSliceSamples));
    inParallel(
        n, threads,
        [&](std::size_t part, std::size_t begin, std::size_t end) {
            parts[part].add(voxels + begin, end - begin);
        },
        kSliceSamples);
    GreyHistogram h;
    for (const GreyHistogram& part : parts)
        h.add(part);
    return h;
}

} // namespace

GreyHistogram stackHistogram(const SliceStack& stack, int threads)
{
    if (const VolumeSource* source = stack.source())
        return volumeHistogram(*source, threads);
    return stack.visit(
        [threads](auto voxels) { return histogramOf(voxels.data(), voxels.size(), threads); });
}

std::optional<double> voxelMl(const SliceStack& stack)
{
    const VolumeSource* source = stack.source();
    return source ? source->voxelMl() : std::nullopt;
}

const IntensityWindow* intensityWindow(const SliceStack& stack)
{
    const VolumeSource* source = stack.source();
    return source ? &source->window() : nullptr;
}

std::uint64_t nonFiniteVoxels(const SliceStack& stack)
{
    const VolumeSource* source = stack.source();
    return source ? source->nonFiniteCount() : 0;
}

std::optional<std::pair<double, double>> regionValueRange(const imgMaterial& region,
                                                          const IntensityWindow& window)
{
    const std::optional<GreyRange> greys = greyRangeOf(region);
    if (!greys)
        return std::nullopt;
    return std::pair(window.valueOfSample(16 * greys->min),
                     window.valueOfSample(16 * greys->max + 15));
}

std::vector<RegionStats> regionStatistics(const GreyHistogram& histogram,
                                          const imgMaterial* regions, std::optional<double> voxelMl,
                                          const IntensityWindow* window)
{
    const RegionByGrey owner = regionsByGrey(regions, kShowAllRegions);
    RegionTally tally;
    for (int v = 0; v < 256; ++v) {
        const int row = owner[v] == kNoRegion ? kRegionCount : owner[v];
        tally.voxels[row] += histogram.count[v];
        tally.sampleSum[row] += histogram.sampleSum[v];
    }
    return regionStatistics(tally, regions, voxelMl, window);
}

std::vector<RegionStats> regionStatistics(const RegionTally& tally, const imgMaterial* regions,
                                          std::optional<double> voxelMl,
                                          const IntensityWindow* window)
{
    std::uint64_t total = 0;
    for (std::uint64_t n : tally.voxels)
        total += n;
    std::vector<RegionStats> rows(kRegionCount + 1);
    for (int row = 0; row <= kRegionCount; ++row) {
        RegionStats& r = rows[row];
        r.region = row == kRegionCount ? kNoRegion : row;
        r.voxels = tally.voxels[row];
        r.fraction = total ? static_cast<double>(r.voxels) / static_cast<double>(total) : 0.0;
        if (voxelMl)
            r.volumeMl = static_cast<double>(r.voxels) * *voxelMl;
        if (r.voxels)
            r.meanSample =
                static_cast<double>(tally.sampleSum[row]) / static_cast<double>(r.voxels);
        if (window && regions && r.region != kNoRegion) {
            if (const auto range = regionValueRange(regions[row], *window)) {
                r.minValue = range->first;
                r.maxValue = range->second;
            }
        }
    }
    return rows;
}

namespace {

// RFC 4180: a field holding a comma, a quote or a line end is quoted, its
// quotes doubled.
std::string csvField(std::string_view text)
{
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

// Independent of the locale: a GUI program runs under the user's, whose
// decimal separator may be a comma.
std::string fixed(double value, int decimals)
{
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return error == std::errc() ? std::string(buffer, end) : std::string();
}

} // namespace

namespace {

// The length of a UTF-8 character whose first byte is lead, its second byte's
// allowed range (no overlong form, no surrogate, nothing past U+10FFFF); 0
// for a byte no character starts with.
struct Utf8Lead {
    int length;
    int low, high;
};
Utf8Lead utf8Lead(unsigned char lead)
{
    if (lead < 0x80)
        return {1, 0, 0};
    if (lead >= 0xC2 && lead <= 0xDF)
        return {2, 0x80, 0xBF};
    if (lead >= 0xE0 && lead <= 0xEF)
        return {3, lead == 0xE0 ? 0xA0 : 0x80, lead == 0xED ? 0x9F : 0xBF};
    if (lead >= 0xF0 && lead <= 0xF4)
        return {4, lead == 0xF0 ? 0x90 : 0x80, lead == 0xF4 ? 0x8F : 0xBF};
    return {0, 0, 0};
}

// How many bytes from the start are whole UTF-8 characters; cut is set when
// the rest is one character that the end of the bytes cut short.
std::size_t wholeUtf8(std::string_view bytes, bool& cut)
{
    cut = false;
    std::size_t n = 0;
    while (n < bytes.size()) {
        const Utf8Lead lead = utf8Lead(static_cast<unsigned char>(bytes[n]));
        if (lead.length == 0)
            return n;
        std::size_t k = 1;
        for (; k < static_cast<std::size_t>(lead.length) && n + k < bytes.size(); ++k) {
            const auto c = static_cast<unsigned char>(bytes[n + k]);
            const bool fits = k == 1 ? c >= lead.low && c <= lead.high : (c & 0xC0) == 0x80;
            if (!fits)
                return n;
        }
        if (k < static_cast<std::size_t>(lead.length)) {
            cut = true;
            return n;
        }
        n += k;
    }
    return n;
}

} // namespace

std::string regionNameUtf8(const imgMaterial& region)
{
    const std::string_view bytes(region.name, strnlen(region.name, sizeof region.name));
    bool cut = false;
    const std::size_t whole = wholeUtf8(bytes, cut);
    // Only a name that fills its field can have lost the end of a character.
    if (whole == bytes.size() || (cut && bytes.size() >= std::size_t{kRegionNameChars}))
        return std::string(bytes.substr(0, whole));
    std::string out;
    for (const char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string statsCsvHeader()
{
    return "input,region,name,min,max,voxels,fraction,volume_ml,mean_sample,min_value,max_value,"
           "pieces\n";
}

std::string statsCsvRows(std::string_view input, const std::vector<RegionStats>& rows,
                         const imgMaterial* regions)
{
    const std::string inputField = csvField(input);
    std::string out;
    for (const RegionStats& r : rows) {
        out += inputField;
        if (r.region == kNoRegion || regions == nullptr) {
            out += ",none,,,";
        } else {
            const imgMaterial& m = regions[r.region];
            out += ',' + std::to_string(r.region) + ',' + csvField(regionNameUtf8(m)) + ',' +
                   std::to_string(m.min) + ',' + std::to_string(m.max);
        }
        out += ',' + std::to_string(r.voxels) + ',' + fixed(r.fraction, 6) + ',';
        if (r.volumeMl)
            out += fixed(*r.volumeMl, 3);
        out += ',';
        if (r.meanSample)
            out += fixed(*r.meanSample, 6);
        out += ',';
        if (r.minValue)
            out += exactNumber(*r.minValue);
        out += ',';
        if (r.maxValue)
            out += exactNumber(*r.maxValue);
        out += ',';
        if (r.pieces)
            out += std::to_string(*r.pieces);
        out += '\n';
    }
    return out;
}

} // namespace lumidra
