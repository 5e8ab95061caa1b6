#pragma once

#include "core/regions/ImgMaterial.h"
#include "core/slices/SliceStack.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace lumidra {

class VolumeSource;

// The label of each voxel of the scan behind a stack under the Show All
// rule: region index + 1, 0 where no region takes it. A volume's own voxels
// in its own order (i fastest), so the map lies over the source voxel for
// voxel, a NaN or infinite voxel labelled 0; for a slice directory,
// 256 x 256 x count in sample order.
std::vector<std::uint8_t> labelVoxels(const SliceStack& stack, const imgMaterial* regions);

// The label description texts: ITK-SNAP's format, and the FreeSurfer / 3D
// Slicer colour table. Label 0 is "Clear Label"; label k + 1 is region k.
std::string itkSnapLabelText(const imgMaterial* regions);
std::string colourTableText(const imgMaterial* regions);

// The files a label map is written to: PREFIX.nii.gz, PREFIX.label.txt, PREFIX.ctbl.
std::array<std::string, 3> labelMapFiles(const std::string& prefix);

// Writes the three files of a label map: an unsigned 8-bit NIfTI-1 volume
// with the source's dimensions, voxel size and sform/qform (a slice
// directory: 1 mm voxels, identity orientation), and the two label
// descriptions. Each is written beside its target and renamed over it once
// all three are complete. Throws (std::runtime_error, naming the file) when
// any cannot be written; the files that were there are then untouched.
void writeLabelMap(const std::string& prefix, const SliceStack& stack, const imgMaterial* regions);
void writeLabelMap(const std::string& prefix, const VolumeSource& source,
                   const imgMaterial* regions);

} // namespace lumidra
