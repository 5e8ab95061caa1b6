// How header records become series: grouping, order, spacing and geometry,
// fed records in memory (no files, no reader).
#include "core/dicom/DicomSeries.h"

#include "DicomFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace lumidra;
using dicomfiles::slice;

namespace {

std::vector<double> heights(const DicomSeries& series)
{
    std::vector<double> z;
    for (const DicomSlice& s : series.slices)
        z.push_back(s.position[2]);
    return z;
}

// Slices at the given heights, named and numbered against their order.
std::vector<DicomImage> stack(const std::vector<double>& zs, const std::string& uid = "1.2")
{
    std::vector<DicomImage> images;
    for (const double z : zs)
        images.push_back(slice(uid, z));
    return images;
}

} // namespace

TEST(DicomSeriesTest, SlicesAreOrderedByPositionAlongTheNormalWhateverTheirFileOrder)
{
    std::vector<DicomImage> images = stack({0, 2.5, 5, 7.5, 10, 12.5});
    std::shuffle(images.begin(), images.end(), std::mt19937(7));
    const std::vector<DicomSeries> all = groupDicomSeries(images);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(heights(all[0]), (std::vector<double>{0, 2.5, 5, 7.5, 10, 12.5}));
    EXPECT_DOUBLE_EQ(all[0].spacing, 2.5);
    EXPECT_TRUE(all[0].problem.empty()) << all[0].problem;
    EXPECT_TRUE(all[0].warning.empty()) << all[0].warning;

    // Turned upside down (normal toward the feet): ordered along that normal.
    for (DicomImage& image : images)
        image.orientation = std::array<double, 6>{1, 0, 0, 0, -1, 0};
    const std::vector<DicomSeries> flipped = groupDicomSeries(images);
    EXPECT_EQ(heights(flipped[0]), (std::vector<double>{12.5, 10, 7.5, 5, 2.5, 0}));
}

TEST(DicomSeriesTest, SpacingIsTheMedianStepAndUnevenStepsWarnOrRefuse)
{
    // Within 1 %: taken as even.
    EXPECT_TRUE(groupDicomSeries(stack({0, 2, 4.01, 6, 8}))[0].warning.empty());

    // Within 5 %: opens, with a warning that names the step.
    const DicomSeries uneven = groupDicomSeries(stack({0, 2, 4.08, 6, 8}))[0];
    EXPECT_TRUE(uneven.problem.empty());
    EXPECT_NE(uneven.warning.find("2.080 mm"), std::string::npos) << uneven.warning;

    // A missing slice: refused, naming the step and the positions around it.
    const DicomSeries gap = groupDicomSeries(stack({0, 2, 4, 8, 10, 12}))[0];
    EXPECT_NE(gap.problem.find("4.000 mm between slices at (-10.00, -20.00, 4.00) and "
                               "(-10.00, -20.00, 8.00) where the series steps 2.000 mm"),
              std::string::npos)
        << gap.problem;

    // Two slices in one place: refused, naming both files.
    const DicomSeries twice = groupDicomSeries(stack({0, 2, 2, 4}))[0];
    EXPECT_NE(twice.problem.find("two slices lie at one position"), std::string::npos);
    EXPECT_NE(twice.problem.find("'1.2-2."), std::string::npos) << twice.problem;

    // One slice: no spacing is made up.
    EXPECT_EQ(groupDicomSeries(stack({3}))[0].spacing, 0.0);
}

TEST(DicomSeriesTest, OneSeriesSplitsByOrientationSizeAndRepeatedAcquisitions)
{
    // A localizer: three planes in one series.
    std::vector<DicomImage> images = stack({0});
    images.push_back(slice("1.2", 0));
    images.back().orientation = std::array<double, 6>{0, 1, 0, 0, 0, -1};
    images.push_back(slice("1.2", 0));
    images.back().orientation = std::array<double, 6>{1, 0, 0, 0, 0, -1};
    EXPECT_EQ(groupDicomSeries(images).size(), 3u);

    // Cosines that differ below 1e-3 are one orientation.
    std::vector<DicomImage> close = stack({0, 1, 2});
    (*close[1].orientation)[0] = 0.99999;
    EXPECT_EQ(groupDicomSeries(close).size(), 1u);

    // Two image sizes.
    std::vector<DicomImage> sizes = stack({0, 1});
    sizes.push_back(slice("1.2", 2, 8, 8));
    EXPECT_EQ(groupDicomSeries(sizes).size(), 2u);

    // Repeated positions from two acquisitions: one volume each.
    std::vector<DicomImage> twice = stack({0, 1, 2});
    for (DicomImage& image : stack({0, 1, 2})) {
        image.acquisition = 2;
        twice.push_back(image);
    }
    const std::vector<DicomSeries> parts = groupDicomSeries(twice);
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_TRUE(parts[0].problem.empty() && parts[1].problem.empty());
    EXPECT_EQ(parts[0].tag, "1.1");
    EXPECT_EQ(parts[1].tag, "1.2");

    // Different acquisitions without repeated positions stay one volume.
    std::vector<DicomImage> dynamic = stack({0, 1, 2});
    dynamic[2].acquisition = 3;
    EXPECT_EQ(groupDicomSeries(dynamic).size(), 1u);
}

TEST(DicomSeriesTest, SeriesComeInNumberOrderAndWhatCannotBeReadSaysWhy)
{
    std::vector<DicomImage> images = stack({0, 1}, "b");
    for (DicomImage& image : images)
        image.seriesNumber = 7;
    DicomImage mosaic = slice("a", 0);
    mosaic.seriesNumber = 3;
    mosaic.imageType = "ORIGINAL\\PRIMARY\\M\\ND\\MOSAIC";
    mosaic.mosaicTiles = 36;
    images.push_back(mosaic);
    DicomImage colour = slice("c", 0);
    colour.seriesNumber = 9;
    colour.photometric = "RGB";
    colour.samples = 3;
    images.push_back(colour);
    DicomImage frames = slice("d", 0);
    frames.seriesNumber = 11;
    frames.frames = 4;
    images.push_back(frames);

    const std::vector<DicomSeries> all = groupDicomSeries(images);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0].tag, "3");
    EXPECT_NE(all[0].problem.find("mosaic (36 slices"), std::string::npos) << all[0].problem;
    EXPECT_NE(all[0].problem.find("convert it to NIfTI"), std::string::npos);
    EXPECT_EQ(all[1].tag, "7");
    EXPECT_TRUE(all[1].problem.empty());
    EXPECT_NE(all[2].problem.find("colour image (RGB)"), std::string::npos);
    EXPECT_NE(all[3].problem.find("4 frames without a position"), std::string::npos);

    // With a position per frame, each frame is a slice in order.
    images.back().framePositions = {{-10, -20, 3}, {-10, -20, 1}, {-10, -20, 2}, {-10, -20, 0}};
    const DicomSeries multi = groupDicomSeries({images.back()})[0];
    EXPECT_TRUE(multi.problem.empty()) << multi.problem;
    EXPECT_EQ(heights(multi), (std::vector<double>{0, 1, 2, 3}));
    EXPECT_EQ(multi.slices[0].frame, 3);
}

TEST(DicomSeriesTest, GeometryIsDicomsLpsTurnedToRas)
{
    const DicomSeries axial = groupDicomSeries(stack({12, 9, 6}))[0];
    const DicomGeometry g = dicomGeometry(axial);
    // Pixel spacing is between rows, then between columns: i steps 0.75 mm, j 0.5 mm.
    EXPECT_EQ(g.voxelMm, (std::array<double, 3>{0.75, 0.5, 3.0}));
    const std::array<std::array<double, 4>, 3> expected = {{
        {-0.75, 0, 0, 10},
        {0, -0.5, 0, 20},
        {0, 0, 3, 6},
    }};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(g.toMm[r][c], expected[r][c], 1e-12) << r << "," << c;

    // A tilted gantry: slices shift in-plane as they go; the affine follows
    // the positions, and the voxel's depth is the step along the normal.
    std::vector<DicomImage> tilted = stack({0, 2, 4});
    for (std::size_t k = 0; k < tilted.size(); ++k)
        (*tilted[k].position)[1] += 0.5 * static_cast<double>(k);
    const DicomGeometry t = dicomGeometry(groupDicomSeries(tilted)[0]);
    EXPECT_DOUBLE_EQ(t.voxelMm[2], 2.0);
    EXPECT_DOUBLE_EQ(t.toMm[1][2], -0.5);
    EXPECT_DOUBLE_EQ(t.toMm[2][2], 2.0);
}

TEST(DicomRecordTest, AnswersParseAndDamagedOnesAreRefusedOrLeftUnknown)
{
    const std::optional<ScanAnswer> image = parseScanAnswer(
        "I\t4\tuid=1.2.3\tnumber=+5 \trows=2\tcolumns=3\tframes=\tbits=16\tsigned=1\t"
        "orientation=1\\0\\0\\0\\1\\0\tposition=-1.5\\2\\3e1\tspacing=0.5\\0.25\t"
        "slope=2\tintercept=-1024\tframepositions=0\\0\\1;0\\0\\2\tunknownkey=x");
    ASSERT_TRUE(image);
    EXPECT_EQ(image->file, 4u);
    EXPECT_EQ(image->image.seriesUid, "1.2.3");
    EXPECT_EQ(image->image.seriesNumber, 5);
    EXPECT_EQ(image->image.frames, 1);
    EXPECT_TRUE(image->image.isSigned);
    EXPECT_EQ(*image->image.position, (Vec3{-1.5, 2, 30}));
    EXPECT_EQ(image->image.framePositions.size(), 2u);
    EXPECT_EQ(image->image.intercept, -1024);

    const std::optional<ScanAnswer> skipped = parseScanAnswer("S\t0\tnot a DICOM file");
    ASSERT_TRUE(skipped);
    EXPECT_EQ(skipped->kind, ScanAnswer::Kind::Skipped);
    EXPECT_EQ(skipped->reason, "not a DICOM file");

    for (const char* damaged : {"", "I", "I\t", "I\tx\tuid=1", "I\t-1\t", "Q\t0\t",
                                "I\t1\tnoequals", "I\t99999999999999999999999\t"})
        EXPECT_FALSE(parseScanAnswer(damaged)) << damaged;

    // Values that are not what they should be are unknown, not guessed.
    const ScanAnswer odd =
        *parseScanAnswer("I\t0\torientation=1\\0\\0\\0\\1\tposition=1\\2\\x\trows=-3\t"
                         "spacing=nan\\1\tslope=inf\tframepositions=1\\2\\3;4");
    EXPECT_FALSE(odd.image.orientation);
    EXPECT_FALSE(odd.image.position);
    EXPECT_FALSE(odd.image.pixelSpacing);
    EXPECT_EQ(odd.image.rows, 0);
    EXPECT_EQ(odd.image.slope, 1.0);
    EXPECT_TRUE(odd.image.framePositions.empty());
}
