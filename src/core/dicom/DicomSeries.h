#pragma once

#include "core/dicom/DicomRecord.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace lumidra {

// One plane of a series: a frame of one of its images.
struct DicomSlice {
    std::size_t image = 0; // into DicomSeries::images
    int frame = 0;
    Vec3 position{};  // of its first voxel, in DICOM's LPS
    double along = 0; // the position projected on the slice normal
};

// Images that make one volume: one series, one orientation, one image size
// (and one acquisition where positions repeat), in order along the normal.
struct DicomSeries {
    std::string uid;
    std::optional<int> number;
    std::string description;
    std::string modality;
    // Tells the parts of one series apart ("3", "3.2"); unique in a folder.
    std::string tag;
    int rows = 0;
    int columns = 0;
    std::vector<DicomImage> images;
    std::vector<DicomSlice> slices; // from the lowest position along the normal
    double spacing = 0;             // the median step between slices, in mm; 0 for one slice
    std::string warning;            // opens, with this said about it
    std::string problem;            // cannot be opened, and why

    std::size_t sliceCount() const { return slices.size(); }
};

// Steps between slices that differ from the median by at most this fraction
// are taken as equal; up to kSpacingWarnFraction the series opens with a
// warning; beyond, it is refused.
constexpr double kSpacingSameFraction = 0.01;
constexpr double kSpacingWarnFraction = 0.05;

// Groups image headers into series: by SeriesInstanceUID, then by
// orientation (to 1e-3), image size and, where positions repeat,
// acquisition. Each group's slices are ordered by position along the slice
// normal, never by InstanceNumber or file name, and its spacing is the
// median step; problems are said in warning or problem. Series come in
// order of their SeriesNumber, then UID.
std::vector<DicomSeries> groupDicomSeries(std::vector<DicomImage> images);

// A series' voxel geometry: voxel size and voxel-to-millimetre affine in
// NIfTI's RAS (DICOM's LPS with x and y negated), i along a row, j down the
// columns, k along the ordered slices. Needs a series without a problem.
struct DicomGeometry {
    std::array<double, 3> voxelMm{};
    std::array<std::array<double, 4>, 3> toMm{};
};
DicomGeometry dicomGeometry(const DicomSeries& series);

} // namespace lumidra
