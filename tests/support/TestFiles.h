#pragma once

// Scratch files for tests: a temporary directory removed with its contents, a
// guard that runs a test inside a directory, and whole-file reads and writes.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace testfiles {

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumidra-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a temporary directory");
        path_ = pattern;
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    const std::filesystem::path& path() const { return path_; }
    // The directory as the slice loader takes it: a prefix ending in '/'.
    std::string prefix() const { return path_.string() + "/"; }
    std::string file(std::string_view name) const { return (path_ / name).string(); }
    std::string operator/(std::string_view name) const { return file(name); }

private:
    std::filesystem::path path_;
};

// Runs the test inside dir, so "./data/..." resolves there; restores the old
// working directory on exit.
class WorkingDir {
public:
    explicit WorkingDir(const std::filesystem::path& dir) : old_(std::filesystem::current_path())
    {
        std::filesystem::current_path(dir);
    }
    WorkingDir(const WorkingDir&) = delete;
    WorkingDir& operator=(const WorkingDir&) = delete;
    ~WorkingDir() { std::filesystem::current_path(old_); }

private:
    std::filesystem::path old_;
};

inline void writeFile(const std::filesystem::path& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

inline std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The names of the entries of dir, sorted.
inline std::vector<std::string> fileNames(const std::filesystem::path& dir)
{
    std::vector<std::string> names;
    for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The paths of the entries of dir, sorted.
inline std::vector<std::string> filePaths(const std::filesystem::path& dir)
{
    std::vector<std::string> paths;
    for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(dir))
        paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

} // namespace testfiles
