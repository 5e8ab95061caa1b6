// The file readers: what they print, and which paths open.
#include "core/slices/SliceLoader.h"

#include "SliceFiles.h"

#include "CaptureStdout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace lumidra;

using slicefiles::TempDir;
using slicefiles::writeFile;

namespace {

struct Read {
    int result = 0;
    std::vector<std::uint32_t> samples = std::vector<std::uint32_t>(kSliceSamples, 0xDEADBEEF);
    std::string output;

    bool allZero() const
    {
        return std::all_of(samples.begin(), samples.end(), [](auto s) { return s == 0; });
    }
};

Read readWith(int (*reader)(std::uint32_t*, const char*), const std::string& path)
{
    Read r;
    r.output = capturedStdout([&] { r.result = reader(r.samples.data(), path.c_str()); });
    return r;
}

} // namespace

TEST(SliceReaders, ReportEachFileOpenedOrNotFound)
{
    TempDir dir;
    std::string raw = dir.file("slice000");
    std::vector<std::uint16_t> values(kSliceSamples + 4, 7); // longer than a slice
    values[kSliceSamples - 1] = 4095;
    writeFile(raw, slicefiles::rawSlice(values));
    Read r = readWith(readRawSlice, raw);
    EXPECT_EQ(r.result, kSliceSamples);
    EXPECT_EQ(r.output, "File opened: " + raw + "\n");
    EXPECT_EQ(r.samples[kSliceSamples - 1], 4095u);

    std::string pgm = dir.file("slice000.pgm");
    writeFile(pgm, "P2\n256 256\n256\n1 2 3\n");
    r = readWith(readPgmSlice, pgm);
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.output,
              "File opened: " + pgm + "\nParameters not correct, should be 256, 256, 255");
    EXPECT_TRUE(r.allZero());

    // A directory opens for reading on Linux; it reads as an empty file.
    std::string folder = dir.file("slice001.pgm");
    std::filesystem::create_directory(folder);
    EXPECT_EQ(readWith(readPgmSlice, folder).output,
              "File opened: " + folder + "\n invalid .pgm type");

    for (auto reader : {readRawSlice, readPgmSlice}) {
        std::string missing = dir.file("slice002.pgm");
        r = readWith(reader, missing);
        EXPECT_EQ(r.result, -1);
        EXPECT_EQ(r.output, "File not found: " + missing + "\n");
        EXPECT_TRUE(r.allZero());
    }
}

// 1,023 characters is the longest path a slice may have; the same file
// named with one character more cannot be opened.
TEST(SliceReaders, APathOverTheLongestSlicePathIsNotFound)
{
    TempDir dir;
    const std::string path = slicefiles::directoryOfLength(dir.path(), kMaxSlicePath - 100);
    const std::string name = "slice000" + std::string(100 - 1 - 8, 'x');
    ASSERT_EQ(path.size() + 1 + name.size(), static_cast<std::size_t>(kMaxSlicePath));
    writeFile(path + "/" + name, "\x01\x02\x03\x04");

    EXPECT_EQ(readWith(readRawSlice, path + "/" + name).result, 2);
    Read r = readWith(readRawSlice, path + "//" + name);
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.output, "File not found: " + path + "//" + name + "\n");
    EXPECT_TRUE(r.allZero());
}
