#include "core/planes/PlaneGeometry.h"

#include <gtest/gtest.h>

#include <nifti1_io.h>

using namespace lumidra;

namespace {

// i toward the right, j toward anterior, k toward superior, 3 x 4 x 5 voxels of 1 x 2 x 3 mm.
VolumeShape rasShape()
{
    return volumeShape({3, 4, 5}, {1.0, 2.0, 3.0}, {NIFTI_L2R, NIFTI_P2A, NIFTI_I2S});
}

} // namespace

TEST(PlaneGeometry, PixelsAndVoxelsMapBothWaysAndStepsGoTowardSuperiorAnteriorAndLeft)
{
    const VolumeShape ras = rasShape();
    const VolumeShape las = volumeShape({3, 4, 5}, {1, 2, 3}, {NIFTI_R2L, NIFTI_A2P, NIFTI_S2I});
    for (const VolumeShape& shape : {ras, las}) {
        for (const Plane plane : kPlanes) {
            const PlaneAxes a = planeAxes(plane, shape);
            for (int y = 0; y < a.height; ++y)
                for (int x = 0; x < a.width; ++x) {
                    const VoxelIndex v = voxelAt(a, {1, 2, 3}, {x, y});
                    ASSERT_TRUE(shape.holds(v));
                    ASSERT_EQ(pixelOf(a, v), (PlanePixel{x, y}));
                    ASSERT_EQ(voxelAxis(v, a.normal), voxelAxis(VoxelIndex{1, 2, 3}, a.normal));
                }
        }
    }
    // In RAS voxels the axial plane's pixel (0, 0) is the right anterior corner.
    const PlaneAxes axial = planeAxes(Plane::Axial, ras);
    const VoxelIndex corner = voxelAt(axial, {0, 0, 2}, {0, 0});
    EXPECT_EQ(corner.i, 2);
    EXPECT_EQ(corner.j, 3);
    // Forward: superior, anterior, the patient's left; the last plane holds.
    EXPECT_EQ(stepped(axial, ras, {1, 1, 2}, 1).k, 3);
    EXPECT_EQ(stepped(planeAxes(Plane::Axial, las), las, {1, 1, 2}, 1).k, 1);
    EXPECT_EQ(stepped(planeAxes(Plane::Coronal, ras), ras, {1, 1, 2}, 1).j, 2);
    EXPECT_EQ(stepped(planeAxes(Plane::Sagittal, ras), ras, {1, 1, 2}, 1).i, 0);
    EXPECT_EQ(stepped(planeAxes(Plane::Sagittal, las), las, {1, 1, 2}, 1).i, 2);
    EXPECT_EQ(stepped(axial, ras, {1, 1, 4}, 1).k, 4);
    EXPECT_EQ(stepped(axial, ras, {1, 1, 0}, -3).k, 0);
}

TEST(PlaneGeometry, UnusableHeadersGiveOneMillimetreAndTheDefaultAxes)
{
    const VolumeShape s = volumeShape({2, 2, 2}, {0.0, -1.0, std::nan("")}, {0, 0, 0});
    EXPECT_EQ(s.voxelMm, (std::array<double, 3>{1.0, 1.0, 1.0}));
    EXPECT_EQ(s.axes.i, NIFTI_L2R);
    EXPECT_EQ(s.axes.j, NIFTI_P2A);
    EXPECT_EQ(s.axes.k, NIFTI_I2S);
    // Two codes on one axis are no orientation either.
    EXPECT_EQ(volumeShape({2, 2, 2}, {1, 1, 1}, {NIFTI_L2R, NIFTI_R2L, NIFTI_I2S}).axes.j,
              NIFTI_P2A);
}

TEST(PlaneGeometry, ZoomKeepsThePointUnderTheCursorAndStaysInItsLimits)
{
    const PlaneAxes a = planeAxes(Plane::Coronal, rasShape()); // 3 x 5 voxels of 1 x 3 mm
    PlaneViewport vp = fittedViewport(a, 300, 300);
    // 3 mm by 15 mm fits by its height: 20 px per mm, centred across.
    EXPECT_DOUBLE_EQ(vp.pxPerMm, 20.0);
    EXPECT_DOUBLE_EQ(vp.originX, 120.0);
    EXPECT_DOUBLE_EQ(vp.originY, 0.0);
    EXPECT_FALSE(pixelUnder(a, vp, 119.9, 10));
    EXPECT_EQ(pixelUnder(a, vp, 120.0, 59.9), (PlanePixel{0, 0}));
    EXPECT_EQ(pixelUnder(a, vp, 179.9, 299.9), (PlanePixel{2, 4}));
    EXPECT_FALSE(pixelUnder(a, vp, 180.0, 10));

    const ZoomLimits limits = zoomLimits(a, 1.0, 300, 300);
    const double x = 171.3, y = 77.7;
    const auto under = pixelUnder(a, vp, x, y);
    const double u = (x - vp.originX) / vp.scaleX(a);
    for (const double factor : {1.4142, 1.4142, 3.0, 0.25, 0.5, 100.0, 0.001}) {
        zoomAround(vp, x, y, factor, limits);
        EXPECT_NEAR((x - vp.originX) / vp.scaleX(a), u, 1e-9);
        EXPECT_EQ(pixelUnder(a, vp, x, y), under);
        EXPECT_GE(vp.pxPerMm, limits.least);
        EXPECT_LE(vp.pxPerMm, limits.most);
    }
    EXPECT_DOUBLE_EQ(limits.most, 64.0);
    EXPECT_DOUBLE_EQ(limits.least, 5.0);

    // One voxel of the finest axis per pixel, on whole device pixels at 1.5.
    const PlaneViewport actual = actualSizeViewport(a, 1.0, 300, 301, 1.5);
    EXPECT_DOUBLE_EQ(actual.pxPerMm, 1.0);
    EXPECT_DOUBLE_EQ(actual.originX * 1.5, std::floor(actual.originX * 1.5));
    EXPECT_DOUBLE_EQ(actual.originY * 1.5, std::floor(actual.originY * 1.5));
    const auto centre = pixelCentre(a, actual, {1, 2});
    EXPECT_EQ(pixelUnder(a, actual, centre[0], centre[1]), (PlanePixel{1, 2}));
}

TEST(PlaneGeometry, VolumesOneVoxelThickGivePlanesOfOnePixelAndNoDivisionByZero)
{
    const VolumeShape line = volumeShape({1, 1, 7}, {1, 1, 1}, {NIFTI_L2R, NIFTI_P2A, NIFTI_I2S});
    EXPECT_EQ(line.centre().k, 3);
    for (const Plane plane : kPlanes) {
        const PlaneAxes a = planeAxes(plane, line);
        EXPECT_GE(a.width, 1);
        EXPECT_GE(a.height, 1);
        for (const auto& [w, h] : {std::pair{200.0, 200.0}, {0.0, 0.0}, {-5.0, 10.0}}) {
            const PlaneViewport vp = fittedViewport(a, w, h);
            EXPECT_TRUE(std::isfinite(vp.pxPerMm) && vp.pxPerMm > 0);
            EXPECT_TRUE(std::isfinite(vp.originX) && std::isfinite(vp.originY));
            const ZoomLimits z = zoomLimits(a, line.finestMm(), w, h);
            EXPECT_TRUE(std::isfinite(z.least) && z.least > 0 && z.least <= z.most);
        }
        const VoxelIndex v = stepped(a, line, {0, 0, 3}, 5);
        EXPECT_TRUE(line.holds(v));
    }
    // An empty shape clamps to voxel 0 and holds nothing.
    const VolumeShape none = volumeShape({0, 4, 4}, {1, 1, 1}, {});
    EXPECT_TRUE(none.empty());
    EXPECT_FALSE(none.holds(none.clamped({3, 3, 3})));
}
