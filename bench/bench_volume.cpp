// Opening a NIfTI volume, and region statistics over volumes.
//   bench_volume [VOLUME.nii.gz]   default: the brain template of mricron-data
// Figures:
//   the volume reader (the stack the window shows) against nifticlib's own
//   nifti_image_read of the same file;
//   lumidra-stats on the volume against loading it alone, as lumidra-stats
//   loads it (on one thread, no stack for the views);
//   lumidra-stats on 8 copies of the input with 2 jobs against 1.
#include "BenchUtil.h"

#include "Scans.h"
#include "StatsRun.h"
#include "TestFiles.h"
#include "core/volume/VolumeReader.h"

#include <nifti1_io.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr const char* kBrain = scans::kBrainTemplate;
constexpr int kRuns = 11;

struct Medians {
    double a = 0;
    double b = 0;
};

// Medians of a and b run in turn, so that a change in the machine's load
// while they run weighs on both alike.
template <typename A, typename B> Medians medianPair(A&& a, B&& b, int runs)
{
    std::vector<double> ta, tb;
    for (int i = 0; i < runs; ++i) {
        ta.push_back(bench::medianMicros(a, 1));
        tb.push_back(bench::medianMicros(b, 1));
    }
    std::sort(ta.begin(), ta.end());
    std::sort(tb.begin(), tb.end());
    return {ta[ta.size() / 2], tb[tb.size() / 2]};
}

} // namespace

int main(int argc, char** argv)
{
    const std::string volume = argc > 1 ? argv[1] : kBrain;
    nifti_set_debug_level(0);
    {
        nifti_image* check = nifti_image_read(volume.c_str(), 1);
        if (!check) {
            std::fprintf(stderr, "bench_volume: cannot read %s\n", volume.c_str());
            return 1;
        }
        std::printf("%s: %d x %d x %d voxels\n", volume.c_str(), check->nx, check->ny, check->nz);
        nifti_image_free(check);
    }

    const auto [reader, peer] =
        medianPair([&] { lumidra::openVolume(volume); },
                   [&] { nifti_image_free(nifti_image_read(volume.c_str(), 1)); }, kRuns);
    bench::printFigure("volume reader, stack built (openVolume)", reader);
    bench::printFigure("nifticlib nifti_image_read", peer);
    bench::printRatio("reader / nifti_image_read", reader / peer, "<=", 1.5);
    std::printf("\n");

    testfiles::TempDir tmp;
    testfiles::writeFile(
        tmp / "regions.rif",
        "#Number of Regions\n2\n#Grey\n40\n80\n0\n0\n0\n#White\n81\n255\n0\n0\n0\n");
    std::FILE* sink = std::fopen("/dev/null", "w");
    StatsOptions one;
    one.rif = tmp / "regions.rif";
    one.inputs = {volume};
    const auto [stats, load] = medianPair([&] { runStats(one, sink, stderr); },
                                          [&] { lumidra::readVolume(volume); }, kRuns);
    bench::printFigure("lumidra-stats, one volume", stats);
    bench::printFigure("loading it alone (readVolume, one thread)", load);
    bench::printRatio("stats / loading", stats / load, "<=", 1.3);
    std::printf("\n");

    StatsOptions serialRun = one;
    serialRun.inputs.assign(8, volume);
    serialRun.jobs = 1;
    StatsOptions parallelRun = serialRun;
    parallelRun.jobs = 2;
    const auto [serial, parallel] = medianPair([&] { runStats(serialRun, sink, stderr); },
                                               [&] { runStats(parallelRun, sink, stderr); }, 5);
    std::fclose(sink);
    bench::printFigure("lumidra-stats, 8 inputs, -j1", serial);
    bench::printFigure("lumidra-stats, 8 inputs, -j2", parallel);
    bench::printRatio("-j1 / -j2 (speed-up)", serial / parallel, ">=", 1.7);
    return 0;
}
