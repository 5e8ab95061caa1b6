#include "core/planes/PlaneOverlay.h"

#include <algorithm>

namespace lumidra {

namespace {

constexpr std::uint32_t argb(std::uint32_t r, std::uint32_t g, std::uint32_t b)
{
    return 0xFF000000u | r << 16 | g << 8 | b;
}

// The channel c, as the views show it (its low byte), over grey at `percent`
// opacity, rounded.
std::uint32_t blend(std::int32_t c, int grey, int percent)
{
    const int channel = colourByte(c);
    return static_cast<std::uint32_t>((grey * (100 - percent) + channel * percent + 50) / 100);
}

} // namespace

PlaneOverlay::PlaneOverlay(const imgMaterial* regions, int regionNum, int opacityPercent,
                           const RegionMap* painted)
    : regionByGrey_(regionsByGrey(regions, regionNum)), painted_(painted),
      blended_(kRegionCount + 1)
{
    const int percent = std::clamp(opacityPercent, 0, 100);
    plainGrey_ = percent == 0;
    for (int entry = 0; entry <= kRegionCount; ++entry)
        for (int v = 0; v < 256; ++v) {
            const auto g = static_cast<std::uint32_t>(v);
            if (entry == 0 || regions == nullptr) {
                blended_[entry][v] = argb(g, g, g);
                continue;
            }
            const imgMaterial& m = regions[entry - 1];
            blended_[entry][v] = argb(blend(m.red, v, percent), blend(m.green, v, percent),
                                      blend(m.blue, v, percent));
        }
}

void PlaneOverlay::regionsOf(const PlaneCut& cut, std::vector<std::int8_t>& regions) const
{
    regions.resize(cut.samples.size());
    const RegionMap* map = painted_;
    const std::size_t planeSize = map ? static_cast<std::size_t>(map->nx) * map->ny : 0;
    if (map && map->labels.size() == planeSize * map->nz) {
        // Each voxel as the map labels it: label k + 1 is region k, 0 none.
        for (int y = 0; y < cut.axes.height; ++y)
            for (int x = 0; x < cut.axes.width; ++x) {
                const VoxelIndex v = voxelAt(cut.axes, cut.through, {x, y});
                const std::size_t n = static_cast<std::size_t>(v.i) +
                                      static_cast<std::size_t>(map->nx) * v.j +
                                      planeSize * static_cast<std::size_t>(v.k);
                regions[static_cast<std::size_t>(y) * cut.axes.width + x] =
                    static_cast<std::int8_t>(map->labels[n] - 1);
            }
        return;
    }
    std::transform(
        cut.samples.begin(), cut.samples.end(), regions.begin(),
        [this](std::uint16_t s) { return static_cast<std::int8_t>(regionByGrey_[greyOf(s)]); });
}

void PlaneOverlay::colour(const PlaneCut& cut, std::uint32_t* pixels, std::ptrdiff_t stride) const
{
    const int width = cut.axes.width;
    const std::uint16_t* samples = cut.samples.data();
    if (plainGrey_) {
        for (int y = 0; y < cut.axes.height; ++y, samples += width, pixels += stride)
            for (int x = 0; x < width; ++x)
                pixels[x] = blended_[0][greyOf(samples[x])];
        return;
    }
    regionsOf(cut, regions_);
    const std::int8_t* region = regions_.data();
    for (int y = 0; y < cut.axes.height; ++y, samples += width, region += width, pixels += stride)
        for (int x = 0; x < width; ++x)
            pixels[x] = blended_[region[x] + 1][greyOf(samples[x])];
}

} // namespace lumidra
