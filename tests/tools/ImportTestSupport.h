#pragma once

#include "NiftiFiles.h"
#include "TestFiles.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace importtest {

using niftifiles::makeVolume;
using niftifiles::NiftiImagePtr;
using niftifiles::saveVolume;
using niftifiles::setAxes;
using niftifiles::setVoxel;
using testfiles::readFile;
using testfiles::TempDir;

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs a built program with the given arguments, each passed as one word,
// with nothing on its standard input. environment goes before the command
// ("env -u DISPLAY", "cd DIR &&").
ToolRun runTool(const std::string& exe, const std::vector<std::string>& args,
                const std::string& environment = {});

struct RunResult {
    int exitCode = -1;
    std::string output; // standard output, then standard error
};

// Runs the built importer with the given arguments.
RunResult runImporter(const std::vector<std::string>& args);

// The lines of a text, without their line ends.
std::vector<std::string> lines(const std::string& text);

using testfiles::fileNames;

// The 65,536 samples of a slice file as the viewer's own readers load them
// (PGM samples come back multiplied by 16).
std::vector<std::uint32_t> loadRawSlice(const std::filesystem::path& path);
std::vector<std::uint32_t> loadPgmSlice(const std::filesystem::path& path);

// The sample the viewer shows at column x (from the left) and row y (from the
// top) of its picture: it shows a slice's first row at the top, mirrored.
std::uint32_t shownAt(const std::vector<std::uint32_t>& samples, int x, int y);

// Positions (x, y) in the viewer's picture of the non-zero samples.
std::vector<std::pair<int, int>> shownNonZero(const std::vector<std::uint32_t>& samples);

} // namespace importtest
