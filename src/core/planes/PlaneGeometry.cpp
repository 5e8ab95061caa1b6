#include "core/planes/PlaneGeometry.h"

#include <algorithm>
#include <cmath>

namespace lumidra {

namespace {

// For each plane: the anatomical axis along x and along y (0 left-right,
// 1 anterior-posterior, 2 inferior-superior), its normal, whether a step
// forward goes toward the RAS end of the normal, and the letters.
struct PlaneRule {
    int x;
    int y;
    int normal;
    bool forwardTowardRas;
    std::array<char, 4> letters;
};

const PlaneRule& ruleOf(Plane plane)
{
    static const PlaneRule axial{0, 1, 2, true, {'R', 'L', 'A', 'P'}};
    static const PlaneRule coronal{0, 2, 1, true, {'R', 'L', 'S', 'I'}};
    static const PlaneRule sagittal{1, 2, 0, false, {'A', 'P', 'S', 'I'}};
    switch (plane) {
    case Plane::Axial:
        return axial;
    case Plane::Coronal:
        return coronal;
    case Plane::Sagittal:
        break;
    }
    return sagittal;
}

double usableMm(double mm)
{
    return std::isfinite(mm) && mm > 0.0 ? mm : 1.0;
}

} // namespace

bool VolumeShape::holds(VoxelIndex v) const
{
    return v.i >= 0 && v.i < extent[0] && v.j >= 0 && v.j < extent[1] && v.k >= 0 &&
           v.k < extent[2];
}

VoxelIndex VolumeShape::clamped(VoxelIndex v) const
{
    return {std::clamp(v.i, 0, std::max(0, extent[0] - 1)),
            std::clamp(v.j, 0, std::max(0, extent[1] - 1)),
            std::clamp(v.k, 0, std::max(0, extent[2] - 1))};
}

VoxelIndex VolumeShape::centre() const
{
    return clamped({extent[0] / 2, extent[1] / 2, extent[2] / 2});
}

double VolumeShape::finestMm() const
{
    return std::min({voxelMm[0], voxelMm[1], voxelMm[2]});
}

VolumeShape volumeShape(std::array<int, 3> extent, std::array<double, 3> voxelMm, AxisCodes axes)
{
    VolumeShape s;
    s.extent = extent;
    for (int n = 0; n < 3; ++n)
        s.voxelMm[n] = usableMm(voxelMm[n]);
    s.axes = usableAxes(axes);
    return s;
}

int& voxelAxis(VoxelIndex& v, int n)
{
    return n == 0 ? v.i : n == 1 ? v.j : v.k;
}

int voxelAxis(const VoxelIndex& v, int n)
{
    return n == 0 ? v.i : n == 1 ? v.j : v.k;
}

PlaneAxes planeAxes(Plane plane, const VolumeShape& shape)
{
    const PlaneRule& rule = ruleOf(plane);
    const std::array<int, 3> codes{shape.axes.i, shape.axes.j, shape.axes.k};
    // The voxel axis that runs along each anatomical axis.
    std::array<int, 3> along{0, 1, 2};
    for (int n = 0; n < 3; ++n)
        along[anatomicalAxis(codes[n])] = n;

    PlaneAxes a;
    a.plane = plane;
    a.xAxis = along[rule.x];
    a.yAxis = along[rule.y];
    a.normal = along[rule.normal];
    // x and y grow toward the patient's left, posterior and inferior: away from RAS.
    a.xFlip = towardRas(codes[a.xAxis]);
    a.yFlip = towardRas(codes[a.yAxis]);
    a.normalFlip = towardRas(codes[a.normal]) != rule.forwardTowardRas;
    a.width = std::max(1, shape.extent[a.xAxis]);
    a.height = std::max(1, shape.extent[a.yAxis]);
    a.mmX = shape.voxelMm[a.xAxis];
    a.mmY = shape.voxelMm[a.yAxis];
    a.letters = rule.letters;
    return a;
}

VoxelIndex voxelAt(const PlaneAxes& a, VoxelIndex through, PlanePixel p)
{
    voxelAxis(through, a.xAxis) = a.xFlip ? a.width - 1 - p.x : p.x;
    voxelAxis(through, a.yAxis) = a.yFlip ? a.height - 1 - p.y : p.y;
    return through;
}

PlanePixel pixelOf(const PlaneAxes& a, VoxelIndex v)
{
    const int x = voxelAxis(v, a.xAxis);
    const int y = voxelAxis(v, a.yAxis);
    return {a.xFlip ? a.width - 1 - x : x, a.yFlip ? a.height - 1 - y : y};
}

VoxelIndex stepped(const PlaneAxes& a, const VolumeShape& shape, VoxelIndex v, int steps)
{
    voxelAxis(v, a.normal) += a.normalFlip ? -steps : steps;
    return shape.clamped(v);
}

PlaneViewport fittedViewport(const PlaneAxes& a, double width, double height)
{
    PlaneViewport vp;
    const double w = a.width * a.mmX;
    const double h = a.height * a.mmY;
    if (width > 0.0 && height > 0.0)
        vp.pxPerMm = std::min(width / w, height / h);
    vp.originX = (width - w * vp.pxPerMm) / 2.0;
    vp.originY = (height - h * vp.pxPerMm) / 2.0;
    return vp;
}

PlaneViewport actualSizeViewport(const PlaneAxes& a, double finestMm, double width, double height,
                                 double devicePixelRatio)
{
    PlaneViewport vp;
    vp.pxPerMm = 1.0 / usableMm(finestMm);
    const double ratio = devicePixelRatio > 0.0 ? devicePixelRatio : 1.0;
    auto whole = [ratio](double logical) { return std::floor(logical * ratio) / ratio; };
    vp.originX = whole((width - a.width * vp.scaleX(a)) / 2.0);
    vp.originY = whole((height - a.height * vp.scaleY(a)) / 2.0);
    return vp;
}

ZoomLimits zoomLimits(const PlaneAxes& a, double finestMm, double width, double height)
{
    const double most = 64.0 / usableMm(finestMm);
    const double fitted = fittedViewport(a, width, height).pxPerMm;
    return {std::min(fitted, most) / 4.0, most};
}

void zoomAround(PlaneViewport& vp, double x, double y, double factor, ZoomLimits limits)
{
    if (!(factor > 0.0))
        return;
    const double before = vp.pxPerMm;
    vp.pxPerMm =
        std::clamp(before * factor, std::min(limits.least, before), std::max(limits.most, before));
    const double ratio = vp.pxPerMm / before;
    vp.originX = x - (x - vp.originX) * ratio;
    vp.originY = y - (y - vp.originY) * ratio;
}

std::optional<PlanePixel> pixelUnder(const PlaneAxes& a, const PlaneViewport& vp, double x,
                                     double y)
{
    const double u = std::floor((x - vp.originX) / vp.scaleX(a));
    const double v = std::floor((y - vp.originY) / vp.scaleY(a));
    if (!(u >= 0.0 && u < a.width && v >= 0.0 && v < a.height))
        return std::nullopt;
    return PlanePixel{static_cast<int>(u), static_cast<int>(v)};
}

ScreenRect planeRect(const PlaneAxes& a, const PlaneViewport& vp)
{
    return {vp.originX, vp.originY, a.width * vp.scaleX(a), a.height * vp.scaleY(a)};
}

std::array<double, 2> pixelCentre(const PlaneAxes& a, const PlaneViewport& vp, PlanePixel p)
{
    return {vp.originX + (p.x + 0.5) * vp.scaleX(a), vp.originY + (p.y + 0.5) * vp.scaleY(a)};
}

} // namespace lumidra
