#pragma once

#include "TestFiles.h"
#include "core/common/TextField.h"
#include "core/regions/ImgMaterial.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include <unistd.h>

using testfiles::TempDir;
using testfiles::WorkingDir;

inline void writeText(const std::string& path, const std::string& text)
{
    testfiles::writeFile(path, text);
}

inline std::string readText(const std::string& path)
{
    return testfiles::readFile(path);
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
    lumidra::copyBounded(m.name, r.name.c_str());
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
