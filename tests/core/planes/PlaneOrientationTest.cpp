// The three planes against marker volumes written with nifticlib: wherever
// the file's axes point, the planes show the anatomy the same way up,
// radiologically, as the main window shows its slices.
#include "core/planes/PlaneVolume.h"

#include "NiftiFiles.h"
#include "TestFiles.h"
#include "core/volume/VolumeReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace lumidra;

namespace {

struct Marked {
    std::array<int, 3> extent;
    std::array<float, 3> voxelMm;
    // World axis (rows x, y, z; RAS) of each voxel axis (columns i, j, k), before scaling.
    float rows[3][3];
    // The voxel one in from the patient's left, anterior and superior faces.
    VoxelIndex marker;
};

// Rotates the world by `degrees` about its z axis: an oblique scan whose axes
// still lie nearest the same anatomical axes.
void tilt(float (&rows)[3][3], double degrees)
{
    const double c = std::cos(degrees * M_PI / 180.0), s = std::sin(degrees * M_PI / 180.0);
    for (int col = 0; col < 3; ++col) {
        const double x = rows[0][col], y = rows[1][col];
        rows[0][col] = static_cast<float>(c * x - s * y);
        rows[1][col] = static_cast<float>(s * x + c * y);
    }
}

SharedSliceStack writeAndOpen(const Marked& m, const std::string& path)
{
    auto nim = niftifiles::makeVolume(DT_INT16, m.extent[0], m.extent[1], m.extent[2]);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            nim->sto_xyz.m[r][c] = m.rows[r][c] * m.voxelMm[c];
    nim->dx = nim->pixdim[1] = m.voxelMm[0];
    nim->dy = nim->pixdim[2] = m.voxelMm[1];
    nim->dz = nim->pixdim[3] = m.voxelMm[2];
    const std::size_t at = m.marker.i + static_cast<std::size_t>(m.extent[0]) *
                                            (m.marker.j + m.extent[1] * m.marker.k);
    niftifiles::setVoxel(*nim, at, 1000);
    niftifiles::saveVolume(*nim, path);
    return openVolume(path);
}

// Where the brightest pixel of a cut lies.
PlanePixel brightest(const PlaneCut& cut)
{
    const auto top = std::max_element(cut.samples.begin(), cut.samples.end());
    const int n = static_cast<int>(top - cut.samples.begin());
    return {n % cut.axes.width, n / cut.axes.width};
}

} // namespace

TEST(PlaneOrientation, TheMarkerLiesAtTheLeftAnteriorSuperiorCornerOfEveryPlane)
{
    testfiles::TempDir dir;
    Marked plain{{9, 7, 5}, {1.0f, 1.0f, 1.0f}, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {1, 5, 3}};
    // Sagittal slices: i runs up, j toward the patient's left, k toward posterior;
    // voxels of 2 x 0.5 x 1 mm; tilted by 20 degrees.
    Marked permuted{{6, 8, 7}, {2.0f, 0.5f, 1.0f}, {{0, -1, 0}, {0, 0, -1}, {1, 0, 0}}, {4, 6, 1}};
    Marked oblique = permuted;
    tilt(oblique.rows, 20.0);
    const std::pair<const char*, const Marked*> cases[] = {
        {"plain", &plain}, {"permuted", &permuted}, {"oblique", &oblique}};
    for (const auto& [name, m] : cases) {
        SCOPED_TRACE(name);
        const PlaneVolume volume(
            writeAndOpen(*m, (dir.path() / (std::string(name) + ".nii")).string()));
        ASSERT_FALSE(volume.empty());
        for (const Plane plane : kPlanes) {
            SCOPED_TRACE(static_cast<int>(plane));
            const PlaneAxes a = planeAxes(plane, volume.shape());
            PlaneCut cut;
            volume.cut(a, m->marker, cut);
            ASSERT_EQ(volume.sampleAt(m->marker), 4095);
            // Radiological: the patient's left on the viewer's right; anterior
            // up in the axial plane, superior up in the others; anterior on
            // the left of the sagittal plane, as the main window shows one.
            const PlanePixel at = brightest(cut);
            EXPECT_EQ(at.x, plane == Plane::Sagittal ? 1 : a.width - 2);
            EXPECT_EQ(at.y, 1);
            EXPECT_EQ(cut.samples[at.y * a.width + at.x], 4095);
            EXPECT_EQ(pixelOf(a, m->marker), at);
            EXPECT_EQ(a.letters[0], plane == Plane::Sagittal ? 'A' : 'R');
        }
    }
    // The permuted scan's planes have its voxels' true shape: the axial plane
    // runs left-right along j (0.5 mm), anterior-posterior along k (1 mm).
    const PlaneVolume volume(writeAndOpen(permuted, (dir.path() / "shape.nii").string()));
    const PlaneAxes axial = planeAxes(Plane::Axial, volume.shape());
    EXPECT_EQ(axial.width, 8);
    EXPECT_EQ(axial.height, 7);
    EXPECT_DOUBLE_EQ(axial.mmX, 0.5);
    EXPECT_DOUBLE_EQ(axial.mmY, 1.0);
    const PlaneAxes coronal = planeAxes(Plane::Coronal, volume.shape());
    EXPECT_EQ(coronal.height, 6);
    EXPECT_DOUBLE_EQ(coronal.mmY, 2.0);
}

TEST(PlaneOrientation, TheAxialPlaneOfAnAxialScanIsTheMainWindowsSliceAtFullResolution)
{
    testfiles::TempDir dir;
    const std::array<int, 3> extent{11, 6, 4};
    auto nim = niftifiles::makeVolume(DT_INT16, extent[0], extent[1], extent[2]);
    // k runs from superior down, so the main window's slice 0 is the last plane.
    niftifiles::setAxes(*nim, {{-1, 0, 0}, {0, 1, 0}, {0, 0, -1}});
    for (std::size_t n = 0; n < 11 * 6 * 4; ++n)
        niftifiles::setVoxel(*nim, n, static_cast<double>(n));
    niftifiles::saveVolume(*nim, (dir.path() / "axial.nii").string());
    const SharedSliceStack stack = openVolume((dir.path() / "axial.nii").string());
    const PlaneVolume volume(stack);
    const PlaneAxes axial = planeAxes(Plane::Axial, volume.shape());
    for (int z = 0; z < stack->count(); ++z) {
        const int k = volume.planeOfSlice(z);
        EXPECT_EQ(k, extent[2] - 1 - z);
        EXPECT_EQ(volume.sliceOfPlane(k), z);
        PlaneCut cut;
        volume.cut(axial, {0, 0, k}, cut);
        // Every voxel is where the main window shows it, less the padding around it.
        std::optional<std::array<int, 2>> offset;
        for (int y = 0; y < kSliceSide; ++y)
            for (int x = 0; x < kSliceSide; ++x) {
                const auto voxel = stack->source()->voxelAt(z, sampleShownAt(x, y));
                if (!voxel)
                    continue;
                const PlanePixel p = pixelOf(axial, *voxel);
                if (!offset)
                    offset = std::array<int, 2>{x - p.x, y - p.y};
                ASSERT_EQ(x - p.x, (*offset)[0]);
                ASSERT_EQ(y - p.y, (*offset)[1]);
                ASSERT_EQ(cut.samples[p.y * axial.width + p.x],
                          stack->sampleAt(z, sampleShownAt(x, y)));
            }
        ASSERT_TRUE(offset);
    }
}
