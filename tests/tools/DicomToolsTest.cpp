// DICOM folders as inputs of lumidra-stats and lumidra-import: the same
// figures and slices as the NIfTI volume a series was written from, one
// input row set per series, and a bad input costing one line.
#include "ImportTestSupport.h"

#include "DicomFiles.h"
#include "Scans.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using namespace importtest;

namespace {

const std::string kRegions = LUMIDRA_SOURCE_DIR "/regions/t1-brain.rif";

// The rows of a CSV without their first field (the input's name).
std::vector<std::string> withoutInput(const std::vector<std::string>& rows)
{
    std::vector<std::string> out;
    for (const std::string& row : rows)
        out.push_back(row.substr(row.find(',')));
    return out;
}

std::vector<std::string> rowsOf(const std::vector<std::string>& all, const std::string& input)
{
    std::vector<std::string> rows;
    for (const std::string& row : all)
        if (row.rfind(input + ",", 0) == 0)
            rows.push_back(row);
    return rows;
}

} // namespace

TEST(DicomToolsTest, TheBrainAsASeriesHasTheStatisticsOfItsNiftiRowForRow)
{
    if (!fs::exists(scans::kBrainTemplate))
        GTEST_SKIP() << "mricron-data's brain template is not installed";
    TempDir tmp;
    // Stored as value + 1000 with an intercept of -1000, in files named at random.
    dicomfiles::writeSeries(tmp / "brain", {"--nifti", scans::kBrainTemplate, "--intercept",
                                            "-1000", "--description", "T1 brain"});
    const ToolRun run =
        runTool(LUMIDRA_STATS_EXE, {"--rif", kRegions, tmp / "brain", scans::kBrainTemplate});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::vector<std::string> all = lines(run.out);
    const std::vector<std::string> series = rowsOf(all, tmp / "brain");
    const std::vector<std::string> nifti = rowsOf(all, scans::kBrainTemplate);
    ASSERT_EQ(series.size(), 18u) << run.out;
    EXPECT_EQ(withoutInput(series), withoutInput(nifti));
}

TEST(DicomToolsTest, EachSeriesOfAFolderIsAnInputAndABadInputIsOneLine)
{
    TempDir tmp;
    const std::string both = tmp / "both";
    for (const char* number : {"4", "9"})
        dicomfiles::writeSeries(both, {"--synthetic-ct", "12", "10", "3", "--modality", "CT",
                                       "--series-number", number, "--seed", number});
    // A series with a slice left out: refused, and the other inputs go on.
    const std::string gap = tmp / "gap";
    dicomfiles::writeSeries(gap, {"--synthetic-ct", "12", "10", "5", "--skip-slice", "2"});
    fs::create_directory(tmp / "empty");
    testfiles::writeFile(fs::path(tmp / "empty") / "x.dcm", "not DICOM");

    const ToolRun run =
        runTool(LUMIDRA_STATS_EXE, {"--rif", LUMIDRA_SOURCE_DIR "/regions/ct-hu.rif", "-j", "2",
                                    gap, both, tmp / "empty"});
    EXPECT_EQ(run.exitCode, 1);
    const std::vector<std::string> errors = lines(run.err);
    ASSERT_EQ(errors.size(), 2u) << run.err;
    EXPECT_NE(errors[0].find("'" + gap + "': DICOM series 1"), std::string::npos) << errors[0];
    EXPECT_NE(errors[0].find("not evenly spaced (a missing slice?): a step of 2.500 mm"),
              std::string::npos)
        << errors[0];
    EXPECT_NE(errors[1].find("holds no DICOM images; 1 other file(s) skipped"), std::string::npos)
        << errors[1];
    const std::vector<std::string> rows = lines(run.out);
    EXPECT_EQ(rowsOf(rows, both + "#4").size(), 18u) << run.out;
    EXPECT_EQ(rowsOf(rows, both + "#9").size(), 18u);
    EXPECT_EQ(rows.size(), 1u + 2 * 18);

    // Region maps are named by folder and series too.
    const ToolRun maps =
        runTool(LUMIDRA_STATS_EXE, {"--rif", kRegions, "--labels", tmp / "maps/", both});
    EXPECT_EQ(maps.exitCode, 0) << maps.err;
    EXPECT_TRUE(fs::exists(tmp / "maps/both#4.nii.gz"));
    EXPECT_TRUE(fs::exists(tmp / "maps/both#9.nii.gz"));
}

TEST(DicomToolsTest, ImportingASeriesWritesTheSlicesOfItsNifti)
{
    TempDir tmp;
    dicomfiles::writeSeries(tmp / "ct",
                            {"--synthetic-ct", "40", "30", "4", "--modality", "CT", "--oblique",
                             "10", "--intercept", "-1024", "--nifti-out", tmp / "ct.nii.gz"});
    const RunResult fromSeries = runImporter({"--window", "ct", tmp / "ct", tmp / "a"});
    EXPECT_EQ(fromSeries.exitCode, 0) << fromSeries.output;
    EXPECT_NE(fromSeries.output.find("Reading DICOM series 1"), std::string::npos);
    const RunResult fromNifti = runImporter({"--window", "ct", tmp / "ct.nii.gz", tmp / "b"});
    ASSERT_EQ(fromNifti.exitCode, 0) << fromNifti.output;
    ASSERT_EQ(fileNames(tmp / "a"), fileNames(tmp / "b"));
    for (const std::string& name : fileNames(tmp / "b"))
        EXPECT_EQ(readFile(fs::path(tmp / "a") / name), readFile(fs::path(tmp / "b") / name))
            << name;

    // A folder of two series: the importer asks for one of its files.
    dicomfiles::writeSeries(
        tmp / "ct", {"--synthetic-ct", "8", "8", "2", "--series-number", "2", "--seed", "2"});
    const RunResult two = runImporter({tmp / "ct", tmp / "c"});
    EXPECT_EQ(two.exitCode, 1);
    EXPECT_NE(two.output.find("name one file of the series to import"), std::string::npos)
        << two.output;
}

TEST(DicomToolsTest, TheCohortWorkflowTakesDicomFoldersBesideNiftiFiles)
{
    TempDir tmp;
    dicomfiles::writeSeries(tmp / "scans/b", {"--synthetic-ct", "12", "10", "3", "--modality", "CT",
                                              "--nifti-out", tmp / "scans/a.nii.gz"});
    // A folder that is neither DICOM nor NIfTI is not a scan.
    fs::create_directories(tmp / "scans/notes");
    testfiles::writeFile(fs::path(tmp / "scans/notes") / "x.txt", "text");
    const std::string rif = LUMIDRA_SOURCE_DIR "/regions/ct-hu.rif";
    const ToolRun run =
        runTool("snakemake",
                {"-j2", "--quiet", "-s", LUMIDRA_SOURCE_DIR "/examples/cohort/Snakefile",
                 "--directory", tmp / "work", "--config", "scans=" + tmp / "scans", "rif=" + rif,
                 "out=" + tmp / "results", std::string("stats=") + LUMIDRA_STATS_EXE},
                "timeout 120");
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    const ToolRun direct =
        runTool(LUMIDRA_STATS_EXE, {"--rif", rif, tmp / "scans/a.nii.gz", tmp / "scans/b"});
    ASSERT_EQ(direct.exitCode, 0) << direct.err;
    EXPECT_EQ(readFile(tmp / "results/regions.csv"), direct.out);
    EXPECT_EQ(lines(direct.out).size(), 1u + 2 * 18);
}
