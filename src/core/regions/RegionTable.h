#pragma once

#include "core/regions/ImgMaterial.h"

#include <array>
#include <cstdint>

namespace lumidra {

struct RegionColour {
    std::int32_t red = 0;
    std::int32_t green = 0;
    std::int32_t blue = 0;
};

// Entry k (0 to 16) of the palette that Default Regions applies; black outside.
RegionColour defaultPaletteColour(int k);

// The 17 region records of the main window and the three default colour
// arrays from which the generated regions take their colours.
class RegionTable {
public:
    // Generated regions all black, "Last Region" 0..255 black, then the
    // default region info file ("./data/colornfo.txt") read over them.
    void initRegions();
    // The table initRegions starts from, before any file is read.
    void startingRegions();
    // Colour arrays to 0, then generateRegions(). Record 16 untouched.
    void clearRegions();
    // Colour arrays to the default palette, then generateRegions().
    void defaultRegions();
    // Records 0..15: "Region%i", 16k..16k+15, colour from the arrays.
    void generateRegions();
    // Reads a region info file (null: the default one) over the table.
    // Returns the number of records the file gave (at most 17 are copied),
    // or -1 when the file cannot be opened (the table is then unchanged).
    [[nodiscard]] int loadRegionFile(const char* path = nullptr);

    imgMaterial* records() { return regions_.data(); }
    const imgMaterial* records() const { return regions_.data(); }
    imgMaterial& operator[](int i) { return regions_[i]; }
    const imgMaterial& operator[](int i) const { return regions_[i]; }

    const std::array<std::int32_t, kRegionCount>& defaultRed() const { return defRed_; }
    const std::array<std::int32_t, kRegionCount>& defaultGreen() const { return defGreen_; }
    const std::array<std::int32_t, kRegionCount>& defaultBlue() const { return defBlue_; }

private:
    std::array<imgMaterial, kRegionCount> regions_{};
    std::array<std::int32_t, kRegionCount> defRed_{};
    std::array<std::int32_t, kRegionCount> defGreen_{};
    std::array<std::int32_t, kRegionCount> defBlue_{};
};

} // namespace lumidra
