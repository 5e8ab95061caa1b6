#include "volume/SliceLoader.h"

#include "SliceFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using slicefiles::TempDir;
using slicefiles::writeFile;

namespace {

constexpr std::uint32_t kUnwritten = 0xDEADBEEF;

struct Read {
    int result = 0;
    std::vector<std::uint32_t> samples = std::vector<std::uint32_t>(kSliceSamples, kUnwritten);
    std::string output;
};

template <typename Reader>
Read readWith(Reader reader, const std::string& path)
{
    Read r;
    testing::internal::CaptureStdout();
    r.result = reader(r.samples.data(), path.c_str());
    r.output = testing::internal::GetCapturedStdout();
    return r;
}

bool allZero(const std::vector<std::uint32_t>& samples)
{
    for (std::uint32_t s : samples)
        if (s != 0)
            return false;
    return true;
}

} // namespace

TEST(SliceReaders, ReportEachFileOpenedOrNotFound)
{
    TempDir dir;
    std::string raw = dir.file("slice000");
    writeFile(raw, std::string_view("\x01\x02\x03\x04\x05", 5));
    Read r = readWith(readRawSlice, raw);
    EXPECT_EQ(r.result, 2);
    EXPECT_EQ(r.output, "File opened: " + raw + "\n");
    EXPECT_EQ(r.samples[0], 258u);
    EXPECT_EQ(r.samples[2], 0u);

    std::string pgm = dir.file("slice000.pgm");
    writeFile(pgm, "P2\n256 256\n256\n1 2 3\n");
    r = readWith(readPgmSlice, pgm);
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.output, "File opened: " + pgm + "\nParameters not correct, should be 256, 256, 255");
    EXPECT_TRUE(allZero(r.samples));

    for (auto reader : {readRawSlice, readPgmSlice}) {
        std::string missing = dir.file("slice001.pgm");
        r = readWith(reader, missing);
        EXPECT_EQ(r.result, -1);
        EXPECT_EQ(r.output, "File not found: " + missing + "\n");
        EXPECT_TRUE(allZero(r.samples));
    }
}

TEST(SliceReaders, ALongRawFileGivesOneSlice)
{
    TempDir dir;
    std::vector<std::uint16_t> values(kSliceSamples * 2, 7);
    values[kSliceSamples - 1] = 4095;
    values[kSliceSamples] = 1; // first sample past the slice
    writeFile(dir.file("slice000"), slicefiles::rawSlice(values));
    Read r = readWith(readRawSlice, dir.file("slice000"));
    EXPECT_EQ(r.result, kSliceSamples);
    EXPECT_EQ(r.samples[0], 7u);
    EXPECT_EQ(r.samples[kSliceSamples - 1], 4095u);
}

// 1,023 characters is the longest path a slice may have; the same file
// named with one character more cannot be opened.
TEST(SliceReaders, APathOverTheLongestSlicePathIsNotFound)
{
    TempDir dir;
    std::string path = dir.path().string();
    while (path.size() + 1 + 200 + 1 + 8 < static_cast<std::size_t>(kMaxSlicePath)) {
        path += "/" + std::string(200, 'd');
        ASSERT_TRUE(std::filesystem::create_directory(path));
    }
    std::size_t nameLength = kMaxSlicePath - path.size() - 1;
    std::string name = "slice000" + std::string(nameLength - 8, 'x');
    std::string file = path + "/" + name;
    ASSERT_EQ(file.size(), static_cast<std::size_t>(kMaxSlicePath));
    writeFile(file, "\x01\x02\x03\x04");

    EXPECT_EQ(readWith(readRawSlice, file).result, 2);
    std::string longer = path + "//" + name;
    Read r = readWith(readRawSlice, longer);
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.output, "File not found: " + longer + "\n");
    EXPECT_TRUE(allZero(r.samples));
}

// A directory opens for reading on Linux; it reads as an empty file.
TEST(SliceReaders, ADirectoryNamedLikeASliceReadsAsEmpty)
{
    TempDir dir;
    std::string folder = dir.file("slice000.pgm");
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    Read r = readWith(readPgmSlice, folder);
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.output, "File opened: " + folder + "\n invalid .pgm type");
    EXPECT_TRUE(allZero(r.samples));
}
