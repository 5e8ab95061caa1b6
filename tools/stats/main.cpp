#include "StatsRun.h"

#include <csignal>
#include <cstdio>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

namespace {

constexpr const char* kUsage = "usage: lumidra-stats [--rif FILE] [--csv OUT] [--labels PREFIX] "
                               "[--window POLICY] [--min-island N] [-j N] INPUT...\n";

constexpr const char* kHelp =
    "\n"
    "Region statistics of scans: for each INPUT (a slice directory, a NIfTI-1\n"
    "volume, .nii or .nii.gz, or DICOM: a folder, a .dcm file of a series or a\n"
    "DICOMDIR; each series of a folder is an input, named FOLDER#NUMBER) and\n"
    "each region of the table, the voxels the region\n"
    "takes (each voxel goes to the first region whose grey range holds it), their\n"
    "fraction of the scan, their volume in millilitres when the voxel size is\n"
    "known, the mean of their 12-bit samples and the number of pieces the\n"
    "region is in; then a row for the voxels no region takes. A volume is\n"
    "counted at its own resolution, without padding.\n"
    "\n"
    "  --rif FILE       region file read over the initial regions, as the window\n"
    "                   reads it at start-up (default ./data/colornfo.txt)\n"
    "  --csv OUT        write the CSV to OUT instead of standard output\n"
    "  --labels PREFIX  also write each input's region map: PREFIX.nii.gz (label\n"
    "                   = region + 1, 0 for none), PREFIX.label.txt (ITK-SNAP) and\n"
    "                   PREFIX.ctbl (3D Slicer colour table); with several inputs,\n"
    "                   PREFIX followed by each input's name; a missing folder\n"
    "                   is made\n"
    "  --window POLICY  how a volume's values become 12-bit samples: robust (the\n"
    "                   0.5th to 99.5th percentile, the default), ct (sample =\n"
    "                   HU + 1024), minmax (the whole range) or LO:HI (in the\n"
    "                   scan's units); values outside are clipped\n"
    "  --min-island N   leave out islands: the pieces of a region (voxels joined\n"
    "                   by their faces, across slices too) of fewer than N voxels\n"
    "                   count as no region, in the rows and the region map\n"
    "                   (default 0: off)\n"
    "  -j N             use N threads in all (default: the number of cores): one\n"
    "                   input per thread, or with fewer inputs than N, several\n"
    "                   threads per input\n"
    "  --help           show this help\n"
    "  --version        show the version\n"
    "\n"
    "Rows come out in input order. A failed input is reported on standard error\n"
    "and the others go on. Exit status: 0, 1 when an input failed, 2 for a usage\n"
    "error.\n";

int usageError(const std::string& message)
{
    std::fprintf(stderr, "lumidra-stats: %s\n%s", message.c_str(), kUsage);
    return kStatsUsageError;
}

std::optional<std::uint64_t> parseCount(const char* text)
{
    if (*text < '0' || *text > '9')
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const unsigned long long n = std::strtoull(text, &end, 10);
    if (errno || *end != '\0')
        return std::nullopt;
    return static_cast<std::uint64_t>(n);
}

std::optional<int> parseJobs(const char* text)
{
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(text, &end, 10);
    if (errno || end == text || *end != '\0' || n < 1 || n > 1024)
        return std::nullopt;
    return static_cast<int>(n);
}

// Fills options from the command line; returns an exit status when there is
// nothing to run (help, version, or a usage error).
std::optional<int> parseArguments(int argc, char** argv, StatsOptions& options)
{
    const unsigned cores = std::thread::hardware_concurrency();
    options.jobs = cores > 0 ? static_cast<int>(cores) : 1;
    bool optionsEnded = false;
    for (int n = 1; n < argc; ++n) {
        const std::string arg = argv[n];
        const bool hasValue = n + 1 < argc;
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            options.inputs.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            std::printf("%s%s", kUsage, kHelp);
            return 0;
        } else if (arg == "--version") {
            std::printf("lumidra-stats %s\n", LUMIDRA_VERSION);
            return 0;
        } else if (arg == "--rif" || arg == "--csv" || arg == "--labels") {
            if (!hasValue || argv[n + 1][0] == '\0')
                return usageError(arg + " needs a value");
            std::string& field = arg == "--rif"   ? options.rif
                                 : arg == "--csv" ? options.csv
                                                  : options.labels;
            field = argv[++n];
            options.rifGiven = options.rifGiven || arg == "--rif";
        } else if (arg == "--min-island") {
            const std::optional<std::uint64_t> voxels =
                hasValue ? parseCount(argv[++n]) : std::nullopt;
            if (!voxels)
                return usageError("--min-island needs a number of voxels (0: off)");
            options.minIsland = *voxels;
        } else if (arg == "--window") {
            if (!hasValue)
                return usageError("--window needs a value: " +
                                  std::string(lumidra::kWindowPolicies));
            std::string error;
            const std::optional<lumidra::WindowPolicy> policy =
                lumidra::parseWindowPolicy(argv[++n], error);
            if (!policy)
                return usageError("--window: " + error);
            options.window = *policy;
        } else if (arg == "-j" || arg.rfind("-j", 0) == 0) {
            const char* value = arg == "-j" ? (hasValue ? argv[++n] : "") : argv[n] + 2;
            const std::optional<int> jobs = parseJobs(value);
            if (!jobs)
                return usageError("-j needs a number of jobs from 1 to 1024");
            options.jobs = *jobs;
        } else {
            return usageError("unknown option " + arg);
        }
    }
    if (options.inputs.empty())
        return usageError("no INPUT given");
    if (!options.labels.empty() && labelPrefixes(options.labels, options.inputs).empty())
        return usageError("two inputs have the same name, so their region maps would share " +
                          options.labels + "NAME; run them separately");
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv)
{
    StatsOptions options;
    if (const std::optional<int> status = parseArguments(argc, argv, options))
        return *status;
    // A reader that quits early makes the write fail, which is reported; it must not kill us.
    std::signal(SIGPIPE, SIG_IGN);
    return runStats(options, stdout, stderr);
}
