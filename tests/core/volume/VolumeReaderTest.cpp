// The volume reader on volumes written by nifticlib: where each pixel comes
// from, the geometry kept, the two intensity paths, and a hostile corpus.
#include "core/volume/NiftiFile.h"
#include "core/volume/VolumeError.h"
#include "core/volume/VolumeReader.h"
#include "core/volume/VolumeSource.h"

#include "core/slices/SliceLoader.h"

#include "FifoGuard.h"
#include "NiftiFiles.h"
#include "Scans.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

using namespace lumidra;
using namespace niftifiles;

namespace {

// Every voxel (or, in a reduced plane, every block) gets its own value, so a
// pixel taken from the wrong voxel shows.
SharedSliceStack readBack(nifti_image& nim, const testfiles::TempDir& tmp)
{
    saveVolume(nim, tmp / "v.nii.gz");
    return openVolume(tmp / "v.nii.gz");
}

std::string expectRefused(const std::string& path)
{
    try {
        readVolume(path);
    } catch (const VolumeError& e) {
        return e.what();
    }
    ADD_FAILURE() << path << " was read";
    return {};
}

} // namespace

TEST(VolumeReader, EveryPixelShowsTheVoxelItMapsBackTo)
{
    struct Case {
        const char* name;
        int axes[3][3];
        int nx, ny, nz, block; // block: voxels of a reduced pixel along each axis
        int factor;
    };
    const Case cases[] = {
        {"identity", {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, 20, 15, 3, 1, 1},
        {"every axis reversed", {{-1, 0, 0}, {0, -1, 0}, {0, 0, -1}}, 20, 15, 3, 1, 1},
        {"in-plane axes swapped", {{0, 1, 0}, {1, 0, 0}, {0, 0, 1}}, 20, 15, 3, 1, 1},
        {"coronal", {{1, 0, 0}, {0, 0, 1}, {0, 1, 0}}, 20, 15, 3, 1, 1},
        {"reduced by 3, odd edge blocks", {{-1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, 601, 20, 2, 3, 3},
        {"reduced by 2, swapped", {{0, -1, 0}, {1, 0, 0}, {0, 0, -1}}, 9, 300, 2, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testfiles::TempDir tmp;
        auto nim = makeVolume(DT_UINT16, c.nx, c.ny, c.nz);
        setAxes(*nim, c.axes);
        const int bx = (c.nx + c.block - 1) / c.block;
        const int by = (c.ny + c.block - 1) / c.block;
        for (int k = 0; k < c.nz; ++k)
            for (int j = 0; j < c.ny; ++j)
                for (int i = 0; i < c.nx; ++i)
                    setVoxel(*nim, i + c.nx * (j + c.ny * static_cast<std::size_t>(k)),
                             1 + i / c.block + bx * (j / c.block + by * k));
        const SharedSliceStack stack = readBack(*nim, tmp);
        const VolumeSource* source = stack->source();
        ASSERT_NE(source, nullptr);
        ASSERT_EQ(stack->count(), c.nz);
        EXPECT_EQ(source->fitFactor, c.factor);

        int shown = 0;
        for (int z = 0; z < c.nz; ++z) {
            for (int p = 0; p < kSliceSamples; ++p) {
                const std::uint16_t sample = stack->sampleSlice(z)[p];
                ASSERT_EQ(stack->greySlice(z)[p], greyOf(sample));
                const std::optional<VoxelIndex> v = source->voxelAt(z, p);
                if (!v) {
                    ASSERT_EQ(sample, 0) << "padding at pixel " << p;
                    continue;
                }
                ++shown;
                const std::uint16_t expected = source->sampleAt(source->indexOf(*v));
                ASSERT_EQ(sample, expected) << "slice " << z << " pixel " << p;
            }
        }
        EXPECT_EQ(shown, bx * by * c.nz) << "each block shown once per slice";
    }

    // The voxel a reduced pixel stands for is the one nearest its block's
    // centre; an edge block of one column stands for that column.
    testfiles::TempDir tmp;
    auto nim = makeVolume(DT_UINT8, 601, 3, 1);
    setVoxel(*nim, 0, 1);
    const SharedSliceStack stack = readBack(*nim, tmp);
    const VolumeSource& source = *stack->source();
    // 601 wide, reduced by 3: 201 columns at 27..227 on row 127.
    EXPECT_EQ(source.pixelVoxel[gridIndex(27, 127, 0, kSliceSide, kSliceSide)], 1 + 601 * 1);
    EXPECT_EQ(source.pixelVoxel[gridIndex(227, 127, 0, kSliceSide, kSliceSide)], 600 + 601 * 1);
    EXPECT_EQ(source.pixelVoxel[gridIndex(228, 127, 0, kSliceSide, kSliceSide)], -1);
}

TEST(VolumeReader, GeometryComesFromTheSformThenTheQformThenTheVoxelSize)
{
    testfiles::TempDir tmp;
    auto nim = makeVolume(DT_INT16, 4, 5, 6);
    nim->dx = nim->pixdim[1] = 0.5f;
    nim->dy = nim->pixdim[2] = 0.75f;
    nim->dz = nim->pixdim[3] = 2.0f;
    setAxes(*nim, {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}});
    nim->sto_xyz.m[0][3] = -30.0f;
    nim->sto_xyz.m[2][3] = 12.5f;
    nim->qform_code = NIFTI_XFORM_ALIGNED_ANAT;
    nim->quatern_b = 0.0f;
    nim->quatern_c = 0.0f;
    nim->quatern_d = 1.0f; // 180 degrees about z
    nim->qoffset_x = 5.0f;
    nim->qfac = -1.0f;
    saveVolume(*nim, tmp / "both.nii");

    const LoadedVolume both = readVolume(tmp / "both.nii");
    const VolumeSource& s = *both.source;
    EXPECT_EQ(s.voxelMm(), (std::array<double, 3>{0.5, 0.75, 2.0}));
    EXPECT_EQ(s.toMm()[0], (std::array<double, 4>{0, -1, 0, -30}));
    EXPECT_EQ(s.toMm()[2], (std::array<double, 4>{0, 0, 1, 12.5}));
    EXPECT_NEAR(*s.voxelMl(), 0.75e-3, 1e-12);
    EXPECT_EQ(s.header().sformCode, NIFTI_XFORM_SCANNER_ANAT);
    EXPECT_EQ(s.header().qformCode, NIFTI_XFORM_ALIGNED_ANAT);
    EXPECT_EQ(s.header().quaternD, 1.0f);
    EXPECT_EQ(s.header().qoffsetX, 5.0f);
    EXPECT_EQ(s.header().pixdim[0], -1.0f);
    EXPECT_EQ(s.header().srowX, (std::array<float, 4>{0, -1, 0, -30}));
    // j runs toward the patient's left here, so slice columns take j reversed
    // and a stack pixel is 0.75 mm wide.
    EXPECT_EQ(s.slicePixelMm, (std::array<double, 3>{0.75, 0.5, 2.0}));

    nim->sform_code = NIFTI_XFORM_UNKNOWN;
    saveVolume(*nim, tmp / "qform.nii");
    const LoadedVolume qform = readVolume(tmp / "qform.nii");
    const VolumeSource& q = *qform.source;
    // Rotated 180 degrees about z, k mirrored by qfac: x = -0.5 i + 5, y = -0.75 j, z = -2 k.
    EXPECT_NEAR(q.toMm()[0][0], -0.5, 1e-6);
    EXPECT_NEAR(q.toMm()[0][3], 5.0, 1e-6);
    EXPECT_NEAR(q.toMm()[1][1], -0.75, 1e-6);
    EXPECT_NEAR(q.toMm()[2][2], -2.0, 1e-6);
    EXPECT_EQ(q.positionMm({1, 2, 3}), (std::array<double, 3>{4.5, -1.5, -6.0}));

    nim->qform_code = NIFTI_XFORM_UNKNOWN;
    saveVolume(*nim, tmp / "none.nii");
    const LoadedVolume none = readVolume(tmp / "none.nii");
    const VolumeSource& n = *none.source;
    EXPECT_EQ(n.positionMm({1, 2, 3}), (std::array<double, 3>{0.5, 1.5, 6.0}));
}

// The same 2 mm voxels stored in micrometres, metres, millimetres or no
// units, and with pixdims of either sign: the same millilitres and positions.
TEST(VolumeReader, VoxelSizesAndPositionsAreMillimetresWhateverTheUnitsOrSign)
{
    testfiles::TempDir tmp;
    const std::pair<int, float> units[] = {{NIFTI_UNITS_MICRON, 1000.0f},
                                           {NIFTI_UNITS_METER, 0.001f},
                                           {NIFTI_UNITS_MM, 1.0f},
                                           {NIFTI_UNITS_UNKNOWN, 1.0f}};
    for (const auto& [code, perMm] : units) {
        SCOPED_TRACE(code);
        auto nim = makeVolume(DT_UINT8, 4, 3, 2);
        nim->xyz_units = code;
        nim->dx = nim->pixdim[1] = 2 * perMm;
        nim->dy = nim->pixdim[2] = 2 * perMm;
        nim->dz = nim->pixdim[3] = 2 * perMm;
        setAxes(*nim, {{2, 0, 0}, {0, 2, 0}, {0, 0, 2}});
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c)
                nim->sto_xyz.m[r][c] *= perMm;
            nim->sto_xyz.m[r][3] = -20 * perMm;
        }
        saveVolume(*nim, tmp / "units.nii");
        const LoadedVolume v = readVolume(tmp / "units.nii");
        for (int a = 0; a < 3; ++a)
            EXPECT_NEAR(v.source->voxelMm()[a], 2.0, 1e-6);
        EXPECT_NEAR(*v.source->voxelMl(), 0.008, 1e-8);
        const std::array<double, 3> mm = v.source->positionMm({3, 2, 1});
        EXPECT_NEAR(mm[0], -14.0, 1e-4);
        EXPECT_NEAR(mm[2], -18.0, 1e-4);
        EXPECT_EQ(v.source->header().xyztUnits, code) << "a region map repeats the header";
    }

    // Negative pixdims, placed by the qform alone: their magnitudes are the size.
    auto nim = makeVolume(DT_UINT8, 4, 3, 2);
    nim->dx = nim->pixdim[1] = -2.0f;
    nim->dy = nim->pixdim[2] = 2.0f;
    nim->dz = nim->pixdim[3] = -2.5f;
    nim->sform_code = NIFTI_XFORM_UNKNOWN;
    nim->qform_code = NIFTI_XFORM_SCANNER_ANAT;
    saveVolume(*nim, tmp / "negative.nii");
    const LoadedVolume v = readVolume(tmp / "negative.nii");
    EXPECT_EQ(v.source->voxelMm(), (std::array<double, 3>{2.0, 2.0, 2.5}));
    EXPECT_DOUBLE_EQ(*v.source->voxelMl(), 0.01);
    EXPECT_EQ(v.source->positionMm({1, 1, 1}), (std::array<double, 3>{2.0, 2.0, 2.5}));
}

// A thin volume's stack is as large as an image directory of as many slices,
// and gets the same check before it is made.
TEST(VolumeReader, AStackTooLargeForTheMemoryAvailableIsRefused)
{
    const LoadedVolume thin =
        loadScan(scans::makeScan(4, 4, 300, std::vector<std::uint8_t>(4 * 4 * 300, 9)));
    try {
        volumeStack(thin.source, 2, 300 * kBytesPerLoadedSlice - 1);
        ADD_FAILURE() << "the stack was made";
    } catch (const VolumeError& e) {
        EXPECT_STREQ(e.what(), "not enough memory for 300 slices");
    }
    EXPECT_EQ(volumeStack(thin.source, 2, 300 * kBytesPerLoadedSlice)->count(), 300);
}

// Another window re-reads nothing: the new stack shares the voxels and is
// the stack opening the file through that window gives.
TEST(VolumeReader, RewindowSharesTheVoxelsAndMatchesOpeningThroughThatWindow)
{
    testfiles::TempDir tmp;
    auto nim = makeVolume(DT_FLOAT32, 30, 20, 5);
    for (std::size_t n = 0; n < nim->nvox; ++n)
        setVoxel(*nim, n, std::sin(static_cast<double>(n)) * 100);
    saveVolume(*nim, tmp / "v.nii.gz");
    // Opened through minmax, its values are not ranked yet; robust ranks them then.
    const SharedSliceStack minmax = openVolume(tmp / "v.nii.gz", {WindowRule::MinMax});
    for (const WindowPolicy& policy :
         {WindowPolicy{WindowRule::Robust}, WindowPolicy{WindowRule::Fixed, -20, 20}}) {
        const SharedSliceStack other = rewindow(*minmax, policy);
        EXPECT_EQ(other->source()->sharedScan(), minmax->source()->sharedScan());
        EXPECT_TRUE(other->sameSlices(*openVolume(tmp / "v.nii.gz", policy)));
        EXPECT_FALSE(other->sameSlices(*minmax));
    }
    EXPECT_EQ(minmax->source()->window().rule, WindowRule::MinMax);
    EXPECT_THROW(rewindow(SliceStack(1), {}), VolumeError);
}

// Types of up to 16 bits go through a table of their values and are ranked
// by bit pattern, wider ones value by value: the same volume stored both
// ways must give the same window and the same samples, under every rule.
TEST(VolumeReader, TableAndValueByValueConversionsAgree)
{
    testfiles::TempDir tmp;
    struct Pair {
        int narrow;
        double lo, hi;
    };
    for (const Pair& p : {Pair{DT_INT8, -128, 127}, Pair{DT_UINT8, 0, 255},
                          Pair{DT_INT16, -32768, 32767}, Pair{DT_UINT16, 0, 65535}}) {
        SCOPED_TRACE(p.narrow);
        auto narrow = makeVolume(p.narrow, 7, 5, 3);
        auto wide = makeVolume(DT_FLOAT64, 7, 5, 3);
        for (auto* nim : {narrow.get(), wide.get()}) {
            nim->scl_slope = -0.5f; // a negative slope turns the range round
            nim->scl_inter = 3.0f;
        }
        for (std::size_t n = 0; n < 105; ++n) {
            const double v = n == 0   ? p.lo
                             : n == 1 ? p.hi
                                      : p.lo + std::fmod(n * 977.0, p.hi - p.lo);
            setVoxel(*narrow, n, v);
            setVoxel(*wide, n, v);
        }
        saveVolume(*narrow, tmp / "narrow.nii");
        saveVolume(*wide, tmp / "wide.nii");
        for (const WindowRule rule : {WindowRule::MinMax, WindowRule::Robust, WindowRule::Ct}) {
            SCOPED_TRACE(windowRuleName(rule));
            const LoadedVolume a = readVolume(tmp / "narrow.nii", {rule});
            const LoadedVolume b = readVolume(tmp / "wide.nii", {rule});
            EXPECT_EQ(a.source->window(), b.source->window());
            for (std::size_t n = 0; n < 105; ++n)
                ASSERT_EQ(a.source->sampleAt(n), b.source->sampleAt(n)) << n;
            if (rule == WindowRule::MinMax) {
                EXPECT_EQ(a.source->window().low, p.hi * -0.5 + 3.0);
                EXPECT_EQ(a.source->sampleAt(1), 0);    // the largest value, slope negative
                EXPECT_EQ(a.source->sampleAt(0), 4095); // the smallest
            }
        }
    }
}

TEST(VolumeReader, RefusesEveryHostileVolumeNamingFileAndReason)
{
    const std::string corpus = LUMIDRA_CORPUS_DIR "/nifti/";
    const std::pair<const char*, const char*> refusals[] = {
        {"nifti2.nii", "NIfTI-2"},
        {"four_volumes.nii", "3 volumes"},
        {"five_d_three_volumes.nii", "3 volumes"},
        {"complex64.nii", "COMPLEX64"},
        {"rgb24.nii", "RGB24"},
        {"unknown_datatype.nii", "unknown voxel type (9999)"},
        {"truncated.nii.gz", "truncated"},
        {"truncated_data.nii", "truncated"},
        {"header_only.nii", "truncated"},
        {"short_header.nii", "header is incomplete"},
        {"zero_dimension.nii", "empty or negative dimension"},
        {"negative_dimension.nii", "empty or negative dimension"},
        {"dimension_count_zero.nii", "invalid dimension count (0)"},
        {"dimension_count_nine.nii", "invalid dimension count (9)"},
        {"absurd_1e12_voxels.nii.gz", "claims 1000000000000 voxels"},
        {"absurd_plane_float64.nii", "truncated"},
        {"absurd_plane_uint8.nii.gz", "truncated"},
        {"vox_offset_past_end.nii", "truncated"},
        {"analyze.hdr", "ANALYZE"},
        {"analyze.img", "ANALYZE"},
        {"empty.nii", "too short"},
        {"empty.nii.gz", "too short"},
        {"garbage.nii", "not a NIfTI-1 file"},
        {"wrong_header_size.nii", "not a NIfTI-1 file"},
    };
    for (const auto& [name, reason] : refusals) {
        const std::string message = expectRefused(corpus + name);
        EXPECT_NE(message.find(reason), std::string::npos) << name << ": " << message;
        EXPECT_NE(message.find(name), std::string::npos) << name << ": " << message;
    }

    testfiles::TempDir tmp;
    std::filesystem::create_directory(tmp / "folder.nii");
    EXPECT_NE(expectRefused(tmp / "folder.nii").find("is a directory"), std::string::npos);
    {
        testfiles::FifoGuard fifo(tmp / "fifo.nii");
        EXPECT_NE(expectRefused(tmp / "fifo.nii").find("not a regular file"), std::string::npos);
        EXPECT_FALSE(fifo.readerWaited());
    }
    EXPECT_NE(expectRefused(tmp / "missing.nii").find("no such file"), std::string::npos);
    testfiles::writeFile(tmp / "scan.txt", "text");
    EXPECT_NE(expectRefused(tmp / "scan.txt").find("must end in .nii"), std::string::npos);
    if (::geteuid() != 0) { // root reads whatever the mode says
        std::filesystem::copy_file(corpus + "header_only.nii", tmp / "locked.nii");
        ::chmod((tmp / "locked.nii").c_str(), 0);
        EXPECT_NE(expectRefused(tmp / "locked.nii").find("ermission denied"), std::string::npos);
    }
}
