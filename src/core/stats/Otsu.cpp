#include "core/stats/Otsu.h"

#include "core/common/TextField.h"
#include "core/regions/RegionTable.h"

#include <algorithm>
#include <limits>
#include <string>

namespace lumidra {

namespace {

// Counts and grey sums of the bins first..255, as prefix sums, so that any
// run of bins costs O(1).
class Prefix {
public:
    Prefix(const GreyCounts& counts, int first)
    {
        const int levels = 256 - first;
        n_.assign(levels + 1, 0);
        s_.assign(levels + 1, 0);
        for (int i = 0; i < levels; ++i) {
            const std::uint64_t c = counts[first + i];
            n_[i + 1] = n_[i] + c;
            s_[i + 1] = s_[i] + c * static_cast<std::uint64_t>(first + i);
        }
    }
    // Bins a..b-1 (offsets from first).
    double score(int a, int b) const
    {
        const std::uint64_t n = n_[b] - n_[a];
        if (n == 0)
            return 0.0;
        const double s = static_cast<double>(s_[b] - s_[a]);
        return s * s / static_cast<double>(n);
    }
    std::uint64_t voxels() const { return n_.back(); }

private:
    std::vector<std::uint64_t> n_;
    std::vector<std::uint64_t> s_;
};

} // namespace

std::vector<GreyRange> multiOtsu(const GreyCounts& counts, int k, int first)
{
    if (first < 0 || first > 255)
        return {};
    const int levels = 256 - first;
    if (k < 1 || k > levels)
        return {};
    const Prefix prefix(counts, first);
    if (prefix.voxels() == 0)
        return {};

    // best[c][j]: the highest score of c + 1 classes over bins 0..j-1;
    // cut[c][j]: where its last class starts.
    constexpr double kNone = -std::numeric_limits<double>::infinity();
    std::vector<std::vector<double>> best(k, std::vector<double>(levels + 1, kNone));
    std::vector<std::vector<int>> cut(k, std::vector<int>(levels + 1, 0));
    for (int j = 1; j <= levels; ++j)
        best[0][j] = prefix.score(0, j);
    for (int c = 1; c < k; ++c) {
        // c + 1 classes need at least c + 1 bins; the rest need the bins after j.
        for (int j = c + 1; j <= levels - (k - 1 - c); ++j) {
            for (int i = c; i < j; ++i) {
                const double v = best[c - 1][i] + prefix.score(i, j);
                if (v > best[c][j]) {
                    best[c][j] = v;
                    cut[c][j] = i;
                }
            }
        }
    }

    std::vector<GreyRange> classes(k);
    int end = levels;
    for (int c = k - 1; c >= 0; --c) {
        const int start = c == 0 ? 0 : cut[c][end];
        classes[c] = {first + start, first + end - 1};
        end = start;
    }
    return classes;
}

std::vector<double> classFractions(const GreyCounts& counts, const std::vector<GreyRange>& classes,
                                   int first)
{
    std::uint64_t total = 0;
    for (int v = std::max(first, 0); v < 256; ++v)
        total += counts[v];
    std::vector<double> fractions;
    for (const GreyRange& r : classes) {
        std::uint64_t n = 0;
        for (int v = std::max(r.min, 0); v <= std::min(r.max, 255); ++v)
            n += counts[v];
        fractions.push_back(total ? static_cast<double>(n) / static_cast<double>(total) : 0.0);
    }
    return fractions;
}

std::string className(int c)
{
    return "Class" + std::to_string(c + 1);
}

RegionColour classColour(int c)
{
    return defaultPaletteColour(c + 1);
}

std::vector<imgMaterial> classRegions(const std::vector<GreyRange>& classes)
{
    std::vector<imgMaterial> records;
    for (std::size_t c = 0; c < classes.size(); ++c) {
        imgMaterial r{};
        copyBounded(r.name, className(static_cast<int>(c)).c_str());
        r.min = classes[c].min;
        r.max = classes[c].max;
        const RegionColour colour = classColour(static_cast<int>(c));
        r.red = colour.red;
        r.green = colour.green;
        r.blue = colour.blue;
        records.push_back(r);
    }
    return records;
}

} // namespace lumidra
