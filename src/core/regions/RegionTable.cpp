#include "core/regions/RegionTable.h"

#include "core/common/TextField.h"
#include "core/regions/RegionFile.h"

#include <algorithm>
#include <string>
#include <vector>

namespace lumidra {

namespace {

struct PaletteEntry {
    std::int32_t red, green, blue;
};

// Half and quarter steps are 127 and 63; no entry is pure red.
constexpr std::array<PaletteEntry, kRegionCount> kDefaultPalette = {{
    {0, 0, 0},
    {0, 255, 0},
    {0, 0, 255},
    {255, 255, 0},
    {255, 0, 255},
    {0, 255, 255},
    {255, 127, 0},
    {127, 255, 0},
    {255, 0, 127},
    {127, 0, 255},
    {0, 127, 255},
    {0, 255, 127},
    {63, 127, 255},
    {127, 63, 255},
    {63, 255, 127},
    {255, 255, 255},
    {0, 0, 0},
}};

constexpr std::int32_t kGreyStep = 16;

} // namespace

RegionColour defaultPaletteColour(int k)
{
    if (k < 0 || k >= kRegionCount)
        return {};
    const PaletteEntry& e = kDefaultPalette[k];
    return {e.red, e.green, e.blue};
}

void RegionTable::initRegions()
{
    startingRegions();
    // Without a default file the table stays as generated; the reader has
    // already said so on standard output.
    (void)loadRegionFile();
}

void RegionTable::startingRegions()
{
    clearRegions();
    imgMaterial& last = regions_[kGeneratedRegions];
    copyBounded(last.name, "Last Region");
    last.min = 0;
    last.max = 255;
    last.red = last.green = last.blue = 0;
}

void RegionTable::clearRegions()
{
    defRed_.fill(0);
    defGreen_.fill(0);
    defBlue_.fill(0);
    generateRegions();
}

void RegionTable::defaultRegions()
{
    for (int k = 0; k < kRegionCount; ++k) {
        defRed_[k] = kDefaultPalette[k].red;
        defGreen_[k] = kDefaultPalette[k].green;
        defBlue_[k] = kDefaultPalette[k].blue;
    }
    generateRegions();
}

void RegionTable::generateRegions()
{
    for (int k = 0; k < kGeneratedRegions; ++k) {
        imgMaterial& region = regions_[k];
        copyBounded(region.name, ("Region" + std::to_string(k)).c_str());
        region.min = kGreyStep * k;
        region.max = kGreyStep * k + kGreyStep - 1;
        region.red = defRed_[k];
        region.green = defGreen_[k];
        region.blue = defBlue_[k];
    }
}

int RegionTable::loadRegionFile(const char* path)
{
    std::vector<imgMaterial> loaded;
    const int count = readRegionFile(loaded, path, kRegionCount);
    if (count < 0)
        return count;
    const int n = std::min(count, kRegionCount);
    std::copy_n(loaded.begin(), n, regions_.begin());
    return count;
}

} // namespace lumidra
