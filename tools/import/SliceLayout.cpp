#include "SliceLayout.h"

#include "core/common/SliceGeometry.h"
#include "core/volume/SliceLoader.h"

#include <nifti1_io.h>

#include <array>

using namespace lumidra;

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

} // namespace

bool SliceLayout::cropped() const
{
    return width > kSliceSide || height > kSliceSide;
}

bool SliceLayout::axial() const
{
    return anatomicalAxis(axes.k) == 2;
}

SliceLayout planSliceLayout(int nx, int ny, AxisCodes axes)
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
    l.width = l.swapped ? ny : nx;
    l.height = l.swapped ? nx : ny;
    l.columnOffset = centredOffset(l.width);
    l.rowOffset = centredOffset(l.height);
    return l;
}

std::vector<std::int64_t> sourceIndices(const SliceLayout& l, int nx)
{
    std::vector<std::int64_t> sources(kSliceSamples, -1);
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
            const std::int64_t i = l.swapped ? b : a;
            const std::int64_t j = l.swapped ? a : b;
            sources[gridIndex(column, row, 0, kSliceSide, kSliceSide)] = i + nx * j;
        }
    }
    return sources;
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
