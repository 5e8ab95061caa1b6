#pragma once

#include "core/regions/ImgMaterial.h"

#include <cstdint>

// The plain per-pixel search of the 17 records: the yardstick that the colour
// table lookup is checked and measured against. Renders slice `image` of a
// stack of numPix slices into a 256 x 256 RGB buffer; grey where no record
// holds a value, black when the stack has no such slice.
void renderAllRegionsBySearch(const std::uint8_t* slices, int numPix, int image,
                              const lumidra::imgMaterial* regions, std::uint8_t* rgb);
