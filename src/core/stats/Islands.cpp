#include "core/stats/Islands.h"

#include "core/common/Parallel.h"

#include <bit>
#include <cstring>
#include <limits>
#include <stdexcept>

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
constexpr std::uint64_t kOnes = 0x0101010101010101ULL;

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

// Runs that start in l[from, to) (from >= 1): labels that are not 0 and differ
// from the one before them.
std::uint32_t runStarts(const std::uint8_t* l, std::size_t from, std::size_t to)
{
    std::uint32_t starts = 0;
    std::size_t i = from;
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 8 <= to; i += 8) {
            const std::uint64_t here = eightLabels(l + i);
            const std::uint64_t before = eightLabels(l + i - 1);
            // One bit per start, moved to the bottom of its byte, the bytes summed.
            const std::uint64_t bits = (nonZeroBytes(here) & nonZeroBytes(here ^ before)) >> 7;
            starts += static_cast<std::uint32_t>((bits * kOnes) >> 56);
        }
    }
    for (; i < to; ++i)
        starts += (l[i] != 0) & (l[i] != l[i - 1]);
    return starts;
}

// Connected-component labelling over runs: each row's runs are found once,
// and a run is joined (union-find) to the runs of the same label it overlaps
// in the row before it in its plane and in the same row of the plane before.
// The planes are split into slabs, one per thread; a slab's unions stay
// within its own runs, so slabs run side by side and only the seams between
// them are joined afterwards. A root is always the smallest index of its
// set, which lets one pass in index order number the pieces.
class RunLabelling {
public:
    RunLabelling(std::uint8_t* labels, int nx, int ny, int nz, int threads)
        : labels_(labels), nx_(static_cast<std::size_t>(nx)), ny_(static_cast<std::size_t>(ny)),
          nz_(static_cast<std::size_t>(nz)), threads_(threads), rowStart_(ny_ * nz_ + 1, 0)
    {
    }

    void label()
    {
        inParallel(nz_, threads_, [this](std::size_t, std::size_t k0, std::size_t k1) {
            countRuns(k0 * ny_, k1 * ny_);
        });
        for (std::size_t r = 0; r + 1 < rowStart_.size(); ++r)
            rowStart_[r + 1] += rowStart_[r];
        runs_.resize(rowStart_.back());
        parent_.resize(runs_.size());
        inParallel(nz_, threads_,
                   [this](std::size_t, std::size_t k0, std::size_t k1) { labelSlab(k0, k1); });
        const std::size_t parts = partsFor(nz_, threads_);
        for (std::size_t part = 1; part < parts; ++part) {
            const std::size_t k = nz_ * part / parts;
            for (std::size_t j = 0; j < ny_; ++j)
                joinRows(row(j, k), row(j, k - 1));
        }
    }

    // Numbers the pieces, counts their voxels and sets those of fewer than
    // minVoxels to 0: the pieces left per label, and the voxels set to 0.
    void keepPieces(std::uint64_t minVoxels, LabelPieces& result)
    {
        if (minVoxels <= 1) {
            // No piece is too small: a root per piece, counted by its label.
            for (std::uint32_t n = 0; n < parent_.size(); ++n)
                result.pieces[runs_[n].label()] += parent_[n] == n;
            return;
        }
        // In index order a run's parent is already numbered (parent <= index),
        // and a piece is first met at its root, in the row that holds it.
        std::vector<std::uint64_t> voxels;
        std::vector<std::uint8_t> labelOf;
        for (std::size_t r = 0; r + 1 < rowStart_.size(); ++r) {
            for (std::uint32_t n = rowStart_[r]; n < rowStart_[r + 1]; ++n) {
                const std::uint32_t p = parent_[n];
                if (p == n) {
                    parent_[n] = static_cast<std::uint32_t>(voxels.size());
                    voxels.push_back(0);
                    labelOf.push_back(runs_[n].label());
                } else {
                    parent_[n] = parent_[p];
                }
                voxels[parent_[n]] += runs_[n].end() - runs_[n].begin;
            }
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
                    for (std::uint32_t n = rowStart_[r]; n < rowStart_[r + 1]; ++n)
                        if (drop[parent_[n]])
                            std::memset(labels_ + r * nx_ + runs_[n].begin, 0,
                                        runs_[n].end() - runs_[n].begin);
            });
        }
    }

private:
    std::size_t row(std::size_t j, std::size_t k) const { return j + ny_ * k; }
    const std::uint8_t* rowLabels(std::size_t r) const { return labels_ + r * nx_; }

    void countRuns(std::size_t firstRow, std::size_t endRow)
    {
        for (std::size_t r = firstRow; r < endRow; ++r) {
            const std::uint8_t* l = rowLabels(r);
            rowStart_[r + 1] = (l[0] != 0) + runStarts(l, 1, nx_);
        }
    }

    // A row's runs from where its labels change, found eight labels at a
    // time: the cost is one step per eight voxels and one per run.
    void findRuns(std::size_t r)
    {
        const std::uint8_t* l = rowLabels(r);
        std::uint32_t n = rowStart_[r];
        std::size_t start = 0;
        const auto endRun = [&](std::size_t end) {
            if (l[start] != 0) {
                runs_[n] = {static_cast<std::uint32_t>(start),
                            static_cast<std::uint32_t>(end << 8 | l[start])};
                parent_[n] = n;
                ++n;
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
    }

    void labelSlab(std::size_t k0, std::size_t k1)
    {
        for (std::size_t k = k0; k < k1; ++k) {
            for (std::size_t j = 0; j < ny_; ++j) {
                findRuns(row(j, k));
                if (j > 0)
                    joinRows(row(j, k), row(j - 1, k));
                if (k > k0)
                    joinRows(row(j, k), row(j, k - 1));
            }
        }
    }

    // Joins the runs of rows a and b that overlap along i and hold the same label.
    void joinRows(std::size_t a, std::size_t b)
    {
        std::uint32_t x = rowStart_[a], y = rowStart_[b];
        const std::uint32_t xEnd = rowStart_[a + 1], yEnd = rowStart_[b + 1];
        while (x < xEnd && y < yEnd) {
            const Run u = runs_[x];
            const Run v = runs_[y];
            if (u.label() == v.label() && u.begin < v.end() && v.begin < u.end())
                unite(x, y);
            if (u.end() < v.end())
                ++x;
            else
                ++y;
        }
    }

    std::uint32_t find(std::uint32_t n)
    {
        while (parent_[n] != n) {
            parent_[n] = parent_[parent_[n]];
            n = parent_[n];
        }
        return n;
    }

    void unite(std::uint32_t a, std::uint32_t b)
    {
        a = find(a);
        b = find(b);
        if (a < b)
            parent_[b] = a;
        else if (b < a)
            parent_[a] = b;
    }

    std::uint8_t* labels_;
    std::size_t nx_, ny_, nz_;
    int threads_;
    std::vector<std::uint32_t> rowStart_; // runs of row r: rowStart_[r] .. rowStart_[r + 1] - 1
    std::vector<Run> runs_;
    std::vector<std::uint32_t> parent_;
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
