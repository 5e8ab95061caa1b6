#include "RenderReference.h"

#include "core/common/SliceGeometry.h"

#include <algorithm>
#include <array>

using namespace lumidra;

void renderAllRegionsBySearch(const std::uint8_t* slices, int numPix, int image,
                              const imgMaterial* regions, std::uint8_t* rgb)
{
    if (rgb == nullptr)
        return;
    if (slices == nullptr || image < 0 || image >= numPix) {
        std::fill(rgb, rgb + kRgbBytes, std::uint8_t{0});
        return;
    }
    const std::uint8_t* slice = slices + sliceOffset(image);
    for (int j = 0; j < kSliceSamples; ++j) {
        const std::uint8_t v = slice[kSliceSamples - 1 - j];
        std::array<std::uint8_t, 3> c = {v, v, v};
        for (int k = 0; regions != nullptr && k < kRegionCount; ++k) {
            const imgMaterial& r = regions[k];
            if (static_cast<std::uint32_t>(r.min) <= v && v <= static_cast<std::uint32_t>(r.max)) {
                c = {static_cast<std::uint8_t>(r.red), static_cast<std::uint8_t>(r.green),
                     static_cast<std::uint8_t>(r.blue)};
                break;
            }
        }
        std::copy(c.begin(), c.end(), rgb + 3 * j);
    }
}
