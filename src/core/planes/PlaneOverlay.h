#pragma once

#include "core/planes/PlaneVolume.h"
#include "core/regions/ImgMaterial.h"
#include "core/render/SliceRender.h"
#include "core/stats/RegionMap.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace lumidra {

// The regions over the grey of a cut plane, by the colour view's rule
// (regionNum < 0: every region, first match; otherwise that region alone),
// in the regions' colours at an opacity of 0 (the plain grey) to 100 percent.
class PlaneOverlay {
public:
    // painted, when given, is the map of what the rule paints with small
    // islands left out (paintedMap, of the volume the cuts come from): a voxel
    // then takes the region the map gives it.
    PlaneOverlay(const imgMaterial* regions, int regionNum, int opacityPercent,
                 const RegionMap* painted = nullptr);

    // The region each pixel of the cut shows, -1 for none: the one place that
    // decides which region takes a voxel of the planes.
    void regionsOf(const PlaneCut& cut, std::vector<std::int8_t>& regions) const;

    // Colours the cut into 0xFFRRGGBB pixels, `stride` pixels from one row to the next.
    void colour(const PlaneCut& cut, std::uint32_t* pixels, std::ptrdiff_t stride) const;

private:
    RegionByGrey regionByGrey_;
    const RegionMap* painted_ = nullptr;
    // Entry r + 1 is region r's colour blended over each grey value; entry 0 the grey.
    std::vector<std::array<std::uint32_t, 256>> blended_;
    bool plainGrey_ = false;
    mutable std::vector<std::int8_t> regions_;
};

} // namespace lumidra
