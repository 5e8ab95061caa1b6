#pragma once

#include "core/volume/SliceStack.h"
#include "core/volume/VolumeIntensity.h"
#include "core/volume/VolumeLayout.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace lumidra {

class NiftiFile;
struct VolumeSource;

// A NIfTI-1 volume read onto the views' 12-bit scale, with the plan of its slices.
struct LoadedVolume {
    std::shared_ptr<const VolumeSource> source;
    SliceLayout layout;
    ValueRange range;
};

// Reads a .nii or .nii.gz volume of any real scalar type: its voxels put
// linearly on 0..4095 by the volume's own range, its geometry, and where
// each slice pixel comes from. Throws VolumeError, naming the file, on
// anything it cannot read.
LoadedVolume readVolume(const std::string& path, Placement placement = Placement::Fit);

// The source of a file whose voxels are loaded, from its samples on the 12-bit scale.
std::shared_ptr<VolumeSource> makeVolumeSource(const NiftiFile& file, const SliceLayout& layout,
                                               std::vector<std::uint16_t> samples);

// Places plane samples (nx x ny, i fastest) into the 65,536 samples of a
// slice, reduced when the layout says so; padding is 0. placed comes from
// placedIndices(layout); scratch holds the reduced plane.
void placePlane(const std::uint16_t* plane, int nx, int ny, const SliceLayout& layout,
                const std::vector<std::int64_t>& placed, std::uint16_t* out,
                std::vector<std::uint16_t>& scratch);

// The stack the views hold for a volume: one slice per plane, in the
// layout's order, grey = sample >> 4, with the source attached.
SharedSliceStack volumeStack(const LoadedVolume& volume);

// readVolume and volumeStack: what the window opens.
SharedSliceStack openVolume(const std::string& path);

// Whether path names a NIfTI file by its extension (.nii, .nii.gz, .hdr, .img).
bool hasNiftiExtension(const std::string& path);

} // namespace lumidra
