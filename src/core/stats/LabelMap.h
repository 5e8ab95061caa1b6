#pragma once

#include "core/regions/ImgMaterial.h"
#include "core/slices/SliceStack.h"
#include "core/stats/RegionMap.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace lumidra {

class VolumeSource;

// The label description texts: ITK-SNAP's format, and a 3D Slicer colour
// table (index name r g b a; FreeSurfer reads that last column as
// transparency, so it is not one of FreeSurfer's). Label 0 is "Clear
// Label"; label k + 1 is region k, under its name as exported
// (regionNameUtf8), a nameless region as "Region" and its index, colours as
// the views show them (colourByte).
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
// The same with the labels of a map of the stack (islands left out).
void writeLabelMap(const std::string& prefix, const SliceStack& stack, const imgMaterial* regions,
                   const RegionMap& map);

} // namespace lumidra
