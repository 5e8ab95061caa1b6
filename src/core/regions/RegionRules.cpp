#include "core/regions/RegionRules.h"

#include <algorithm>

namespace lumidra {

std::optional<GreyRange> greyRangeOf(const imgMaterial& region)
{
    const auto first = static_cast<std::uint32_t>(region.min);
    const std::uint32_t last = std::min<std::uint32_t>(static_cast<std::uint32_t>(region.max), 255);
    if (first > last)
        return std::nullopt;
    return GreyRange{static_cast<int>(first), static_cast<int>(last)};
}

RegionByGrey regionsByGrey(const imgMaterial* regions, int regionNum)
{
    RegionByGrey owner;
    owner.fill(-1);
    if (regions == nullptr || regionNum >= kRegionCount)
        return owner;
    const int first = regionNum < 0 ? 0 : regionNum;
    const int last = regionNum < 0 ? kRegionCount - 1 : regionNum;
    for (std::uint32_t v = 0; v < 256; ++v) {
        for (int k = first; k <= last; ++k) {
            if (regionHolds(regions[k], v)) {
                owner[v] = k;
                break;
            }
        }
    }
    return owner;
}

} // namespace lumidra
