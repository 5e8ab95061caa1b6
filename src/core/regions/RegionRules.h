#pragma once

// Which grey values a region takes and what colour it paints them: the rules
// every view, statistic, map and export reads regions by.
#include "core/regions/ImgMaterial.h"

#include <array>
#include <cstdint>
#include <optional>

namespace lumidra {

// An inclusive run of grey values.
struct GreyRange {
    int min = 0;
    int max = 0;
    bool operator==(const GreyRange&) const = default;
};

// Whether a region takes grey value v. The bounds are compared unsigned, as
// the colouring always has: a negative min lies above every grey value (the
// region takes none), a negative max reaches to 255.
constexpr bool regionHolds(const imgMaterial& region, std::uint32_t v)
{
    return static_cast<std::uint32_t>(region.min) <= v &&
           v <= static_cast<std::uint32_t>(region.max);
}

// The grey values a region takes by that rule, or nothing when it takes none.
std::optional<GreyRange> greyRangeOf(const imgMaterial& region);

// The colour view's rule, for each grey value: the region that takes it, or
// -1 for none. regionNum < 0 (Show All): the first record in table order
// whose range holds the value; otherwise record regionNum alone. No table,
// or a regionNum past the table: none.
using RegionByGrey = std::array<int, 256>;
constexpr int kShowAllRegions = -1; // regionNum of the Show All rule
RegionByGrey regionsByGrey(const imgMaterial* regions, int regionNum);

} // namespace lumidra
