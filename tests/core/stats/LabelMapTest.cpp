// Region maps read back with nifticlib: they must lie over the source scan
// voxel for voxel, with its geometry, and agree with the statistics.
#include "core/regions/RegionTable.h"
#include "core/stats/LabelMap.h"
#include "core/stats/RegionMap.h"
#include "core/stats/RegionStats.h"
#include "core/volume/VolumeReader.h"
#include "core/volume/VolumeSource.h"

#include "NiftiFiles.h"
#include "Scans.h"
#include "TestFiles.h"
#include "TestStacks.h"
#include "regions/RegionTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>

using namespace lumidra;
using namespace niftifiles;

namespace fs = std::filesystem;

namespace {

// Three regions, the second overlapping the first, and grey values no
// region takes (the other records hold empty ranges, one has no name).
std::array<imgMaterial, kRegionCount> tissueTable()
{
    std::array<imgMaterial, kRegionCount> t{};
    for (int k = 0; k < kRegionCount; ++k)
        t[k] = makeRecord({"Unused", 1, 0, 0, 0, 0});
    t[0] = makeRecord({"Fluid", 10, 60, 0, 0, 255});
    t[1] = makeRecord({"Grey \"matter\"", 50, 120, 300, 128, -4});
    t[2] = makeRecord({"White", 200, 255, 250, 250, 250});
    t[3] = makeRecord({"", 1, 0, 1, 2, 3});
    return t;
}

// The label of a value of the source under the minmax window, worked out
// here from nifticlib's own reading: linear from the volume's range onto
// 0..4095, the grey value the top eight bits, the first region holding it.
std::vector<std::uint8_t> expectedLabels(const nifti_image& nim, const imgMaterial* regions)
{
    std::vector<double> values(nim.nvox);
    for (std::size_t n = 0; n < nim.nvox; ++n)
        values[n] = static_cast<const std::int16_t*>(nim.data)[n];
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    std::vector<std::uint8_t> labels(nim.nvox, 0);
    for (std::size_t n = 0; n < nim.nvox; ++n) {
        const long sample = std::lround((values[n] - *lo) / (*hi - *lo) * 4095.0);
        const int grey = static_cast<int>(sample >> 4);
        for (int k = 0; k < kRegionCount; ++k) {
            if (regions[k].min <= grey && grey <= regions[k].max) {
                labels[n] = static_cast<std::uint8_t>(k + 1);
                break;
            }
        }
    }
    return labels;
}

} // namespace

TEST(LabelMap, ReadBackItLiesOverAnObliqueReducedSourceVoxelForVoxel)
{
    testfiles::TempDir tmp;
    // 300 x 7 x 3: the plane is reduced by 2 for the views, the map is not.
    auto nim = makeVolume(DT_INT16, 300, 7, 3);
    for (std::size_t n = 0; n < nim->nvox; ++n) {
        const std::size_t i = n % 300, j = n / 300 % 7, k = n / 2100;
        setVoxel(*nim, n, static_cast<double>((i * 37 + j * 101 + k * 53) % 2000) - 500);
    }
    nim->dx = nim->pixdim[1] = 1.1f;
    nim->dy = nim->pixdim[2] = 0.8f;
    nim->dz = nim->pixdim[3] = 2.5f;
    setAxes(*nim, {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}});
    nim->sto_xyz.m[0][1] = -0.8f;
    nim->sto_xyz.m[1][0] = 1.1f;
    nim->sto_xyz.m[2][2] = 2.5f;
    nim->sto_xyz.m[0][3] = 10.0f;
    nim->sto_xyz.m[1][3] = -5.0f;
    nim->qform_code = NIFTI_XFORM_ALIGNED_ANAT;
    nim->quatern_d = 0.70710678f; // 90 degrees about z
    nim->qoffset_y = -5.0f;
    nim->qfac = -1.0f;
    saveVolume(*nim, tmp / "oblique.nii.gz");

    const SharedSliceStack stack = openVolume(tmp / "oblique.nii.gz", {WindowRule::MinMax});
    ASSERT_EQ(stack->source()->fitFactor, 2);
    const auto table = tissueTable();
    writeLabelMap(tmp / "map", *stack, table.data());
    EXPECT_EQ(
        testfiles::fileNames(tmp.path()),
        (std::vector<std::string>{"map.ctbl", "map.label.txt", "map.nii.gz", "oblique.nii.gz"}))
        << "no temporary file is left";

    const NiftiImagePtr source = readWithNifticlib(tmp / "oblique.nii.gz");
    const NiftiImagePtr map = readWithNifticlib(tmp / "map.nii.gz");
    ASSERT_TRUE(source && map);
    EXPECT_EQ(map->datatype, DT_UINT8);
    EXPECT_EQ(map->ndim, 3);
    EXPECT_EQ(std::vector<int>(map->dim, map->dim + 4), (std::vector<int>{3, 300, 7, 3}));
    for (int d = 0; d < 4; ++d)
        EXPECT_EQ(map->pixdim[d], source->pixdim[d]) << "pixdim " << d;
    EXPECT_EQ(map->sform_code, source->sform_code);
    EXPECT_EQ(map->qform_code, source->qform_code);
    EXPECT_EQ(map->xyz_units, source->xyz_units);
    for (float nifti_image::*field :
         {&nifti_image::quatern_b, &nifti_image::quatern_c, &nifti_image::quatern_d,
          &nifti_image::qoffset_x, &nifti_image::qoffset_y, &nifti_image::qoffset_z,
          &nifti_image::qfac})
        EXPECT_EQ(map.get()->*field, source.get()->*field);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(map->sto_xyz.m[r][c], source->sto_xyz.m[r][c]) << r << "," << c;
            EXPECT_NEAR(map->qto_xyz.m[r][c], source->qto_xyz.m[r][c], 1e-6) << r << "," << c;
        }

    const std::vector<std::uint8_t> expected = expectedLabels(*source, table.data());
    const auto* labels = static_cast<const std::uint8_t*>(map->data);
    std::size_t wrong = 0;
    std::array<std::uint64_t, kRegionCount + 1> counts{};
    for (std::size_t n = 0; n < map->nvox; ++n) {
        wrong += labels[n] != expected[n];
        ++counts[labels[n] == 0 ? kRegionCount : labels[n] - 1];
    }
    EXPECT_EQ(wrong, 0u);

    // The map's label counts are the statistics' voxel counts.
    const std::vector<RegionStats> rows =
        regionStatistics(stackHistogram(*stack), table.data(), voxelMl(*stack));
    for (int row = 0; row <= kRegionCount; ++row)
        EXPECT_EQ(counts[row], rows[row].voxels) << "row " << row;
    EXPECT_GT(rows[0].voxels, 0u);
    EXPECT_GT(rows[1].voxels, 0u);
    EXPECT_GT(rows[kRegionCount].voxels, 0u);
}

// Half a float volume NaN or infinite: those voxels used to count as grey 0,
// in whatever region took it.
TEST(LabelMap, NanAndInfiniteVoxelsAreInNoRowAndLabelledZero)
{
    testfiles::TempDir tmp;
    // 30 x 20 x 20: every even voxel not finite, then 3,003 finite voxels of
    // 100 (grey 6) and the rest 200 (grey 12).
    std::vector<float> values(12000);
    const float notFinite[] = {std::nanf(""), std::numeric_limits<float>::infinity(),
                               -std::numeric_limits<float>::infinity()};
    for (std::size_t n = 0; n < values.size(); ++n)
        values[n] = n % 2 == 0 ? notFinite[n / 2 % 3] : n / 2 < 3003 ? 100.0f : 200.0f;
    auto table = tissueTable();
    table[0] = makeRecord({"Tissue", 0, 6, 0, 0, 0}); // grey 0 too, where NaN used to go
    const SharedSliceStack stack =
        volumeStack(loadScan(scans::makeScan(30, 20, 20, values), {WindowRule::Fixed, 0, 4095}));

    EXPECT_EQ(nonFiniteVoxels(*stack), 6000u);
    const std::vector<RegionStats> rows =
        regionStatistics(stackHistogram(*stack, 2), table.data(), voxelMl(*stack));
    EXPECT_EQ(rows[0].voxels, 3003u);
    EXPECT_DOUBLE_EQ(rows[0].fraction, 3003.0 / 6000);
    EXPECT_DOUBLE_EQ(*rows[0].meanSample, 100.0);
    EXPECT_EQ(rows[kRegionCount].voxels, 6000u - 3003u);
    std::uint64_t perSlice = 0;
    for (int z = 0; z < stack->count(); ++z)
        perSlice += sliceHistogram(*stack, z).total();
    EXPECT_EQ(perSlice, 6000u);

    writeLabelMap(tmp / "map", *stack, table.data());
    const NiftiImagePtr map = readWithNifticlib(tmp / "map.nii.gz");
    ASSERT_TRUE(map);
    const auto* labels = static_cast<const std::uint8_t*>(map->data);
    std::uint64_t tissue = 0;
    for (std::size_t n = 0; n < map->nvox; ++n) {
        tissue += labels[n] == 1;
        if (n % 2 == 0) {
            ASSERT_EQ(labels[n], 0) << "voxel " << n;
        }
    }
    EXPECT_EQ(tissue, 3003u);

    // Islands: Tissue is 15 columns of odd i (NaN between them), three of
    // them 201 voxels long, the rest 200. Leaving out pieces under 201 moves
    // the 2,400 voxels of the others to none; the NaN voxels stay out of
    // every row, though Tissue takes the grey 0 they read as.
    const RegionMap every = regionMap(*stack, table.data(), 0, 2);
    EXPECT_EQ(every.pieces[0], 15u);
    const RegionMap kept = regionMap(*stack, table.data(), 201, 2);
    const std::vector<RegionStats> islands = mapStatistics(*stack, kept, voxelMl(*stack), 2);
    EXPECT_EQ(islands[0].voxels, 603u);
    EXPECT_EQ(islands[0].pieces, 3u);
    EXPECT_DOUBLE_EQ(*islands[0].meanSample, 100.0);
    EXPECT_EQ(islands[kRegionCount].voxels, 6000u - 603u);
    std::uint64_t total = 0;
    for (const RegionStats& row : islands)
        total += row.voxels;
    EXPECT_EQ(total, 6000u);
    EXPECT_EQ(std::count(kept.labels.begin(), kept.labels.end(), 1), 603);
    for (std::size_t n = 0; n < kept.labels.size(); n += 2)
        ASSERT_EQ(kept.labels[n], 0) << "voxel " << n;
}

TEST(LabelMap, SliceDirectoryMapIsTheStackWithUnitVoxelsAndTheLabelFilesNameEachRegion)
{
    testfiles::TempDir tmp;
    auto stack = teststacks::sampleStack(2, [](std::size_t n) { return (n * 7) % 4096; });
    const auto table = tissueTable();
    writeLabelMap(tmp / "dir map", *stack, table.data());

    const NiftiImagePtr map = readWithNifticlib(tmp / "dir map.nii.gz");
    ASSERT_TRUE(map);
    EXPECT_EQ(std::vector<int>(map->dim, map->dim + 4), (std::vector<int>{3, 256, 256, 2}));
    EXPECT_EQ(map->dx * map->dy * map->dz, 1.0f);
    EXPECT_EQ(map->sform_code, NIFTI_XFORM_SCANNER_ANAT);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(map->sto_xyz.m[r][c], r == c ? 1.0f : 0.0f);
    const std::vector<std::uint8_t> labels = labelVoxels(*stack, table.data());
    ASSERT_EQ(labels.size(), map->nvox);
    EXPECT_EQ(std::memcmp(labels.data(), map->data, labels.size()), 0);
    EXPECT_EQ(labels[0], 0);                      // grey 0
    EXPECT_EQ(labels[(55 * 16 + 6) / 7 + 1], 1);  // grey 55: both ranges, the first wins
    EXPECT_EQ(labels[(100 * 16 + 6) / 7 + 1], 2); // grey 100
    // A PGM directory of the same grey bytes maps the same.
    auto pgm = teststacks::greyStack(2, [](std::size_t n) { return greyOf((n * 7) % 4096); });
    EXPECT_EQ(labelVoxels(*pgm, table.data()), labels);

    const std::string snap = testfiles::readFile(tmp / "dir map.label.txt");
    EXPECT_EQ(snap.rfind("################################################\n"
                         "# ITK-SnAP Label Description File\n",
                         0),
              0u);
    EXPECT_NE(snap.find("\n    0     0    0    0        0  0  0    \"Clear Label\"\n"),
              std::string::npos);
    // Colours as the views show them, their low byte; the quotes of a name
    // cannot end its label early; a label is never empty (ITK-SNAP stops there).
    EXPECT_NE(snap.find("\n    2    44  128  252        1  1  1    \"Grey 'matter'\"\n"),
              std::string::npos)
        << snap;
    EXPECT_NE(snap.find("\n    4     1    2    3        1  1  1    \"Region3\"\n"),
              std::string::npos)
        << snap;
    EXPECT_NE(snap.find("\n   17     0    0    0        1  1  1    \"Unused\"\n"),
              std::string::npos);

    const std::string ctbl = testfiles::readFile(tmp / "dir map.ctbl");
    EXPECT_NE(ctbl.find("\n0 Clear_Label 0 0 0 0\n1 Fluid 0 0 255 255\n2 Grey_\"matter\" 44 128 "
                        "252 255\n3 White 250 250 250 255\n4 Region3 1 2 3 255\n"),
              std::string::npos)
        << ctbl;
    int entries = 0;
    for (std::size_t at = 0; (at = ctbl.find('\n', at)) != std::string::npos; ++at)
        entries += at + 1 < ctbl.size() && ctbl[at + 1] != '#';
    EXPECT_EQ(entries, kRegionCount + 1); // Clear_Label and one line per region
}

TEST(LabelMap, AFailedExportReplacesNothingAndLeavesNoTemporaryFile)
{
    testfiles::TempDir tmp;
    auto stack = teststacks::greyStack(1, [](std::size_t) { return 0; });
    const auto table = tissueTable();

    testfiles::writeFile(tmp / "old.nii.gz", "old map");
    fs::create_directory(tmp / "old.label.txt");
    EXPECT_THROW(writeLabelMap(tmp / "old", *stack, table.data()), std::runtime_error);
    EXPECT_EQ(testfiles::readFile(tmp / "old.nii.gz"), "old map");

    EXPECT_THROW(writeLabelMap(tmp / "missing/map", *stack, table.data()), std::runtime_error);
    EXPECT_THROW(writeLabelMap(tmp / "empty", SliceStack(), table.data()), std::runtime_error);
    EXPECT_EQ(testfiles::fileNames(tmp.path()),
              (std::vector<std::string>{"old.label.txt", "old.nii.gz"}));

    // Over existing files, a complete export replaces all three.
    fs::remove(tmp / "old.label.txt");
    writeLabelMap(tmp / "old", *stack, table.data());
    EXPECT_TRUE(readWithNifticlib(tmp / "old.nii.gz"));
    EXPECT_EQ(testfiles::fileNames(tmp.path()),
              (std::vector<std::string>{"old.ctbl", "old.label.txt", "old.nii.gz"}));
}
