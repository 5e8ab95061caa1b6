#pragma once

#include "core/volume/VolumeLayout.h"
#include "core/volume/VolumeSource.h"

#include <array>
#include <optional>

namespace lumidra {

enum class Plane { Axial, Coronal, Sagittal };
constexpr std::array<Plane, 3> kPlanes{Plane::Axial, Plane::Coronal, Plane::Sagittal};

// What the planes need to know of a volume: voxels along i, j and k, their
// size in millimetres (positive) and the orientation codes of the three axes.
struct VolumeShape {
    std::array<int, 3> extent{};
    std::array<double, 3> voxelMm{1.0, 1.0, 1.0};
    AxisCodes axes;

    bool empty() const { return extent[0] < 1 || extent[1] < 1 || extent[2] < 1; }
    bool holds(VoxelIndex v) const;
    VoxelIndex clamped(VoxelIndex v) const;
    VoxelIndex centre() const;
    double finestMm() const;
};

// Voxel sizes the header leaves out (0, negative, not a number) count as 1 mm.
VolumeShape volumeShape(std::array<int, 3> extent, std::array<double, 3> voxelMm, AxisCodes axes);

// Coordinate n (0: i, 1: j, 2: k) of a voxel.
int& voxelAxis(VoxelIndex& v, int n);
int voxelAxis(const VoxelIndex& v, int n);

// A pixel of a plane: x from the left, y from the top, one per voxel.
struct PlanePixel {
    int x = 0;
    int y = 0;
    bool operator==(const PlanePixel&) const = default;
};

// How one plane lies on the screen, by the anatomy and radiologically as the
// main window shows it: x grows toward the patient's left in the axial and
// coronal planes and toward posterior in the sagittal one; y grows toward
// posterior in the axial plane and toward inferior in the other two. A step
// along the normal goes toward superior, anterior and the patient's left.
struct PlaneAxes {
    Plane plane = Plane::Axial;
    int xAxis = 0; // the voxel axis (0: i, 1: j, 2: k) along x
    int yAxis = 1;
    int normal = 2;
    bool xFlip = false; // x grows against the voxel index
    bool yFlip = false;
    bool normalFlip = false; // a step forward lowers the voxel index
    int width = 1;           // voxels along x
    int height = 1;
    double mmX = 1.0; // voxel size along x
    double mmY = 1.0;
    // The orientation letters at the left, right, top and bottom edges.
    std::array<char, 4> letters{};
};

PlaneAxes planeAxes(Plane plane, const VolumeShape& shape);

// The voxel shown at pixel p of the plane through `through`.
VoxelIndex voxelAt(const PlaneAxes& a, VoxelIndex through, PlanePixel p);
// The pixel of its plane that shows voxel v.
PlanePixel pixelOf(const PlaneAxes& a, VoxelIndex v);
// v moved by `steps` planes along a's normal, kept inside the volume.
VoxelIndex stepped(const PlaneAxes& a, const VolumeShape& shape, VoxelIndex v, int steps);

// Where a plane sits in its view: the zoom, in screen pixels per millimetre,
// and the screen position of the plane's top-left corner (logical pixels).
struct PlaneViewport {
    double pxPerMm = 1.0;
    double originX = 0.0;
    double originY = 0.0;

    double scaleX(const PlaneAxes& a) const { return pxPerMm * a.mmX; }
    double scaleY(const PlaneAxes& a) const { return pxPerMm * a.mmY; }
};

struct ScreenRect {
    double x = 0.0;
    double y = 0.0;
    double width = 0.0;
    double height = 0.0;
};

// The whole plane, as large as fits in a view of width x height, centred.
PlaneViewport fittedViewport(const PlaneAxes& a, double width, double height);
// One voxel of the volume's finest axis per screen pixel, centred on whole
// device pixels so that the picture is copied, not resampled.
PlaneViewport actualSizeViewport(const PlaneAxes& a, double finestMm, double width, double height,
                                 double devicePixelRatio);

// How far the wheel may zoom: out to a quarter of the fitted size, in to 64
// screen pixels for a voxel of the finest axis.
struct ZoomLimits {
    double least = 0.0;
    double most = 0.0;
};
ZoomLimits zoomLimits(const PlaneAxes& a, double finestMm, double width, double height);

// Zooms by factor around screen point (x, y): the plane point under it stays.
void zoomAround(PlaneViewport& vp, double x, double y, double factor, ZoomLimits limits);

// The pixel of the plane under screen point (x, y), if any.
std::optional<PlanePixel> pixelUnder(const PlaneAxes& a, const PlaneViewport& vp, double x,
                                     double y);
// Where the plane is drawn, and where the centre of one of its pixels lies.
ScreenRect planeRect(const PlaneAxes& a, const PlaneViewport& vp);
std::array<double, 2> pixelCentre(const PlaneAxes& a, const PlaneViewport& vp, PlanePixel p);

} // namespace lumidra
