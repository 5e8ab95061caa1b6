#pragma once

#include "core/regions/ImgMaterial.h"
#include "core/regions/RegionRules.h"
#include "core/regions/RegionTable.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace lumidra {

// An inclusive range of grey values.
using GreyCounts = std::array<std::uint64_t, 256>;

// Splits the grey values first..255 into k consecutive classes, dark to
// bright, that maximise the between-class variance of the counted voxels
// (multi-level Otsu), found exactly by dynamic programming. Every class holds
// at least one grey value; among equally good splits the one with the
// lowest thresholds wins. Empty when k is not in 1..(256 - first), first is
// not in 0..255, or no voxel has a grey value from first up.
std::vector<GreyRange> multiOtsu(const GreyCounts& counts, int k, int first = 1);

// Each class's share of the voxels with grey values from first up (0 to 1;
// all 0 when there are none).
std::vector<double> classFractions(const GreyCounts& counts, const std::vector<GreyRange>& classes,
                                   int first = 1);

// The name and colour of class c (from 0): "Class1", ..., in the default
// palette's colours from entry 1 on (entry 0 is black, which would hide the
// darkest class against the background).
std::string className(int c);
RegionColour classColour(int c);

// Region records for classes: "Class1".."Classk" (one word each, as a region
// file keeps only a name's first word), their ranges, and the
// default palette's colours from entry 1 on (entry 0 is black, which would
// hide the darkest class against the background).
std::vector<imgMaterial> classRegions(const std::vector<GreyRange>& classes);

} // namespace lumidra
