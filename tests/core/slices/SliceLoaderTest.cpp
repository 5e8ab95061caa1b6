// Loading image directories written to a temporary directory.
#include "core/slices/SliceLoader.h"

#include "core/common/SliceGeometry.h"

#include "SliceFiles.h"

#include "CaptureStdout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <sys/stat.h>

using namespace lumidra;

using slicefiles::sliceName;
using slicefiles::TempDir;
using slicefiles::writeFile;

namespace {

struct Loaded {
    SampleStack stack;
    int count = 0;
    std::string output;

    std::uint32_t at(int x, int y, int z) const
    {
        return stack.samples[gridIndex(x, y, z, kSliceSide, kSliceSide)];
    }
};

Loaded load(const char* dir, std::size_t budget = SIZE_MAX)
{
    Loaded l;
    l.output = capturedStdout([&] {
        l.count = budget == SIZE_MAX ? loadSliceStack(l.stack, dir)
                                     : loadSliceStackWithin(l.stack, dir, budget);
    });
    return l;
}

// A short raw slice whose first sample is its own number, so misplaced slices show.
void writeRaw(const TempDir& dir, int number)
{
    writeFile(dir.file(sliceName(number, "")),
              slicefiles::rawSlice({static_cast<std::uint16_t>(number), 4095, 4096, 1}));
}

void writePgm(const TempDir& dir, int number, std::uint8_t value)
{
    writeFile(dir.file(sliceName(number, ".pgm")),
              slicefiles::plainPgm(std::vector<std::uint8_t>(kSliceSamples, value)));
}

} // namespace

TEST(SliceLoader, SliceZeroDecidesTheKindAndCountingStopsAtTheFirstGap)
{
    TempDir pgm;
    writePgm(pgm, 0, 255);
    writeRaw(pgm, 0);
    writeRaw(pgm, 1);
    Loaded l = load(pgm.prefix().c_str());
    ASSERT_EQ(l.count, 1);
    EXPECT_EQ(l.at(255, 255, 0), 4080u);
    EXPECT_EQ(l.output, "File opened: " + pgm.prefix() + "slice000.pgm\n");

    TempDir raw;
    for (int number : {0, 1, 3})
        writeRaw(raw, number);
    l = load(raw.prefix().c_str());
    ASSERT_EQ(l.stack.count, 2);
    EXPECT_EQ(l.output, "File opened: " + raw.prefix() + "slice000\nFile opened: " + raw.prefix() +
                            "slice001\n");
    EXPECT_EQ(l.at(0, 0, 1), 1u);
    EXPECT_EQ(l.at(2, 0, 1), 4096u);
    EXPECT_EQ(l.at(255, 255, 1), 0u); // past the end of the file
}

TEST(SliceLoader, SlicesPastNumber999HaveFourDigitsAndLandInOrder)
{
    TempDir dir;
    for (int number = 0; number <= 1000; ++number)
        writeRaw(dir, number);
    Loaded l = load(dir.prefix().c_str());
    ASSERT_EQ(l.count, 1001);
    EXPECT_NE(l.output.find("File opened: " + dir.prefix() + "slice1000\n"), std::string::npos);
    for (int z = 0; z <= 1000; ++z)
        ASSERT_EQ(l.at(0, 0, z), static_cast<std::uint32_t>(z));
}

TEST(SliceLoader, AFailedSliceCountsAsZerosAndLoadingGoesOn)
{
    TempDir dir;
    writePgm(dir, 0, 1);
    writeFile(dir.file("slice001.pgm"), "P5\n256 256\n255\n");
    writeFile(dir.file("slice002.pgm"), "P2\n256 256\n255\n9 9 x");
    writePgm(dir, 3, 3);
    ASSERT_EQ(::mkfifo(dir.file("slice004.pgm").c_str(), 0600), 0); // must not stall the load
    Loaded l = load(dir.prefix().c_str());
    ASSERT_EQ(l.count, 5);
    const std::string p = "File opened: " + dir.prefix();
    EXPECT_EQ(l.output, p + "slice000.pgm\n" + p + "slice001.pgm\nP5 invalid .pgm type" + p +
                            "slice002.pgm\n" + p + "slice003.pgm\n" + p +
                            "slice004.pgm\n invalid .pgm type");
    for (int i = 0; i < kSliceSamples; ++i) {
        int x = i % kSliceSide;
        int y = i / kSliceSide;
        ASSERT_EQ(l.at(x, y, 0), 16u);
        ASSERT_EQ(l.at(x, y, 1), 0u);
        ASSERT_EQ(l.at(x, y, 2), i < 2 ? 144u : 0u);
        ASSERT_EQ(l.at(x, y, 3), 48u);
        ASSERT_EQ(l.at(x, y, 4), 0u);
    }
}

TEST(SliceLoader, ADirectoryWithoutSliceZeroHasNoSlices)
{
    TempDir dir;
    writeRaw(dir, 1);
    Loaded l = load(dir.prefix().c_str());
    EXPECT_EQ(l.count, 0);
    EXPECT_EQ(l.stack.size(), 0u);
    EXPECT_EQ(l.output, "");

    // The directory is a prefix used as given: without its '/' nothing matches.
    writeRaw(dir, 0);
    EXPECT_EQ(load(dir.path().c_str()).count, 0);
}

// The loader names the slices of a directory itself: a slice path of the
// longest length loads, one a character longer is not found.
TEST(SliceLoader, SlicePathsOfTheLongestLengthLoadFromADirectory)
{
    for (const int over : {0, 1}) {
        SCOPED_TRACE(over ? "one character over" : "the longest");
        TempDir root;
        // The directory, its '/' and "slice000" make the path.
        const std::string dir =
            slicefiles::directoryOfLength(root.path(), kMaxSlicePath - 9 + over) + "/";
        for (std::uint16_t number : {0, 1})
            writeFile(dir + sliceName(number, ""), slicefiles::rawSlice({number, 4095}));
        ASSERT_EQ((dir + "slice000").size(), static_cast<std::size_t>(kMaxSlicePath + over));
        Loaded l = load(dir.c_str());
        if (over) {
            EXPECT_EQ(l.count, 0);
            EXPECT_EQ(l.output, "");
            continue;
        }
        ASSERT_EQ(l.count, 2);
        EXPECT_EQ(l.at(0, 0, 1), 1u);
        EXPECT_EQ(l.at(1, 0, 1), 4095u);
        EXPECT_EQ(l.output, "File opened: " + dir + "slice000\nFile opened: " + dir + "slice001\n");
    }
}

TEST(SliceLoader, AStackOverTheMemoryBudgetIsRefusedWhole)
{
    TempDir dir;
    for (int number = 0; number < 3; ++number)
        writeRaw(dir, number);
    Loaded l = load(dir.prefix().c_str(), 3 * kBytesPerSampleSlice);
    EXPECT_EQ(l.count, 3);

    int count = 0;
    EXPECT_EQ(capturedStdout([&] {
                  count = loadSliceStackWithin(l.stack, dir.prefix().c_str(),
                                               3 * kBytesPerSampleSlice - 1);
              }),
              "Not enough memory for 3 slices of " + dir.prefix() + "\n");
    EXPECT_EQ(count, 0);
    EXPECT_EQ(l.stack.count, 0);
    EXPECT_EQ(l.stack.samples, nullptr);
}

TEST(SliceLoader, WithoutADirectoryItReadsDataUnderTheWorkingDirectory)
{
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "data");
    writeFile(dir.file("data/slice000"), slicefiles::rawSlice({5, 6}));
    auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    Loaded l = load(nullptr);
    std::filesystem::current_path(previous);
    EXPECT_EQ(l.count, 1);
    EXPECT_EQ(l.output, "File opened: ./data/slice000\n");
    EXPECT_EQ(l.at(0, 0, 0), 5u);
}
