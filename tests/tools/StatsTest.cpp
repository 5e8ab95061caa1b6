// lumidra-stats and lumidra as programs: their output, exit statuses and
// what they leave on disk.
#include "ImportTestSupport.h"

#include "FifoGuard.h"
#include "SliceFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace importtest;

namespace {

// Region 1's name holds a comma; grey 128 falls in both 1 and Region8, 255 in Region15.
constexpr const char* kRegionFile = "#Number of Regions\n2\n#Dark\n0\n10\n0\n0\n0\n"
                                    "#Mid,grey\n100\n200\n9\n9\n9\n";

// The fields of a CSV row that quotes none.
std::vector<std::string> fields(const std::string& row)
{
    std::vector<std::string> out;
    std::stringstream in(row);
    for (std::string f; std::getline(in, f, ',');)
        out.push_back(f);
    if (!row.empty() && row.back() == ',')
        out.emplace_back();
    return out;
}

ToolRun stats(const std::vector<std::string>& args, const std::string& environment = {})
{
    return runTool(LUMIDRA_STATS_EXE, args, environment);
}

// A 4 x 3 x 2 volume of 2 x 2 x 2.5 mm voxels: 12 at 0, 6 at 128, 6 at 255.
void writeVolume(const std::string& path)
{
    auto nim = makeVolume(DT_UINT8, 4, 3, 2);
    nim->dx = nim->pixdim[1] = 2.0f;
    nim->dy = nim->pixdim[2] = 2.0f;
    nim->dz = nim->pixdim[3] = 2.5f;
    for (std::size_t n = 0; n < 24; ++n)
        setVoxel(*nim, n, n < 12 ? 0 : n < 18 ? 128 : 255);
    saveVolume(*nim, path);
}

// Two raw slices whose samples are all 100 * 16.
void writeSliceDirectory(const fs::path& dir)
{
    fs::create_directories(dir);
    for (int z = 0; z < 2; ++z)
        slicefiles::writeFile((dir / slicefiles::sliceName(z, "")).string(),
                              slicefiles::rawSlice(std::vector<std::uint16_t>(65536, 1600)));
}

class StatsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        slicefiles::writeFile(tmp / "regions.rif", kRegionFile);
        writeVolume(tmp / "a.nii.gz");
        writeVolume(tmp / "b.nii");
        writeSliceDirectory(tmp / "slices");
        fs::create_directory(tmp / "empty");
    }
    TempDir tmp;
};

} // namespace

TEST_F(StatsTest, RowsComeInInputOrderAndEachFailedInputIsOneLine)
{
    const std::vector<std::string> inputs = {tmp / "a.nii.gz", tmp / "missing.nii", tmp / "slices",
                                             tmp / "empty", tmp / "b.nii"};
    std::vector<std::string> args = {"--rif", tmp / "regions.rif", "-j", "2"};
    args.insert(args.end(), inputs.begin(), inputs.end());
    const ToolRun run = stats(args);
    EXPECT_EQ(run.exitCode, 1);
    const std::vector<std::string> errors = lines(run.err);
    ASSERT_EQ(errors.size(), 2u) << run.err;
    EXPECT_NE(errors[0].find("'" + inputs[1] + "'"), std::string::npos);
    EXPECT_NE(errors[1].find("'" + inputs[3] + "' holds no slice files"), std::string::npos);

    const std::vector<std::string> rows = lines(run.out);
    ASSERT_EQ(rows.size(), 1u + 3 * 18) << run.out;
    EXPECT_EQ(rows[0], "input,region,name,min,max,voxels,fraction,volume_ml,mean_sample,"
                       "min_value,max_value,pieces");
    // The window spans 0..255 here: grey range g..h is the values of samples
    // 16g and 16h + 15, v = 255 s / 4095 (10.897... = 255 * 175 / 4095).
    const std::string a = inputs[0];
    EXPECT_EQ(rows[1], a + ",0,Dark,0,10,12,0.500000,0.120,0.000000,0,10.897435897435898,1");
    EXPECT_EQ(rows[2], a + ",1,\"Mid,grey\",100,200,6,0.250000,0.060,2056.000000,"
                           "99.63369963369964,200.2014652014652,1");
    EXPECT_EQ(rows[3],
              a + ",2,Region2,32,47,0,0.000000,0.000,,31.882783882783883,47.76190476190476,0");
    EXPECT_EQ(rows[16],
              a + ",15,Region15,240,255,6,0.250000,0.060,4095.000000,239.12087912087912,255,1");
    EXPECT_EQ(rows[17], a + ",16,Last Region,0,255,0,0.000000,0.000,,0,255,0");
    EXPECT_EQ(rows[18], a + ",none,,,,0,0.000000,0.000,,,,");
    // A slice directory: every pixel counts, no voxel size, no units.
    EXPECT_EQ(rows[20], inputs[2] + ",1,\"Mid,grey\",100,200,131072,1.000000,,1600.000000,,,1");
    EXPECT_EQ(rows[37].substr(0, inputs[4].size() + 3), inputs[4] + ",0,");

    // One job gives the same bytes; --csv puts them in a file instead.
    args[3] = "1";
    EXPECT_EQ(stats(args).out, run.out);
    args.insert(args.begin(), {"--csv", tmp / "out.csv"});
    const ToolRun toFile = stats(args);
    EXPECT_EQ(toFile.out, "");
    EXPECT_EQ(readFile(tmp / "out.csv"), run.out);
}

TEST_F(StatsTest, UsageErrorsAndAnUnreadableRegionFileStopBeforeAnyOutput)
{
    const std::string volume = tmp / "a.nii.gz";
    const std::vector<std::vector<std::string>> usage = {
        {},
        {"--rif"},
        {"-j", "0", volume},
        {"-jx", volume},
        {"--min-island", "-1", volume},
        {"--min-island", volume},
        {"--bogus", volume},
        {"--window", "5:1", volume},
        {"--window"},
        {"--labels", tmp / "m", volume, tmp / "a.nii"}, // both named "a"
    };
    for (const auto& args : usage) {
        const ToolRun run = stats(args);
        EXPECT_EQ(run.exitCode, 2) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("usage: lumidra-stats"), std::string::npos) << run.err;
    }
    // The default region file is ./data/colornfo.txt, which is not here: the
    // one line names the region files installed to start from.
    const ToolRun noRif = stats({volume}, "cd " + tmp.prefix() + " &&");
    EXPECT_EQ(noRif.exitCode, 1);
    EXPECT_EQ(noRif.out, "");
    ASSERT_EQ(lines(noRif.err).size(), 1u) << noRif.err;
    EXPECT_EQ(noRif.err.rfind("lumidra-stats: cannot read the region file "
                              "'./data/colornfo.txt': No such file or directory; give --rif FILE",
                              0),
              0u)
        << noRif.err;
    for (const char* installed : {"/share/lumidra/t1-brain.rif", "/share/lumidra/ct-hu.rif"})
        EXPECT_NE(noRif.err.find(installed), std::string::npos) << noRif.err;
    EXPECT_EQ(stats({"--rif", tmp / "none.rif", volume}).err,
              "lumidra-stats: cannot read the region file '" + tmp / "none.rif" +
                  "': No such file or directory\n");
    fs::create_directory(tmp / "data");
    slicefiles::writeFile(tmp / "data/colornfo.txt", kRegionFile);
    EXPECT_EQ(stats({volume}, "cd " + tmp.prefix() + " &&").exitCode, 0);
    EXPECT_EQ(stats({"--rif", tmp / "slices", volume}).exitCode, 1);
}

TEST_F(StatsTest, OutputsAreReplacedOnlyByCompleteResults)
{
    slicefiles::writeFile(tmp / "out.csv", "old");
    const ToolRun failed = stats({"--rif", tmp / "regions.rif", "--csv", tmp / "out.csv",
                                  "--labels", tmp / "map", tmp / "missing.nii"});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(readFile(tmp / "out.csv"), "old");
    EXPECT_FALSE(fs::exists(tmp / "map.nii.gz"));

    // One input: the prefix itself; several: the prefix and each input's name.
    ASSERT_EQ(
        stats({"--rif", tmp / "regions.rif", "--labels", tmp / "map", tmp / "a.nii.gz"}).exitCode,
        0);
    EXPECT_TRUE(fs::exists(tmp / "map.nii.gz"));
    const ToolRun two = stats({"--rif", tmp / "regions.rif", "--csv", tmp / "out.csv", "--labels",
                               tmp / "maps-", tmp / "a.nii.gz", tmp / "slices/"});
    ASSERT_EQ(two.exitCode, 0) << two.err;
    EXPECT_NE(readFile(tmp / "out.csv"), "old");
    for (const char* name : {"maps-a.nii.gz", "maps-a.label.txt", "maps-a.ctbl",
                             "maps-slices.nii.gz", "maps-slices.label.txt", "maps-slices.ctbl"})
        EXPECT_TRUE(fs::exists(tmp / name)) << name;
    for (const std::string& name : fileNames(tmp.path()))
        EXPECT_NE(name[0], '.') << "temporary file left: " << name;

    // A missing folder for the maps is made, as lumidra-import makes its
    // output's; not for an input that fails.
    EXPECT_EQ(
        stats({"--rif", tmp / "regions.rif", "--labels", tmp / "none/map", tmp / "x.nii"}).exitCode,
        1);
    EXPECT_FALSE(fs::exists(tmp / "none"));
    const ToolRun deep =
        stats({"--rif", tmp / "regions.rif", "--labels", tmp / "new/maps/ch2", tmp / "a.nii.gz"});
    ASSERT_EQ(deep.exitCode, 0) << deep.err;
    EXPECT_EQ(fileNames(tmp / "new/maps"),
              (std::vector<std::string>{"ch2.ctbl", "ch2.label.txt", "ch2.nii.gz"}));
}

TEST_F(StatsTest, HostileVolumesFailAloneAndWriteNothing)
{
    const std::string corpus = LUMIDRA_CORPUS_DIR "/nifti/";
    fs::create_directory(tmp / "folder.nii");
    testfiles::FifoGuard fifo(tmp / "fifo.nii");
    std::vector<std::string> hostile = {tmp / "fifo.nii"};
    for (const fs::directory_entry& e : fs::directory_iterator(corpus))
        if (e.path().extension() != ".py")
            hostile.push_back(e.path().string());
    for (const std::string& input : hostile) {
        const ToolRun run = stats({"--rif", tmp / "regions.rif", "--labels", tmp / "map", input});
        EXPECT_EQ(run.exitCode, 1) << input;
        EXPECT_EQ(run.out, "") << input;
        EXPECT_EQ(lines(run.err).size(), 1u) << run.err;
        EXPECT_NE(run.err.find(input), std::string::npos) << run.err;

        const RunResult import = runImporter({input, tmp / "imported"});
        EXPECT_EQ(import.exitCode, 1) << import.output;
        EXPECT_FALSE(fs::exists(tmp / "imported")) << input;
    }
    EXPECT_FALSE(fifo.readerWaited()) << "a program waited on the FIFO";
    EXPECT_EQ(fileNames(tmp.path()),
              (std::vector<std::string>{"a.nii.gz", "b.nii", "empty", "fifo.nii", "folder.nii",
                                        "regions.rif", "slices"}));
}

// NaN voxels are counted apart and said; -j far beyond the work an input
// holds does not multiply the memory it takes.
TEST_F(StatsTest, NanVoxelsAreSaidAndManyThreadsOnASmallInputCostNothing)
{
    auto nim = makeVolume(DT_FLOAT32, 20, 32, 32);
    for (std::size_t n = 0; n < nim->nvox; ++n)
        setVoxel(*nim, n, n % 4 == 0 ? std::nan("") : static_cast<double>(n % 300));
    saveVolume(*nim, tmp / "nan.nii");
    const ToolRun nan = stats({"--rif", tmp / "regions.rif", "--window", "0:255", tmp / "nan.nii"});
    EXPECT_EQ(nan.exitCode, 0);
    EXPECT_EQ(lines(nan.err),
              (std::vector<std::string>{"lumidra-stats: warning: '" + tmp / "nan.nii" +
                                        "': 5120 voxel(s) are NaN or infinite: "
                                        "left out of every row"}));
    // Dark (grey 0..10 of 0:255: samples 0..175, values up to 175 * 255 / 4095)
    // takes the finite values 1, 2, 3, 5, 6, 7, 9 and 10, 69 voxels each, of
    // 15,360 finite ones; NaN would have added 5,120 at grey 0. Runs of
    // 1-3, 5-7 and 9-10 along i, between NaN voxels and touching no other:
    // 207 pieces, as SciPy's ndimage.label counts them.
    EXPECT_EQ(lines(nan.out)[1], tmp / "nan.nii" + ",0,Dark,0,10,552,0.035937,0.552,86.250000,0,"
                                                   "10.897435897435898,207");

#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit below";
#else
    // 40 KB of int16: 1,024 tables of 65,536 counts would be 512 MB.
    auto small = makeVolume(DT_INT16, 20, 32, 32);
    for (std::size_t n = 0; n < small->nvox; ++n)
        setVoxel(*small, n, static_cast<double>((n * 7) % 3000));
    saveVolume(*small, tmp / "small.nii");
    const ToolRun many = stats({"--rif", tmp / "regions.rif", "-j", "1024", tmp / "small.nii"},
                               "ulimit -v 400000 &&");
    EXPECT_EQ(many.exitCode, 0) << many.err;
    EXPECT_EQ(many.out, stats({"--rif", tmp / "regions.rif", "-j", "1", tmp / "small.nii"}).out);
#endif
}

// The window's command line, answered before any window (no display here).
TEST_F(StatsTest, WindowCommandLineRefusesABadPathWithoutAWindow)
{
    const std::string noDisplay = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM";
    const ToolRun version = runTool(LUMIDRA_EXE, {"--version"}, noDisplay);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "lumidra " LUMIDRA_VERSION "\n");
    EXPECT_EQ(runTool(LUMIDRA_EXE, {"--help"}, noDisplay).out.rfind("usage: lumidra ", 0), 0u);
    for (const std::string& bad : {tmp / "missing", tmp / "empty", tmp / "regions.rif",
                                   std::string(LUMIDRA_CORPUS_DIR "/nifti/truncated.nii.gz")}) {
        const ToolRun run = runTool(LUMIDRA_EXE, {bad}, noDisplay);
        EXPECT_EQ(run.exitCode, 2) << bad;
        EXPECT_EQ(run.out, "");
        ASSERT_EQ(lines(run.err).size(), 1u) << run.err;
        EXPECT_EQ(run.err.rfind("lumidra: ", 0), 0u) << run.err;
    }
    EXPECT_EQ(runTool(LUMIDRA_EXE, {tmp / "a.nii", tmp / "b.nii"}, noDisplay).exitCode, 2);
    const ToolRun badWindow = runTool(LUMIDRA_EXE, {"--window", "wide", tmp / "a.nii"}, noDisplay);
    EXPECT_EQ(badWindow.exitCode, 2);
    EXPECT_EQ(badWindow.err.rfind("lumidra: 'wide' is not a window: use robust, ct, minmax or "
                                  "LO:HI\nusage: lumidra ",
                                  0),
              0u)
        << badWindow.err;
}

// Islands checked against SciPy's own labelling of the map with every piece:
// its 6-connected pieces (ndimage.label with the face-only structure) of
// fewer than N voxels set to 0 must be the map with --min-island N, and the
// pieces and voxels it keeps the CSV's.
TEST_F(StatsTest, IslandsAgreeWithScipysLabelling)
{
    auto nim = makeVolume(DT_UINT8, 23, 19, 17);
    std::uint32_t state = 7;
    for (std::size_t n = 0; n < nim->nvox; ++n) {
        state = state * 1664525u + 1013904223u;
        setVoxel(*nim, n, (state >> 24) % 4 * 85);
    }
    saveVolume(*nim, tmp / "noise.nii");
    slicefiles::writeFile(tmp / "thirds.rif", "#Number of Regions\n3\n#Low\n1\n90\n0\n0\n0\n"
                                              "#Mid\n91\n180\n0\n0\n0\n#High\n181\n255\n0\n0\n0\n");
    const std::string rif = tmp / "thirds.rif";
    const ToolRun every = stats({"--rif", rif, "--labels", tmp / "all", tmp / "noise.nii"});
    ASSERT_EQ(every.exitCode, 0);
    const ToolRun run = stats({"--rif", rif, "--min-island", "4", "-j", "2", "--labels",
                               tmp / "kept", tmp / "noise.nii"});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const char* script = R"(
import sys
import nibabel, numpy
from scipy import ndimage
every = numpy.asarray(nibabel.load(sys.argv[1]).dataobj)
kept = numpy.asarray(nibabel.load(sys.argv[2]).dataobj)
expected = numpy.zeros_like(every)
for label in range(1, 18):
    pieces, count = ndimage.label(every == label, ndimage.generate_binary_structure(3, 1))
    sizes = numpy.bincount(pieces.ravel())
    large = sizes >= 4
    large[0] = False
    expected[large[pieces]] = label
    print(label - 1, int((expected == label).sum()), int(large.sum()))
print("same" if (expected == kept).all() else "differs")
)";
    const ToolRun scipy = runTool(
        "/usr/bin/python3", {"-c", script, tmp / "all.nii.gz", tmp / "kept.nii.gz"}, "timeout 60");
    ASSERT_EQ(scipy.exitCode, 0) << scipy.err;
    // "region voxels pieces" of each region against the CSV's columns.
    std::string csv;
    for (const std::string& row : lines(run.out)) {
        const std::vector<std::string> field = fields(row);
        if (field[1] != "region" && field[1] != "none")
            csv += field[1] + ' ' + field[5] + ' ' + field[11] + '\n';
    }
    EXPECT_EQ(csv + "same\n", scipy.out);
    EXPECT_NE(lines(every.out)[1], lines(run.out)[1]) << "islands were left out";
}

// The region files installed to start from: each names its tissues as one
// word and gives every grey value to one of them, so the regions it leaves
// as they were (and none) stay empty.
TEST_F(StatsTest, InstalledRegionFilesGiveEveryGreyValueToANamedTissue)
{
    std::vector<std::uint16_t> everySample(65536);
    for (std::size_t n = 0; n < everySample.size(); ++n)
        everySample[n] = static_cast<std::uint16_t>(n % 4096);
    fs::create_directories(tmp / "greys");
    slicefiles::writeFile((fs::path(tmp / "greys") / slicefiles::sliceName(0, "")).string(),
                          slicefiles::rawSlice(everySample));
    for (const auto& [file, names] :
         {std::pair{"t1-brain.rif", "Scalp WhiteMatter GreyMatter Boundary CSF Background "},
          std::pair{"ct-hu.rif", "Air Lung Mixed Fat Fluid SoftTissue Dense Bone "}}) {
        const ToolRun run =
            stats({"--rif", std::string(LUMIDRA_SOURCE_DIR "/regions/") + file, tmp / "greys"});
        ASSERT_EQ(run.exitCode, 0) << file << run.err;
        const std::vector<std::string> rows = lines(run.out);
        std::string named;
        std::uint64_t voxels = 0;
        for (std::size_t k = 1; k < rows.size() && named.size() < std::strlen(names); ++k) {
            named += fields(rows[k])[2] + ' ';
            voxels += std::stoull(fields(rows[k])[5]);
        }
        EXPECT_EQ(named, names);
        EXPECT_EQ(voxels, 65536u) << file;
    }
}

namespace {

// Rows follow the inputs' order, not the order they finish in: a large input
// first and a small one second finish the other way round on two threads.
TEST_F(StatsTest, ALargeInputFirstStillHasItsRowsFirst)
{
    auto nim = makeVolume(DT_UINT8, 128, 128, 512);
    for (std::size_t n = 0; n < nim->nvox; n += 7)
        setVoxel(*nim, n, static_cast<double>(n % 251));
    saveVolume(*nim, tmp / "large.nii");
    const ToolRun run =
        stats({"--rif", tmp / "regions.rif", "-j", "2", tmp / "large.nii", tmp / "b.nii"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> rows = lines(run.out);
    ASSERT_EQ(rows.size(), 1u + 2 * 18);
    for (std::size_t r = 1; r < rows.size(); ++r)
        EXPECT_EQ(rows[r].rfind(tmp / (r <= 18 ? "large.nii," : "b.nii,"), 0), 0u) << rows[r];
}

} // namespace
