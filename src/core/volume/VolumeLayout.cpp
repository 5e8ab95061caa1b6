#include "core/volume/VolumeLayout.h"

#include "core/common/SliceGeometry.h"

#include <nifti1_io.h>

#include <algorithm>
#include <array>

#include <emmintrin.h>

namespace lumidra {

namespace {

// 0 for left-right, 1 for anterior-posterior, 2 for inferior-superior.
int anatomicalAxis(int code)
{
    return (code - 1) / 2;
}

// L2R, P2A and I2S: the index grows toward right, anterior, superior.
bool towardRas(int code)
{
    return code % 2 == 1;
}

bool isPermutation(const AxisCodes& a)
{
    std::array<bool, 3> seen{};
    for (const int code : {a.i, a.j, a.k}) {
        if (code < NIFTI_L2R || code > NIFTI_S2I || seen[anatomicalAxis(code)])
            return false;
        seen[anatomicalAxis(code)] = true;
    }
    return true;
}

// Truncation toward zero puts the odd pixel of padding, or of cropping, at the end.
int centredOffset(int extent)
{
    return (kSliceSide - extent) / 2;
}

int ceilDiv(int n, int d)
{
    return (n + d - 1) / d;
}

// The smallest factor that brings both extents within a slice side.
int fitFactor(int width, int height)
{
    return std::max({1, ceilDiv(width, kSliceSide), ceilDiv(height, kSliceSide)});
}

// Calls at(pixel, a, b) for each slice pixel that shows a voxel, with (a, b)
// the pixel's position in the placed plane along its row and its column.
template <typename Fn> void forEachPlacedPixel(const SliceLayout& l, Fn&& at)
{
    for (int row = 0; row < kSliceSide; ++row) {
        const int v = row - l.rowOffset;
        if (v < 0 || v >= l.height)
            continue;
        const int b = l.flipRows ? l.height - 1 - v : v;
        for (int column = 0; column < kSliceSide; ++column) {
            const int u = column - l.columnOffset;
            if (u < 0 || u >= l.width)
                continue;
            const int a = l.flipColumns ? l.width - 1 - u : u;
            at(gridIndex(column, row, 0, kSliceSide, kSliceSide), a, b);
        }
    }
}

// The voxel nearest the centre of block n (of factor voxels) along an axis of extent voxels.
int blockCentre(int n, int factor, int extent)
{
    const int first = n * factor;
    return first + (std::min(factor, extent - first) - 1) / 2;
}

// The grey byte of each sample (sample >> 4, low eight bits), sixteen at a time.
void greyRow(const std::uint16_t* samples, std::uint8_t* grey)
{
    static_assert(kSliceSide % 16 == 0);
    const __m128i low = _mm_set1_epi16(0xFF);
    for (int n = 0; n < kSliceSide; n += 16) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + n));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + n + 8));
        a = _mm_and_si128(_mm_srli_epi16(a, 4), low);
        b = _mm_and_si128(_mm_srli_epi16(b, 4), low);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(grey + n), _mm_packus_epi16(a, b));
    }
}

} // namespace

bool SliceLayout::cropped() const
{
    return width > kSliceSide || height > kSliceSide;
}

bool SliceLayout::axial() const
{
    return anatomicalAxis(axes.k) == 2;
}

AxisCodes axesOf(const std::array<std::array<double, 4>, 3>& toMm)
{
    mat44 m{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            m.m[r][c] = static_cast<float>(toMm[r][c]);
    m.m[3][3] = 1.0f;
    AxisCodes a;
    nifti_mat44_to_orientation(m, &a.i, &a.j, &a.k);
    return a;
}

SliceLayout planSliceLayout(int nx, int ny, AxisCodes axes, Placement placement)
{
    SliceLayout l;
    if (!isPermutation(axes)) {
        axes = {NIFTI_L2R, NIFTI_P2A, NIFTI_I2S};
        l.fallback = true;
    }
    l.axes = axes;
    // Columns take the in-plane axis that comes first in L-R, A-P, I-S: L-R unless
    // the slices are sagittal. Rows take the other: A-P for axial slices, else I-S.
    l.swapped = anatomicalAxis(axes.i) > anatomicalAxis(axes.j);
    const int columnCode = l.swapped ? axes.j : axes.i;
    const int rowCode = l.swapped ? axes.i : axes.j;
    l.flipColumns = !towardRas(columnCode);
    l.flipRows = towardRas(rowCode);
    l.reverseSlices = !towardRas(axes.k);
    l.planeWidth = l.swapped ? ny : nx;
    l.planeHeight = l.swapped ? nx : ny;
    if (placement == Placement::Fit)
        l.factor = fitFactor(l.planeWidth, l.planeHeight);
    l.width = ceilDiv(l.planeWidth, l.factor);
    l.height = ceilDiv(l.planeHeight, l.factor);
    l.columnOffset = centredOffset(l.width);
    l.rowOffset = centredOffset(l.height);
    return l;
}

std::vector<std::int64_t> sourceIndices(const SliceLayout& l, int nx, int ny)
{
    std::vector<std::int64_t> indices(kSliceSamples, -1);
    forEachPlacedPixel(l, [&](int pixel, int a, int b) {
        const int ri = l.swapped ? b : a;
        const int rj = l.swapped ? a : b;
        const std::int64_t i = blockCentre(ri, l.factor, nx);
        const std::int64_t j = blockCentre(rj, l.factor, ny);
        indices[pixel] = i + static_cast<std::int64_t>(nx) * j;
    });
    return indices;
}

void reducePlane(const std::uint16_t* plane, int nx, int ny, int factor,
                 std::vector<std::uint16_t>& out)
{
    const int rnx = ceilDiv(nx, factor);
    const int rny = ceilDiv(ny, factor);
    out.assign(static_cast<std::size_t>(rnx) * rny, 0);
    std::vector<std::uint64_t> sums(rnx);
    for (int rj = 0; rj < rny; ++rj) {
        std::fill(sums.begin(), sums.end(), 0);
        const int j0 = rj * factor;
        const int j1 = std::min(j0 + factor, ny);
        for (int j = j0; j < j1; ++j) {
            const std::uint16_t* row = plane + static_cast<std::size_t>(j) * nx;
            for (int i = 0; i < nx; ++i)
                sums[i / factor] += row[i];
        }
        for (int ri = 0; ri < rnx; ++ri) {
            const std::uint64_t count =
                static_cast<std::uint64_t>(std::min(factor, nx - ri * factor)) * (j1 - j0);
            out[static_cast<std::size_t>(rj) * rnx + ri] =
                static_cast<std::uint16_t>((sums[ri] + count / 2) / count);
        }
    }
}

PlanePlacer::PlanePlacer(const SliceLayout& l, int nx, int ny) : nx_(nx), ny_(ny), factor_(l.factor)
{
    static_assert(std::tuple_size_v<decltype(runs_)> == kSliceSide);
    const std::int64_t rowLength = l.swapped ? l.height : l.width; // pixels along i
    const int u0 = std::max(0, -l.columnOffset);
    const int u1 = std::min(l.width, kSliceSide - l.columnOffset);
    for (int row = 0; row < kSliceSide; ++row) {
        const int v = row - l.rowOffset;
        if (v < 0 || v >= l.height || u1 <= u0)
            continue;
        const std::int64_t b = l.flipRows ? l.height - 1 - v : v;
        const std::int64_t a = l.flipColumns ? l.width - 1 - u0 : u0;
        Run& run = runs_[row];
        run.column = u0 + l.columnOffset;
        run.count = u1 - u0;
        run.first = l.swapped ? b + rowLength * a : a + rowLength * b;
        run.step = (l.flipColumns ? -1 : 1) * (l.swapped ? rowLength : 1);
    }
}

void PlanePlacer::place(const std::uint16_t* plane, std::uint16_t* out, std::uint8_t* grey)
{
    if (factor_ > 1) {
        reducePlane(plane, nx_, ny_, factor_, reduced_);
        plane = reduced_.data();
    }
    for (int row = 0; row < kSliceSide; ++row) {
        const Run& run = runs_[row];
        std::uint16_t* samples = out + row * kSliceSide;
        std::fill(samples, samples + run.column, 0);
        const std::uint16_t* from = plane + run.first;
        std::uint16_t* to = samples + run.column;
        if (run.step == 1) // the common case: plane rows run along slice rows
            std::copy(from, from + run.count, to);
        else if (run.step == -1)
            std::reverse_copy(from - run.count + 1, from + 1, to);
        else
            for (int n = 0; n < run.count; ++n)
                to[n] = from[n * run.step];
        std::fill(samples + run.column + run.count, samples + kSliceSide, 0);
        if (grey)
            greyRow(samples, grey + row * kSliceSide);
    }
}

std::string describeSliceOrder(const SliceLayout& l)
{
    switch (anatomicalAxis(l.axes.k)) {
    case 2:
        return "axial, slice 0 the most inferior";
    case 1:
        return "coronal, slice 0 the most posterior";
    default:
        return "sagittal, slice 0 the patient's leftmost";
    }
}

std::string describeView(const SliceLayout& l)
{
    const int columnAxis = anatomicalAxis(l.swapped ? l.axes.j : l.axes.i);
    const std::string top = l.axial() ? "anterior (nose) at the top" : "superior at the top";
    if (columnAxis == 0)
        return top + ", patient's left on the viewer's right (radiological)";
    return top + ", anterior on the viewer's left";
}

} // namespace lumidra
