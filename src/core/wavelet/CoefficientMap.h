#pragma once

#include <cstdint>

namespace lumidra {

// Grey picture of a decomposed n x n grid at corner level `level`, clamped at 255.
void renderCoefficientMap(int n, int level, const std::int32_t* grid, std::uint8_t* rgb);

// Waveletify: the red channel of a 256 x 256 RGB picture, decomposed to
// `depth` levels, written back as grey (low 8 bits, no clamp).
void waveletifyRgb(std::uint8_t* rgb, int depth);

} // namespace lumidra
