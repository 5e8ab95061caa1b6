#include "core/stats/Islands.h"

#include "core/common/Parallel.h"

#include <bit>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <vector>

namespace lumidra {

namespace {

// A run of one non-zero label along i within a row: [begin, end), its label
// kept beside its end so that joining rows reads nothing else.
struct Run {
    std::uint32_t begin;
    std::uint32_t endAndLabel;

    std::uint32_t end() const { return endAndLabel >> 8; }
    std::uint8_t label() const { return static_cast<std::uint8_t>(endAndLabel); }
};
constexpr std::size_t kMaxRowLength = (std::size_t{1} << 24) - 1;

// Rows are read eight labels at a time: a long run (the background, the
// inside of a tissue) costs one comparison per eight voxels.
constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;

std::uint64_t eightLabels(const std::uint8_t* at)
{
    std::uint64_t v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

// The high bit of each byte of v that is not zero.
std::uint64_t nonZeroBytes(std::uint64_t v)
{
    return (((v & kLow7) + kLow7) | v) & ~kLow7;
}

// Runs and the union-find forest over them: a slab's while it is labelled,
// then the whole volume's. A root is always the smallest index of its set.
struct RunForest {
    std::vector<Run> runs;
    std::vector<std::uint32_t> parent;

    std::uint32_t find(std::uint32_t n)
    {
        while (parent[n] != n) {
            parent[n] = parent[parent[n]];
            n = parent[n];
        }
        return n;
    }

    void unite(std::uint32_t a, std::uint32_t b)
    {
        a = find(a);
        b = find(b);
        if (a < b)
            parent[b] = a;
        else if (b < a)
            parent[a] = b;
    }
};

// Connected-component labelling over runs: each row's runs are found once,
// and a run is joined (union-find) to the runs of the same label it overlaps
// in the row before it in its plane and in the same row of the plane before.
// The planes are split into slabs, one per thread, each with a forest of its
// own, so slabs run side by side; the forests are then put end to end (the
// runs stay in plane order, so a root stays the smallest index of its set,
// which lets one pass in index order number the pieces) and the seams
// between slabs joined.
class RunLabelling {
public:
    RunLabelling(std::uint8_t* labels, int nx, int ny, int nz, int threads)
        : labels_(labels), nx_(static_cast<std::size_t>(nx)), ny_(static_cast<std::size_t>(ny)),
          nz_(static_cast<std::size_t>(nz)), threads_(threads), rows_(ny_ * nz_)
    {
    }

    void label()
    {
        const std::size_t parts = partsFor(nz_, threads_);
        std::vector<RunForest> slabs(parts);
        inParallel(nz_, threads_, [&](std::size_t part, std::size_t k0, std::size_t k1) {
            labelSlab(slabs[part], k0, k1);
        });
        if (parts == 1) {
            forest_ = std::move(slabs[0]);
            return;
        }
        std::size_t total = 0;
        for (const RunForest& slab : slabs)
            total += slab.runs.size();
        forest_.runs.reserve(total);
        forest_.parent.reserve(total);
        for (std::size_t part = 0; part < parts; ++part) {
            const auto offset = static_cast<std::uint32_t>(forest_.runs.size());
            for (std::size_t r = nz_ * part / parts * ny_; r < nz_ * (part + 1) / parts * ny_; ++r)
                rows_[r] = {rows_[r].begin + offset, rows_[r].end + offset};
            const RunForest& slab = slabs[part];
            forest_.runs.insert(forest_.runs.end(), slab.runs.begin(), slab.runs.end());
            for (const std::uint32_t p : slab.parent)
                forest_.parent.push_back(p + offset);
        }
        for (std::size_t part = 1; part < parts; ++part) {
            const std::size_t k = nz_ * part / parts;
            for (std::size_t j = 0; j < ny_; ++j)
                joinRows(forest_, row(j, k), row(j, k - 1));
        }
    }

    // Numbers the pieces, counts their voxels and sets those of fewer than
    // minVoxels to 0: the pieces left per label, and the voxels set to 0.
    void keepPieces(std::uint64_t minVoxels, LabelPieces& result)
    {
        std::vector<Run>& runs = forest_.runs;
        std::vector<std::uint32_t>& parent = forest_.parent;
        if (minVoxels <= 1) {
            // No piece is too small: a root per piece, counted by its label.
            for (std::uint32_t n = 0; n < parent.size(); ++n)
                result.pieces[runs[n].label()] += parent[n] == n;
            return;
        }
        // In index order a run's parent is already numbered (parent <= index),
        // and a piece is first met at its root.
        std::vector<std::uint64_t> voxels;
        std::vector<std::uint8_t> labelOf;
        for (std::uint32_t n = 0; n < parent.size(); ++n) {
            const std::uint32_t p = parent[n];
            if (p == n) {
                parent[n] = static_cast<std::uint32_t>(voxels.size());
                voxels.push_back(0);
                labelOf.push_back(runs[n].label());
            } else {
                parent[n] = parent[p];
            }
            voxels[parent[n]] += runs[n].end() - runs[n].begin;
        }
        const std::size_t pieces = voxels.size();
        std::vector<std::uint8_t> drop(pieces, 0);
        for (std::size_t c = 0; c < pieces; ++c) {
            drop[c] = voxels[c] < minVoxels;
            result.dropped += drop[c] ? voxels[c] : 0;
            result.pieces[labelOf[c]] += !drop[c];
        }
        if (result.dropped > 0) {
            inParallel(nz_, threads_, [&](std::size_t, std::size_t k0, std::size_t k1) {
                for (std::size_t r = k0 * ny_; r < k1 * ny_; ++r)
                    for (std::uint32_t n = rows_[r].begin; n < rows_[r].end; ++n)
                        if (drop[parent[n]])
                            std::memset(labels_ + r * nx_ + runs[n].begin, 0,
                                        runs[n].end() - runs[n].begin);
            });
        }
    }

private:
    // The runs of a row: indices [begin, end) of its forest.
    struct RowRuns {
        std::uint32_t begin = 0;
        std::uint32_t end = 0;
    };

    std::size_t row(std::size_t j, std::size_t k) const { return j + ny_ * k; }
    const std::uint8_t* rowLabels(std::size_t r) const { return labels_ + r * nx_; }

    // A row's runs from where its labels change, found eight labels at a
    // time: the cost is one step per eight voxels and one per run.
    void findRuns(RunForest& forest, std::size_t r)
    {
        const std::uint8_t* l = rowLabels(r);
        rows_[r].begin = static_cast<std::uint32_t>(forest.runs.size());
        std::size_t start = 0;
        const auto endRun = [&](std::size_t end) {
            if (l[start] != 0) {
                forest.parent.push_back(static_cast<std::uint32_t>(forest.runs.size()));
                forest.runs.push_back({static_cast<std::uint32_t>(start),
                                       static_cast<std::uint32_t>(end << 8 | l[start])});
            }
            start = end;
        };
        std::size_t i = 1;
        if constexpr (std::endian::native == std::endian::little) {
            for (; i + 8 <= nx_; i += 8) {
                // The high bit of byte b set where l[i + b] differs from the label before it.
                std::uint64_t changes = nonZeroBytes(eightLabels(l + i) ^ eightLabels(l + i - 1));
                for (; changes != 0; changes &= changes - 1)
                    endRun(i + static_cast<std::size_t>(std::countr_zero(changes)) / 8);
            }
        }
        for (; i < nx_; ++i)
            if (l[i] != l[i - 1])
                endRun(i);
        endRun(nx_);
        rows_[r].end = static_cast<std::uint32_t>(forest.runs.size());
    }

    void labelSlab(RunForest& forest, std::size_t k0, std::size_t k1)
    {
        // Room for a run per eight voxels: more is found as it comes.
        const std::size_t voxels = (k1 - k0) * ny_ * nx_;
        forest.runs.reserve(voxels / 8 + 1);
        forest.parent.reserve(voxels / 8 + 1);
        for (std::size_t k = k0; k < k1; ++k) {
            for (std::size_t j = 0; j < ny_; ++j) {
                findRuns(forest, row(j, k));
                if (j > 0)
                    joinRows(forest, row(j, k), row(j - 1, k));
                if (k > k0)
                    joinRows(forest, row(j, k), row(j, k - 1));
            }
        }
    }

    // Joins the runs of rows a and b that overlap along i and hold the same label.
    void joinRows(RunForest& forest, std::size_t a, std::size_t b) const
    {
        std::uint32_t x = rows_[a].begin, y = rows_[b].begin;
        const std::uint32_t xEnd = rows_[a].end, yEnd = rows_[b].end;
        while (x < xEnd && y < yEnd) {
            const Run u = forest.runs[x];
            const Run v = forest.runs[y];
            if (u.label() == v.label() && u.begin < v.end() && v.begin < u.end())
                forest.unite(x, y);
            if (u.end() < v.end())
                ++x;
            else
                ++y;
        }
    }

    std::uint8_t* labels_;
    std::size_t nx_, ny_, nz_;
    int threads_;
    std::vector<RowRuns> rows_;
    RunForest forest_;
};

} // namespace

LabelPieces removeIslands(std::vector<std::uint8_t> labels, int nx, int ny, int nz,
                          std::uint64_t minVoxels, int threads)
{
    if (nx < 0 || ny < 0 || nz < 0)
        throw std::invalid_argument("a label volume has no negative dimension");
    const std::uint64_t voxels = static_cast<std::uint64_t>(nx) * static_cast<std::uint64_t>(ny) *
                                 static_cast<std::uint64_t>(nz);
    if (voxels != labels.size())
        throw std::invalid_argument("the labels do not fill the volume's dimensions");
    if (voxels > std::numeric_limits<std::uint32_t>::max() ||
        static_cast<std::size_t>(nx) > kMaxRowLength)
        throw std::invalid_argument("a label volume of more than 2^32 - 1 voxels, or rows of "
                                    "more than 2^24 - 1");
    LabelPieces result;
    if (voxels > 0) {
        RunLabelling runs(labels.data(), nx, ny, nz, threads);
        runs.label();
        runs.keepPieces(minVoxels, result);
    }
    result.labels = std::move(labels);
    return result;
}

} // namespace lumidra
