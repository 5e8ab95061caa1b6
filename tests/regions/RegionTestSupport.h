#pragma once

#include "common/TextField.h"
#include "regions/ImgMaterial.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include <unistd.h>

// A fresh directory under the system temp dir, removed with its contents.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumidra-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string file(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

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
    ~WorkingDir() { std::filesystem::current_path(old_); }
    WorkingDir(const WorkingDir&) = delete;
    WorkingDir& operator=(const WorkingDir&) = delete;

private:
    std::filesystem::path old_;
};

inline void writeText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What a test expects of one record.
struct Region {
    std::string name;
    int min, max, red, green, blue;
};

inline std::string describe(const imgMaterial& r)
{
    std::ostringstream s;
    s << '"' << r.name << "\" " << r.min << ' ' << r.max << ' ' << r.red << ' ' << r.green << ' '
      << r.blue;
    return s.str();
}

inline imgMaterial makeRecord(const Region& r)
{
    imgMaterial m{};
    copyBounded(m.name, r.name.c_str());
    m.min = r.min;
    m.max = r.max;
    m.red = r.red;
    m.green = r.green;
    m.blue = r.blue;
    return m;
}

inline std::string describe(const Region& r)
{
    return describe(makeRecord(r));
}
