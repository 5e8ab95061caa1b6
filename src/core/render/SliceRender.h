#pragma once

#include "core/common/SliceGeometry.h"
#include "core/regions/ImgMaterial.h"
#include "core/regions/RegionRules.h"
#include "core/slices/SliceStack.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace lumidra {

// Renders slice `image` of a stack of numPix slices of grey bytes into a
// 256 x 256 RGB buffer, pixel j showing the slice's sample 65,535 - j.
// A stack without slices, or an image outside it, renders black.
void renderGrey(const std::uint8_t* slices, int numPix, int image, std::uint8_t* rgb);

// Colour rendering by a table of 17 regions. regionNum < 0: every pixel in the
// colour of the first record holding its grey value (grey when none does);
// otherwise record regionNum painted over the grey image. No table, or a
// regionNum that names no record, renders grey.
void renderColor(const std::uint8_t* slices, int numPix, int image, const imgMaterial* regions,
                 int regionNum, std::uint8_t* rgb);

// The same of a stack as it keeps its voxels, by their grey values; no stack
// renders black.
void renderGrey(const SliceStack* stack, int image, std::uint8_t* rgb);
void renderColor(const SliceStack* stack, int image, const imgMaterial* regions, int regionNum,
                 std::uint8_t* rgb);

// 256-entry colour table of the all-regions mode: entry v is the colour of the
// first record whose range holds v, or grey v when none does.
using ColorTable = std::array<std::array<std::uint8_t, 3>, 256>;
ColorTable buildColorTable(const imgMaterial* regions);

} // namespace lumidra
