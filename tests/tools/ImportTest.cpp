#include "ImportTestSupport.h"

#include "core/slices/SliceLoader.h"
#include "core/volume/VolumeReader.h"
#include "SliceFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <map>

using namespace lumidra;

namespace fs = std::filesystem;
using namespace importtest;

namespace {

using Positions = std::vector<std::pair<int, int>>;

// A slice of zeros with the given samples at file positions (column, row).
std::vector<std::uint32_t> sliceWith(const std::map<std::pair<int, int>, std::uint32_t>& marks)
{
    std::vector<std::uint32_t> samples(kSliceSamples, 0);
    for (const auto& [position, value] : marks)
        samples[position.second * kSliceSide + position.first] = value;
    return samples;
}

std::string rawBytes(const std::vector<std::uint32_t>& samples)
{
    std::string bytes;
    for (const std::uint32_t s : samples) {
        bytes += static_cast<char>(s >> 8);
        bytes += static_cast<char>(s & 0xff);
    }
    return bytes;
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

TEST(Import, WritesOneSliceFilePerPlaneNumberedFromZero)
{
    TempDir tmp;
    auto volume = makeVolume(DT_UINT8, 3, 2, 3);
    for (std::size_t n = 0; n < 18; ++n)
        setVoxel(*volume, n, static_cast<double>(n));
    saveVolume(*volume, tmp / "v.nii.gz");
    saveVolume(*volume, tmp / "v.nii");

    const RunResult raw = runImporter({tmp / "v.nii.gz", tmp / "a/b/raw"});
    ASSERT_EQ(raw.exitCode, 0) << raw.output;
    EXPECT_EQ(fileNames(tmp / "a/b/raw"),
              (std::vector<std::string>{"slice000", "slice001", "slice002"}));
    for (const std::string& name : fileNames(tmp / "a/b/raw"))
        EXPECT_FALSE(shownNonZero(loadRawSlice(tmp / ("a/b/raw/" + name))).empty()) << name;

    const RunResult pgm = runImporter({"--pgm", tmp / "v.nii", tmp / "pgm/"});
    ASSERT_EQ(pgm.exitCode, 0) << pgm.output;
    EXPECT_EQ(fileNames(tmp / "pgm"),
              (std::vector<std::string>{"slice000.pgm", "slice001.pgm", "slice002.pgm"}));
    const std::string text = readFile(tmp / "pgm/slice002.pgm");
    EXPECT_EQ(text.rfind("P2\n256 256\n255\n", 0), 0u);
    EXPECT_EQ(shownNonZero(loadPgmSlice(tmp / "pgm/slice002.pgm")).size(), 6u);
}

// A 3 x 1 plane lands in file columns 126..128 of row 127 (centred, i to the right).
TEST(Import, SamplesSpanTheValueRangeByteExact)
{
    TempDir tmp;
    auto volume = makeVolume(DT_INT16, 3, 1, 1);
    setVoxel(*volume, 0, -100);
    setVoxel(*volume, 1, 0);
    setVoxel(*volume, 2, 300);
    saveVolume(*volume, tmp / "v.nii");

    ASSERT_EQ(runImporter({tmp / "v.nii", tmp / "raw"}).exitCode, 0);
    const auto rawExpected = sliceWith({{{126, 127}, 0}, {{127, 127}, 1024}, {{128, 127}, 4095}});
    EXPECT_EQ(readFile(tmp / "raw/slice000"), rawBytes(rawExpected));

    ASSERT_EQ(runImporter({"--pgm", tmp / "v.nii", tmp / "pgm"}).exitCode, 0);
    const auto pgmExpected = sliceWith({{{127, 127}, 64 * 16}, {{128, 127}, 255 * 16}});
    EXPECT_EQ(loadPgmSlice(tmp / "pgm/slice000.pgm"), pgmExpected);
}

TEST(Import, FloatValuesAreScaledAndNonFiniteOnesWrittenAsZero)
{
    TempDir tmp;
    const double inf = std::numeric_limits<double>::infinity();
    auto volume = makeVolume(DT_FLOAT32, 6, 1, 1);
    const double values[] = {1.5, 2.5, 3.5, std::nan(""), inf, -inf};
    for (std::size_t n = 0; n < 6; ++n)
        setVoxel(*volume, n, values[n]);
    // A negative slope turns the order round: without it 1.5 would map to 0.
    volume->scl_slope = -2.0f;
    volume->scl_inter = 10.0f;
    saveVolume(*volume, tmp / "f.nii.gz");
    const RunResult result = runImporter({tmp / "f.nii.gz", tmp / "out"});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_TRUE(contains(result.output, "NaN")) << result.output;
    EXPECT_EQ(loadRawSlice(tmp / "out/slice000"),
              sliceWith({{{125, 127}, 4095}, {{126, 127}, 2048}}));

    auto constant = makeVolume(DT_UINT8, 4, 4, 2);
    for (std::size_t n = 0; n < 32; ++n)
        setVoxel(*constant, n, 77);
    saveVolume(*constant, tmp / "c.nii");
    ASSERT_EQ(runImporter({tmp / "c.nii", tmp / "constant"}).exitCode, 0);
    EXPECT_EQ(loadRawSlice(tmp / "constant/slice001"), sliceWith({}));
}

// Odd sizes, so that a centring rounded the wrong way shows. A 1-voxel-high
// plane lands on file row 127. Whole ranges (minmax): the few bright voxels
// would otherwise lie past the 99.5th percentile.
TEST(Import, PlanesArePaddedCroppedOrReducedAroundTheCentre)
{
    TempDir tmp;
    // 255 wide: padded, columns 0..254, the odd column of padding at the end.
    auto narrow = makeVolume(DT_UINT8, 255, 1, 1);
    setVoxel(*narrow, 0, 255);
    setVoxel(*narrow, 254, 128);
    saveVolume(*narrow, tmp / "narrow.nii");
    ASSERT_EQ(runImporter({"--window", "minmax", tmp / "narrow.nii", tmp / "narrow"}).exitCode, 0);
    EXPECT_EQ(loadRawSlice(tmp / "narrow/slice000"),
              sliceWith({{{0, 127}, 4095}, {{254, 127}, 2056}}));

    // 301 wide with --crop: 22 columns cut on the left, 23 on the right.
    auto wide = makeVolume(DT_UINT16, 301, 1, 1);
    setVoxel(*wide, 21, 2);
    setVoxel(*wide, 22, 1);
    setVoxel(*wide, 277, 2);
    setVoxel(*wide, 278, 2);
    saveVolume(*wide, tmp / "wide.nii");
    RunResult result =
        runImporter({"--crop", "--window", "minmax", tmp / "wide.nii", tmp / "cropped"});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_TRUE(contains(result.output, "centre-cropped")) << result.output;
    EXPECT_EQ(loadRawSlice(tmp / "cropped/slice000"),
              sliceWith({{{0, 127}, 2048}, {{255, 127}, 4095}}));

    // 514 x 3 by default: reduced by 3 to 172 x 1 at columns 42..213, each
    // pixel the rounded mean of its block's samples; the last block holds
    // only the 3 voxels of column 513.
    auto large = makeVolume(DT_UINT8, 514, 3, 1);
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            setVoxel(*large, i + 514 * j, i + j == 0 ? 0 : 255); // 8 of 9 at 4095: 3640
    setVoxel(*large, 255, 128);                                  // block 85: 2 x 2056 / 9
    setVoxel(*large, 256 + 514, 128);
    setVoxel(*large, 513, 255); // block 171: (4095 + 4095 + 0) / 3
    setVoxel(*large, 513 + 514, 255);
    saveVolume(*large, tmp / "large.nii");
    result = runImporter({"--window", "minmax", tmp / "large.nii", tmp / "fitted"});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_TRUE(contains(result.output, "reduced by 3 to 172 x 1")) << result.output;
    EXPECT_EQ(loadRawSlice(tmp / "fitted/slice000"),
              sliceWith({{{42, 127}, 3640}, {{127, 127}, 457}, {{213, 127}, 2730}}));
}

// One marked voxel at i = 0, j = 0, k = 1 of a 4 x 3 x 2 volume must show where its
// anatomical position belongs: anterior (or superior) at the top of the picture,
// the patient's left on the viewer's right, slices from inferior (posterior) up.
TEST(Import, MarkedVoxelShowsWhereItsAnatomyBelongs)
{
    struct Case {
        const char* name;
        int axes[3][3]; // sform rows: world x, y, z over voxel axes i, j, k
        const char* slice;
        std::pair<int, int> shown; // picture column from the left, row from the top
    };
    // The 4 x 3 block covers picture columns 126..129 and rows 126..128.
    const Case cases[] = {
        {"i L2R, j P2A, k I2S: left posterior",
         {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
         "slice001",
         {129, 128}},
        {"i R2L, j A2P, k S2I: right anterior, lower plane",
         {{-1, 0, 0}, {0, -1, 0}, {0, 0, -1}},
         "slice000",
         {126, 126}},
        {"i P2A, j L2R: in-plane axes swapped, 3 wide and 4 high",
         {{0, 1, 0}, {1, 0, 0}, {0, 0, 1}},
         "slice001",
         {129, 129}},
        {"coronal: i L2R, j I2S, k P2A", {{1, 0, 0}, {0, 0, 1}, {0, 1, 0}}, "slice001", {129, 128}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir tmp;
        auto volume = makeVolume(DT_UINT8, 4, 3, 2);
        setAxes(*volume, c.axes);
        setVoxel(*volume, 12, 200);
        saveVolume(*volume, tmp / "m.nii");
        const RunResult result = runImporter({tmp / "m.nii", tmp / "out"});
        ASSERT_EQ(result.exitCode, 0) << result.output;
        const bool coronal = std::string(c.name).rfind("coronal", 0) == 0;
        EXPECT_EQ(contains(result.output, "not inferior-superior"), coronal) << result.output;
        for (const char* name : {"slice000", "slice001"}) {
            const Positions shown = shownNonZero(loadRawSlice(tmp.path() / "out" / name));
            EXPECT_EQ(shown, std::string(name) == c.slice ? Positions{c.shown} : Positions{})
                << name;
        }
        // The window opens the volume as these very slices.
        const SharedSliceStack opened = openVolume(tmp / "m.nii");
        for (int z = 0; z < 2; ++z) {
            const auto slice = loadRawSlice(tmp.path() / "out" / slicefiles::sliceName(z, ""));
            EXPECT_TRUE(std::equal(slice.begin(), slice.end(), opened->sampleSlice(z))) << z;
        }
    }
}

TEST(Import, RefusesWhatItCannotImportAndLeavesOutputAlone)
{
    TempDir tmp;
    std::ofstream(tmp / "text.nii") << "not a volume\n";
    std::ofstream(tmp / "file") << "a regular file\n";
    saveVolume(*makeVolume(DT_INT16, 4, 4, 2, 2), tmp / "4d.nii.gz");
    saveVolume(*makeVolume(DT_UINT8, 4, 4, 2), tmp / "ok.nii");
    fs::create_directory(tmp / "full");
    std::ofstream(tmp / "full/slice000.pgm") << "old";

    const struct {
        std::vector<std::string> args;
        const char* message;
        std::string untouched; // a path that must not exist afterwards
    } refusals[] = {
        {{tmp / "missing.nii", tmp / "o1"}, "no such file", tmp / "o1"},
        {{tmp / "text.nii", tmp / "o2"}, "not a NIfTI", tmp / "o2"},
        {{tmp / "4d.nii.gz", tmp / "o3"}, "2 volumes", tmp / "o3"},
        {{tmp / "ok.nii", tmp / "file/sub"}, "cannot create the output directory", ""},
        {{tmp / "ok.nii", tmp / "full/"}, "--replace", tmp / "full/slice000"},
        {{tmp / "ok.nii"}, "usage", ""},
    };
    for (const auto& r : refusals) {
        const RunResult result = runImporter(r.args);
        EXPECT_NE(result.exitCode, 0) << r.message;
        EXPECT_TRUE(contains(result.output, r.message)) << result.output;
        if (!r.untouched.empty()) {
            EXPECT_FALSE(fs::exists(r.untouched)) << r.untouched;
        }
    }
    EXPECT_EQ(readFile(tmp / "full/slice000.pgm"), "old");
}

TEST(Import, ReplaceLeavesNoStaleSliceOfEitherKind)
{
    TempDir tmp;
    saveVolume(*makeVolume(DT_UINT8, 4, 4, 4), tmp / "four.nii");
    saveVolume(*makeVolume(DT_UINT8, 4, 4, 2), tmp / "two.nii");
    ASSERT_EQ(runImporter({"--pgm", tmp / "four.nii", tmp / "out"}).exitCode, 0);
    std::ofstream(tmp / "out/slice010") << "stray raw slice";
    std::ofstream(tmp / "out/colornfo.txt") << "regions";

    const RunResult result = runImporter({"--replace", tmp / "two.nii", tmp / "out"});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(fileNames(tmp / "out"),
              (std::vector<std::string>{"colornfo.txt", "slice000", "slice001"}));
}
