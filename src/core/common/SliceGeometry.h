#pragma once

// The one home of a slice's geometry and of the order in which the views
// show its samples.

#include <cstddef>

namespace lumidra {

constexpr int kSliceSide = 256;
constexpr int kSliceSamples = kSliceSide * kSliceSide; // 65,536
constexpr int kRgbBytes = kSliceSamples * 3;           // 196,608

// Element index of column x, row y, slice z in a grid of width w and height h.
constexpr int gridIndex(int x, int y, int z, int w, int h)
{
    return x + w * (y + h * z);
}

// Offset of slice z in a stack, in samples; size_t so that long stacks fit.
constexpr std::size_t sliceOffset(int z)
{
    return static_cast<std::size_t>(z) * kSliceSamples;
}

// Pixel j of a view's RGB buffer shows the slice's sample 65,535 - j. The
// buffer is drawn bottom row first, so the view shows the slice's first row
// at the top, each row running from right to left.
constexpr int sampleOfPixel(int pixel)
{
    return kSliceSamples - 1 - pixel;
}

// The sample a view shows at column x from its left and row y from its top.
constexpr int sampleShownAt(int x, int yFromTop)
{
    return sampleOfPixel(gridIndex(x, kSliceSide - 1 - yFromTop, 0, kSliceSide, kSliceSide));
}

} // namespace lumidra
