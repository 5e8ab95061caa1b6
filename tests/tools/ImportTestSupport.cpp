#include "ImportTestSupport.h"

#include "core/common/SliceGeometry.h"
#include "core/slices/SliceLoader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/wait.h>

using namespace lumidra;

namespace fs = std::filesystem;

namespace importtest {

namespace {

std::string shellWord(const std::string& word)
{
    std::string quoted = "'";
    for (const char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

} // namespace

ToolRun runTool(const std::string& exe, const std::vector<std::string>& args,
                const std::string& environment)
{
    TempDir tmp;
    // Appended piece by piece: GCC 12 warns (falsely) about a temporary
    // built with " " + word in a Release build.
    // A program that hangs is stopped, so the test fails instead of waiting
    // for ctest's own limit.
    std::string command = environment;
    command += " timeout -k 5 120 ";
    command += shellWord(exe);
    for (const std::string& arg : args) {
        command += ' ';
        command += shellWord(arg);
    }
    command += " </dev/null 2>";
    command += shellWord(tmp / "stderr");
    ToolRun result;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        result.out.append(buffer, n);
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = readFile(tmp / "stderr");
    return result;
}

RunResult runImporter(const std::vector<std::string>& args)
{
    const ToolRun run = runTool(LUMIDRA_IMPORT_EXE, args);
    return {run.exitCode, run.out + run.err};
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        result.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return result;
}

std::vector<std::uint32_t> loadRawSlice(const fs::path& path)
{
    std::vector<std::uint32_t> samples(kSliceSamples, 0xffffffffu);
    EXPECT_EQ(fs::file_size(path), 2u * kSliceSamples) << path;
    EXPECT_EQ(readRawSlice(samples.data(), path.c_str()), kSliceSamples) << path;
    return samples;
}

std::vector<std::uint32_t> loadPgmSlice(const fs::path& path)
{
    std::vector<std::uint32_t> samples(kSliceSamples, 0xffffffffu);
    EXPECT_EQ(readPgmSlice(samples.data(), path.c_str()), kSliceSamples) << path;
    return samples;
}

std::uint32_t shownAt(const std::vector<std::uint32_t>& samples, int x, int y)
{
    return samples[sampleShownAt(x, y)];
}

std::vector<std::pair<int, int>> shownNonZero(const std::vector<std::uint32_t>& samples)
{
    std::vector<std::pair<int, int>> positions;
    for (int y = 0; y < kSliceSide; ++y) {
        for (int x = 0; x < kSliceSide; ++x) {
            if (shownAt(samples, x, y) != 0)
                positions.emplace_back(x, y);
        }
    }
    return positions;
}

} // namespace importtest
