#pragma once

#include <cstdint>

namespace lumidra {

// One tissue region: a name, an inclusive grey range and a colour. The layout
// is fixed: a 40-byte name field (at most 39 characters and a NUL) and five
// signed 32-bit numbers.
struct imgMaterial {
    char name[40];
    std::int32_t min;
    std::int32_t max;
    std::int32_t red;
    std::int32_t green;
    std::int32_t blue;
};

// The byte a colour value is shown and exported as: its low 8 bits, so 300
// shows as 44 and -1 as 255.
constexpr std::uint8_t colourByte(std::int32_t value)
{
    return static_cast<std::uint8_t>(value);
}

constexpr int kRegionCount = 17;      // records of a region table
constexpr int kGeneratedRegions = 16; // records 0..15; record 16 is "Last Region"
constexpr int kRegionNameChars = 39;

} // namespace lumidra

// The record's own name is part of the windows' signal and slot signatures
// ("updateRegion(imgMaterial*)"), so it is visible without the namespace.
using lumidra::imgMaterial;
