#pragma once

#include "core/regions/ImgMaterial.h"
#include "core/slices/SliceStack.h"
#include "core/volume/VolumeSource.h"

#include <array>
#include <optional>
#include <string>

namespace lumidra {

// What a view shows under the cursor, and where it comes from.
struct CursorReading {
    int column = 0; // of the slice as stored: sample = column + 256 * row
    int row = 0;
    int slice = 0;
    int grey = 0;
    int sample = 0;  // 12-bit
    int region = -1; // under the Show All rule; -1 when no region takes it
    bool fromVolume = false;
    std::optional<VoxelIndex> voxel;         // a volume's source voxel; none for padding
    std::optional<std::array<double, 3>> mm; // that voxel's position
    std::optional<double> value;             // its value in the scan's units (NaN as it is)
};

// The reading at column x and row y of a view (both from its top left) that
// shows slice z of the stack. Nothing outside the view or the stack.
std::optional<CursorReading> readUnderCursor(const SliceStack& stack, int z, int x, int yFromTop,
                                             const imgMaterial* regions);

// One line for a tooltip and a status line, in Latin-1 as region names are:
// column 135, row 88, slice 90: grey 143, sample 2291, region 4 "White"
// and for a volume "; voxel 45, 120, 90 at -12.0, 18.5, 36.0 mm, value 87.25"
// (or "; padding, outside the scan").
std::string describeReading(const CursorReading& reading, const imgMaterial* regions);

} // namespace lumidra
