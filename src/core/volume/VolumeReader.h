#pragma once

#include "core/slices/SliceStack.h"
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
// anything it cannot read. The conversion is split over threads.
LoadedVolume readVolume(const std::string& path, Placement placement = Placement::Fit,
                        int threads = 1);

// The source of a file whose voxels are loaded, from its samples on the 12-bit scale.
std::shared_ptr<VolumeSource> makeVolumeSource(const NiftiFile& file, const SliceLayout& layout,
                                               std::vector<std::uint16_t> samples);

// The stack the views hold for a volume: one slice of 12-bit samples per
// plane, in the layout's order, with the source attached. The slices are
// split over threads.
SharedSliceStack volumeStack(const LoadedVolume& volume, int threads = 1);

// readVolume and volumeStack on the machine's cores: what the window opens.
SharedSliceStack openVolume(const std::string& path);

// Whether path names a NIfTI file by its extension (.nii, .nii.gz, .hdr, .img).
bool hasNiftiExtension(const std::string& path);

} // namespace lumidra
