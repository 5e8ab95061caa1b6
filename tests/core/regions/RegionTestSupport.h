#pragma once

#include "FifoGuard.h"
#include "TestFiles.h"
#include "core/common/TextField.h"
#include "core/regions/ImgMaterial.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using testfiles::FifoGuard;
using testfiles::TempDir;
using testfiles::WorkingDir;

using testfiles::readFile;
using testfiles::writeFile;

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
