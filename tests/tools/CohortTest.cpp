// The cohort example run as a user runs it: Debian's snakemake on a folder of scans.
#include "ImportTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using namespace importtest;

TEST(Cohort, SnakemakeMergesOneStatisticsJobPerScan)
{
    TempDir tmp;
    fs::create_directory(tmp / "scans");
    const char* names[] = {"s2.nii.gz", "s1.nii", "s3.nii.gz"};
    for (int n = 0; n < 3; ++n) {
        auto nim = makeVolume(DT_INT16, 5 + n, 4, 3);
        for (std::size_t v = 0; v < nim->nvox; ++v)
            setVoxel(*nim, v, static_cast<double>((v * (n + 3)) % 17));
        saveVolume(*nim, tmp.path() / "scans" / names[n]);
    }
    testfiles::writeFile(tmp / "regions.rif", "#Number of Regions\n1\n#Low\n0\n100\n1\n2\n3\n");

    const auto snakemake = [&] {
        return runTool("snakemake",
                       {"-j2", "--quiet", "--keep-going", "-s",
                        LUMIDRA_SOURCE_DIR "/examples/cohort/Snakefile", "--directory",
                        tmp / "work", "--config", "scans=" + tmp / "scans",
                        "rif=" + tmp / "regions.rif", "out=" + tmp / "results", "window=-2:30",
                        std::string("stats=") + LUMIDRA_STATS_EXE},
                       "timeout 120");
    };
    const ToolRun run = snakemake();
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;

    // The same table lumidra-stats makes of the three in name order, through the same window.
    const ToolRun direct = runTool(
        LUMIDRA_STATS_EXE, {"--rif", tmp / "regions.rif", "--window", "-2:30", tmp / "scans/s1.nii",
                            tmp / "scans/s2.nii.gz", tmp / "scans/s3.nii.gz"});
    ASSERT_EQ(direct.exitCode, 0) << direct.err;
    EXPECT_EQ(readFile(tmp / "results/regions.csv"), direct.out);
    EXPECT_EQ(lines(direct.out).size(), 1u + 3 * 18);
    EXPECT_EQ(fileNames(tmp / "results/scans"),
              (std::vector<std::string>{"s1.csv", "s2.csv", "s3.csv"}));

    // A broken scan: the others are counted, but no merged table claims to
    // be the study's, the old one least of all; the run names the scan.
    testfiles::writeFile(tmp / "scans/s4.nii.gz", "not a scan");
    const ToolRun broken = snakemake();
    EXPECT_NE(broken.exitCode, 0);
    EXPECT_FALSE(fs::exists(tmp / "results/regions.csv"));
    EXPECT_NE(broken.err.find("scans that failed or were not run: " + tmp / "scans/s4.nii.gz"),
              std::string::npos)
        << broken.err;
    fs::remove(tmp / "scans/s4.nii.gz");
    ASSERT_EQ(snakemake().exitCode, 0);
    EXPECT_EQ(readFile(tmp / "results/regions.csv"), direct.out);
}
