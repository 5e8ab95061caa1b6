#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace lumidra {

// A label volume after its small pieces were taken out: the labels, and for
// each label the 6-connected 3-D pieces it still has (label 0, "no label",
// is never counted).
struct LabelPieces {
    std::vector<std::uint8_t> labels;
    std::array<std::uint64_t, 256> pieces{};
    std::uint64_t dropped = 0; // voxels set to 0
};

// Splits each non-zero label of a volume of nx * ny * nz labels (i fastest)
// into its 6-connected pieces: voxels that share a face, within a plane or
// across planes; an edge or a corner does not connect. Pieces of fewer than
// minVoxels voxels are set to 0 (0 or 1 sets none, and only counts). Works
// on runs of equal labels along i, on up to `threads` threads. Throws
// std::invalid_argument when the size does not match, the volume holds
// more than 2^32 - 1 voxels or a row more than 2^24 - 1.
LabelPieces removeIslands(std::vector<std::uint8_t> labels, int nx, int ny, int nz,
                          std::uint64_t minVoxels, int threads = 1);

} // namespace lumidra
