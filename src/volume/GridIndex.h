#pragma once

// Element index of column x, row y, slice z in a grid of width w and height h.
constexpr int gridIndex(int x, int y, int z, int w, int h)
{
    return x + w * (y + h * z);
}
