#include "ImportTestSupport.h"

#include "core/common/SliceGeometry.h"
#include "core/volume/SliceLoader.h"

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

template <typename T> void store(nifti_image& nim, std::size_t index, double value)
{
    static_cast<T*>(nim.data)[index] = static_cast<T>(value);
}

std::string shellWord(const std::string& word)
{
    std::string quoted = "'";
    for (const char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

} // namespace

NiftiImagePtr makeVolume(int datatype, int nx, int ny, int nz, int nt)
{
    const int dims[8] = {nt > 1 ? 4 : 3, nx, ny, nz, nt, 1, 1, 1};
    NiftiImagePtr nim(nifti_make_new_nim(dims, datatype, 1));
    if (!nim)
        throw std::runtime_error("nifti_make_new_nim failed");
    setAxes(*nim, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
    return nim;
}

void setAxes(nifti_image& nim, const int (&rows)[3][3])
{
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            nim.sto_xyz.m[r][c] = static_cast<float>(rows[r][c]);
        nim.sto_xyz.m[r][3] = 0.0f;
        nim.sto_xyz.m[3][r] = 0.0f;
    }
    nim.sto_xyz.m[3][3] = 1.0f;
    nim.sform_code = NIFTI_XFORM_SCANNER_ANAT;
    nim.qform_code = NIFTI_XFORM_UNKNOWN;
}

void setVoxel(nifti_image& nim, std::size_t index, double value)
{
    switch (nim.datatype) {
    case DT_UINT8:
        return store<std::uint8_t>(nim, index, value);
    case DT_INT16:
        return store<std::int16_t>(nim, index, value);
    case DT_UINT16:
        return store<std::uint16_t>(nim, index, value);
    case DT_FLOAT32:
        return store<float>(nim, index, value);
    default:
        throw std::runtime_error("setVoxel: type not used by the tests");
    }
}

void saveVolume(nifti_image& nim, const std::string& path)
{
    if (nifti_set_filenames(&nim, path.c_str(), 0, 1) != 0)
        throw std::runtime_error("nifti_set_filenames failed for " + path);
    nifti_image_write(&nim);
    if (!fs::exists(path))
        throw std::runtime_error("nifti_image_write did not write " + path);
}

RunResult runImporter(const std::vector<std::string>& args)
{
    // Appended piece by piece: GCC 12 warns (falsely) about a temporary
    // built with " " + word in a Release build.
    std::string command = shellWord(LUMIDRA_IMPORT_EXE);
    for (const std::string& arg : args) {
        command += ' ';
        command += shellWord(arg);
    }
    command += " 2>&1";
    RunResult result;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        result.output.append(buffer, n);
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::vector<std::string> fileNames(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
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
