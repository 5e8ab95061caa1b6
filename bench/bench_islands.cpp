// Islands: the 6-connected pieces of every region of a large scan.
//   bench_islands [VOLUME.nii.gz]   default: the 0.5 mm brain of mricron-data
// Figures, on the scan labelled by six tissue regions:
//   removeIslands on one and on two threads, counting only (--min-island 0)
//   and leaving out pieces under 100 voxels, against reading the volume
//   (what every use of the islands pays first);
//   the statistics of the stack with islands (labels, pieces, counts).
#include "BenchUtil.h"

#include "core/regions/RegionTable.h"
#include "core/stats/Islands.h"
#include "core/stats/RegionMap.h"
#include "core/volume/VolumeReader.h"
#include "core/volume/VolumeSource.h"

#include <cstdio>
#include <string>

namespace {

constexpr const char* kBrain = "/usr/share/mricron/templates/ch2better.nii.gz";
constexpr int kRounds = 7;

// The sample tissue regions as grey ranges, the rest of the table empty.
lumidra::RegionTable tissueRegions()
{
    lumidra::RegionTable table;
    table.startingRegions();
    const int ranges[][2] = {{121, 255}, {104, 120}, {72, 103}, {40, 71}, {8, 39}, {0, 7}};
    for (int k = 0; k < lumidra::kRegionCount; ++k) {
        imgMaterial& r = table.records()[k];
        r.min = k < 6 ? ranges[k][0] : 1;
        r.max = k < 6 ? ranges[k][1] : 0;
    }
    return table;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace lumidra;
    const std::string volume = argc > 1 ? argv[1] : kBrain;
    SharedSliceStack stack;
    try {
        stack = openVolume(volume);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_islands: %s\n", e.what());
        return 1;
    }
    const VolumeSource& source = *stack->source();
    RegionTable table = tissueRegions();
    const std::vector<std::uint8_t> labels = labelVoxels(scanGrid(source), table.records(), 2);
    std::printf("%s: %d x %d x %d = %zu voxels\n", volume.c_str(), source.nx(), source.ny(),
                source.nz(), labels.size());
    LabelPieces last;
    const auto run = [&](std::uint64_t minVoxels, int threads) {
        return [&, minVoxels, threads] {
            last = removeIslands(labels, source.nx(), source.ny(), source.nz(), minVoxels, threads);
        };
    };
    const std::vector<double> t =
        bench::alternatingMedians({run(0, 1), run(0, 2), run(100, 1), run(100, 2),
                                   [&] { islandStatistics(*stack, table.records(), 100, 2); },
                                   [&] { readVolume(volume, {}, Placement::Fit, 2); }},
                                  kRounds);
    std::uint64_t pieces = 0;
    for (std::uint64_t p : last.pieces)
        pieces += p;
    std::printf("pieces of at least 100 voxels: %llu\n\n", static_cast<unsigned long long>(pieces));
    bench::printFigure("removeIslands, counting only, 1 thread", t[0]);
    bench::printFigure("removeIslands, counting only, 2 threads", t[1]);
    bench::printFigure("removeIslands, under 100 voxels out, 1 thread", t[2]);
    bench::printFigure("removeIslands, under 100 voxels out, 2 threads", t[3]);
    bench::printFigure("islandStatistics (labels, pieces, rows), 2 thr.", t[4]);
    bench::printFigure("reading the volume (readVolume, 2 threads)", t[5]);
    bench::printRatio("islands, 2 threads / reading the volume", t[3] / t[5], "<=", 0.5);
    bench::printRatio("islandStatistics, 2 threads / reading", t[4] / t[5], "<=", 1.0);
    return 0;
}
