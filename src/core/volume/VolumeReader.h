#pragma once

#include "core/slices/SliceStack.h"
#include "core/volume/ScanVoxels.h"
#include "core/volume/VolumeLayout.h"
#include "core/volume/WindowPolicy.h"

#include <cstddef>
#include <memory>
#include <string>

namespace lumidra {

class VolumeSource;

// A scan ready for the views: its voxels, window, geometry and the plan of
// its slices.
struct LoadedVolume {
    std::shared_ptr<const VolumeSource> source;
};

// The path every scan reader ends in, whatever the file was: the scan's
// values gathered (on threads), its window resolved by the policy (auto:
// ct for a scan whose modality is "CT", else robust), its slices planned
// from its orientation. The voxels are kept as they are, not converted.
// Throws VolumeError for a scan without voxels or with more than
// kMaxVolumeVoxels.
LoadedVolume loadScan(ScanVoxels&& scan, const WindowPolicy& policy = {},
                      Placement placement = Placement::Fit, int threads = 1);

// Reads a .nii or .nii.gz volume of any real scalar type and loads it as
// loadScan does. Throws VolumeError, naming the file, on anything it cannot
// read.
LoadedVolume readVolume(const std::string& path, const WindowPolicy& policy = {},
                        Placement placement = Placement::Fit, int threads = 1);

// The stack the views hold for a source: one slice per plane, in its
// layout's order, each pixel the 12-bit sample of its voxel (NaN and
// infinities 0), with the source attached. The slices are split over
// threads. Refused (VolumeError) when the slices would need more than
// memoryBudget bytes, as an image directory is.
SharedSliceStack volumeStack(const std::shared_ptr<const VolumeSource>& source, int threads,
                             std::size_t memoryBudget);
SharedSliceStack volumeStack(const LoadedVolume& volume, int threads = 1);

// readVolume and volumeStack on the machine's cores: what the window opens.
SharedSliceStack openVolume(const std::string& path, const WindowPolicy& policy = {});

// The stack of the same scan through another window: its voxels are shared,
// not read again. Throws VolumeError for a stack with no volume behind it
// (an image directory) or without memory for the new slices.
SharedSliceStack rewindow(const SliceStack& stack, const WindowPolicy& policy);

// Whether path names a NIfTI file by its extension (.nii, .nii.gz, .hdr, .img).
[[nodiscard]] bool hasNiftiExtension(const std::string& path);

} // namespace lumidra
