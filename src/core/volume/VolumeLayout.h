#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace lumidra {

// Orientation codes (NIFTI_L2R ... NIFTI_S2I) of the voxel axes i, j and k.
struct AxisCodes {
    int i = 0;
    int j = 0;
    int k = 0;
};

// What happens to a plane larger than 256 x 256: reduced by the smallest
// integer factor that makes it fit, or centre-cropped.
enum class Placement { Fit, Crop };

// Where the voxels of one plane (i, j) land in a 256 x 256 slice. The views
// show a slice's first row at the top and mirror each row, so slice columns
// running toward the patient's right give the radiological view (patient's
// left on the viewer's right), and slice rows running toward posterior (or
// inferior) put anterior (or superior) at the top.
struct SliceLayout {
    bool swapped = false;       // j, not i, runs along the slice's rows
    bool flipColumns = false;   // slice columns run against the voxel index
    bool flipRows = false;      // slice rows run against the voxel index
    bool reverseSlices = false; // slice 0 is the last plane along k
    bool fallback = false;      // codes unusable: taken as i L2R, j P2A, k I2S
    AxisCodes axes;             // the codes the layout was built from
    int planeWidth = 0;         // voxels along a slice row, before any reduction
    int planeHeight = 0;        // voxels along a slice column, before any reduction
    int factor = 1;             // each factor x factor block of voxels is one pixel
    int width = 0;              // pixels along a slice row: planeWidth / factor, rounded up
    int height = 0;             // pixels along a slice column
    int columnOffset = 0;       // slice column of the first pixel; negative crops
    int rowOffset = 0;

    bool cropped() const;
    bool fitted() const { return factor > 1; }
    bool axial() const;
};

// The orientation codes of the voxel axes under a voxel-to-millimetre matrix.
AxisCodes axesOf(const std::array<std::array<double, 4>, 3>& toMm);

SliceLayout planSliceLayout(int nx, int ny, AxisCodes axes, Placement placement = Placement::Fit);

// For each of the 65,536 slice pixels, the voxel i + nx * j of the source
// plane it stands for (for a reduced plane, the voxel nearest the centre of
// its block), or -1 for padding.
std::vector<std::int64_t> sourceIndices(const SliceLayout& layout, int nx, int ny);

// The plane of nx x ny samples (i fastest) reduced by factor: each pixel is
// the mean of its block, rounded to nearest; blocks at the far edges hold
// the voxels that are left.
void reducePlane(const std::uint16_t* plane, int nx, int ny, int factor,
                 std::vector<std::uint16_t>& out);

// Puts planes of samples into slices by a layout. Each slice row is one run
// through the (reduced) plane, walked with a fixed step, so a plane is
// placed without a lookup per pixel.
class PlanePlacer {
public:
    PlanePlacer(const SliceLayout& layout, int nx, int ny);

    // The 65,536 samples of a slice from a plane of nx x ny samples (i
    // fastest), 0 for padding; grey, when given, gets each sample >> 4.
    void place(const std::uint16_t* plane, std::uint16_t* out, std::uint8_t* grey = nullptr);

private:
    struct Run {
        int column = 0; // first slice column the run fills
        int count = 0;  // 0: the row is padding
        std::int64_t first = 0;
        std::int64_t step = 0;
    };

    int nx_;
    int ny_;
    int factor_;
    std::array<Run, 256> runs_{};
    std::vector<std::uint16_t> reduced_;
};

// One line each, for the importer's report.
std::string describeSliceOrder(const SliceLayout& layout);
std::string describeView(const SliceLayout& layout);

} // namespace lumidra
