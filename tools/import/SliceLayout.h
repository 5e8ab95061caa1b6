#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Orientation codes (NIFTI_L2R ... NIFTI_S2I) of the voxel axes i, j and k.
struct AxisCodes {
    int i = 0;
    int j = 0;
    int k = 0;
};

// Where the voxels of one plane (i, j) land in a 256 x 256 slice file. The viewer
// shows a file's first row at the top and mirrors each row, so file columns
// running toward the patient's right give the radiological view (patient's left
// on the viewer's right), and file rows running toward posterior (or inferior)
// put anterior (or superior) at the top.
struct SliceLayout {
    bool swapped = false;       // j, not i, runs along the file's rows
    bool flipColumns = false;   // file columns run against the voxel index
    bool flipRows = false;      // file rows run against the voxel index
    bool reverseSlices = false; // slice 0 is the last plane along k
    bool fallback = false;      // codes unusable: taken as i L2R, j P2A, k I2S
    AxisCodes axes;             // the codes the layout was built from
    int width = 0;              // voxels along a file row
    int height = 0;             // voxels along a file column
    int columnOffset = 0;       // file column of the first oriented voxel; negative crops
    int rowOffset = 0;

    bool cropped() const;
    bool axial() const;
};

SliceLayout planSliceLayout(int nx, int ny, AxisCodes axes);

// For each of the 65,536 file pixels, the index i + nx * j of the voxel it shows,
// or -1 for padding.
std::vector<std::int64_t> sourceIndices(const SliceLayout& layout, int nx);

// One line each, for the importer's report.
std::string describeSliceOrder(const SliceLayout& layout);
std::string describeView(const SliceLayout& layout);
