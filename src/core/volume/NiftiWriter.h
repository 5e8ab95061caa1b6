#pragma once

#include "core/volume/NiftiHeader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lumidra {

// Writes labels (nx * ny * nz bytes, i fastest) as an unsigned 8-bit NIfTI-1
// label volume at path, placed by geometry, or as 1 mm voxels in scanner
// space when there is none. nifticlib reports no failure of a write, so the
// file is read back and compared; throws std::runtime_error, naming the
// file, when it did not come back whole.
void writeLabelVolume(const std::string& path, const std::vector<std::uint8_t>& labels, int nx,
                      int ny, int nz, const NiftiGeometry* geometry, int labelCount);

} // namespace lumidra
