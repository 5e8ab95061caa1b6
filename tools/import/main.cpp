#include "ImportError.h"
#include "Importer.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kUsageError = 2;

constexpr const char* kUsage = "usage: lumidra-import [--pgm] [--replace] [--crop] [--window "
                               "POLICY] INPUT OUTPUT_DIR\n";

constexpr const char* kHelp =
    "\n"
    "Converts a NIfTI-1 volume (INPUT.nii or INPUT.nii.gz) or a DICOM series (a\n"
    "folder holding one, a .dcm file of the series, or a DICOMDIR) into the slice\n"
    "files of a Lumidra image directory:\n"
    "one 256 x 256 slice per plane along the volume's third axis, numbered from 0\n"
    "(slice000, slice001, ...), centred and padded with 0. A larger plane is\n"
    "reduced by the smallest integer factor that makes it fit, each pixel the mean\n"
    "of a factor x factor block. Intensities are put on 0..4095 (raw) or 0..255\n"
    "(PGM) by the window (see --window); NaN and infinities become 0.\n"
    "\n"
    "Axial slices run from inferior to superior and show anterior at the top with\n"
    "the patient's left on the viewer's right (radiological), following the\n"
    "volume's sform (or qform).\n"
    "\n"
    "  --pgm      write plain-text PGM files (slice000.pgm ...) instead of raw\n"
    "             16-bit big-endian files\n"
    "  --replace  replace the slice files already in OUTPUT_DIR (both kinds)\n"
    "  --crop     centre-crop a plane larger than 256 x 256 instead of reducing it\n"
    "  --window POLICY\n"
    "             robust (the default): linear from the 0.5th to the 99.5th\n"
    "             percentile of the values; ct: sample = HU + 1024; minmax: linear\n"
    "             from the smallest to the largest value; LO:HI: linear from LO to\n"
    "             HI, in the scan's units. Values outside are clipped.\n"
    "  --help     show this help\n"
    "  --version  show the version\n"
    "\n"
    "OUTPUT_DIR is created, with its parents, when missing.\n";

int usageError(const std::string& message, const char* argument)
{
    std::fprintf(stderr, "lumidra-import: %s%s\n%s", message.c_str(), argument, kUsage);
    return kUsageError;
}

// Fills options from the command line; returns an exit status when there is
// nothing to import (help, or a usage error).
std::optional<int> parseArguments(int argc, char** argv, ImportOptions& options)
{
    std::vector<std::string> paths;
    bool optionsEnded = false;
    for (int n = 1; n < argc; ++n) {
        const char* arg = argv[n];
        if (optionsEnded || arg[0] != '-' || arg[1] == '\0') {
            paths.emplace_back(arg);
        } else if (std::strcmp(arg, "--") == 0) {
            optionsEnded = true;
        } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::printf("%s%s", kUsage, kHelp);
            return 0;
        } else if (std::strcmp(arg, "--version") == 0) {
            std::printf("lumidra-import %s\n", LUMIDRA_VERSION);
            return 0;
        } else if (std::strcmp(arg, "--crop") == 0) {
            options.placement = lumidra::Placement::Crop;
        } else if (std::strcmp(arg, "--pgm") == 0) {
            options.kind = SliceKind::Pgm;
        } else if (std::strcmp(arg, "--replace") == 0) {
            options.replace = true;
        } else if (std::strcmp(arg, "--window") == 0) {
            if (n + 1 >= argc)
                return usageError("--window needs a value: ", lumidra::kWindowPolicies);
            std::string error;
            const std::optional<lumidra::WindowPolicy> policy =
                lumidra::parseWindowPolicy(argv[++n], error);
            if (!policy)
                return usageError("--window: " + error, "");
            options.window = *policy;
        } else {
            return usageError("unknown option ", arg);
        }
    }
    if (paths.size() != 2)
        return usageError("expected an input volume and an output directory", "");
    options.input = paths[0];
    options.outputDir = paths[1];
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv)
{
    ImportOptions options;
    if (const std::optional<int> status = parseArguments(argc, argv, options))
        return *status;
    // Progress piped into a reader that quits early must not abort an import halfway.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        runImport(options);
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "lumidra-import: error: %s\n", e.what());
        return 1;
    }
    return 0;
}
