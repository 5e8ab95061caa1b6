#include "volume/SliceLoader.h"

#include "volume/GridIndex.h"
#include "SliceFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

using slicefiles::sliceName;
using slicefiles::TempDir;
using slicefiles::writeFile;

namespace {

struct Loaded {
    SampleStack stack;
    int count = 0;
    std::string output;
};

Loaded load(const std::string& dir, std::size_t budget = SIZE_MAX)
{
    Loaded l;
    testing::internal::CaptureStdout();
    l.count = budget == SIZE_MAX ? loadSliceStack(l.stack, dir.c_str())
                                 : loadSliceStackWithin(l.stack, dir.c_str(), budget);
    l.output = testing::internal::GetCapturedStdout();
    return l;
}

// A raw slice whose first sample is its own number, so misplaced slices show.
std::string numberedRaw(int number)
{
    return slicefiles::rawSlice({static_cast<std::uint16_t>(number), 4095, 4096, 1});
}

std::string plainPgmOf(std::uint8_t value)
{
    return slicefiles::plainPgm(std::vector<std::uint8_t>(kSliceSamples, value));
}

} // namespace

TEST(SliceLoader, SliceZeroDecidesTheKindForTheWholeDirectory)
{
    TempDir dir;
    writeFile(dir.file("slice000.pgm"), plainPgmOf(255));
    writeFile(dir.file("slice001"), numberedRaw(1));
    writeFile(dir.file("slice000"), numberedRaw(0));
    Loaded l = load(dir.prefix());
    ASSERT_EQ(l.count, 1);
    ASSERT_EQ(l.stack.count, 1);
    EXPECT_EQ(l.stack.samples[0], 4080u);
    EXPECT_EQ(l.stack.samples[kSliceSamples - 1], 4080u);
    EXPECT_EQ(l.output, "File opened: " + dir.prefix() + "slice000.pgm\n");
}

TEST(SliceLoader, CountingStopsAtTheFirstGap)
{
    TempDir dir;
    for (int number : {0, 1, 3})
        writeFile(dir.file(sliceName(number, "")), numberedRaw(number));
    Loaded l = load(dir.prefix());
    ASSERT_EQ(l.count, 2);
    EXPECT_EQ(l.output, "File opened: " + dir.prefix() + "slice000\nFile opened: " + dir.prefix() +
                            "slice001\n");
    EXPECT_EQ(l.stack.samples[gridIndex(0, 0, 1, kSliceSide, kSliceSide)], 1u);
    EXPECT_EQ(l.stack.samples[gridIndex(1, 0, 1, kSliceSide, kSliceSide)], 4095u);
    EXPECT_EQ(l.stack.samples[gridIndex(2, 0, 1, kSliceSide, kSliceSide)], 4096u);
    EXPECT_EQ(l.stack.samples[gridIndex(255, 255, 1, kSliceSide, kSliceSide)], 0u);
}

TEST(SliceLoader, SlicesPastNumber999HaveFourDigitsAndLandInOrder)
{
    TempDir dir;
    for (int number = 0; number <= 1000; ++number)
        writeFile(dir.file(sliceName(number, "")), numberedRaw(number));
    Loaded l = load(dir.prefix());
    ASSERT_EQ(l.count, 1001);
    EXPECT_NE(l.output.find("File opened: " + dir.prefix() + "slice1000\n"), std::string::npos);
    EXPECT_NE(l.output.find("File opened: " + dir.prefix() + "slice007\n"), std::string::npos);
    for (int z = 0; z <= 1000; ++z)
        ASSERT_EQ(l.stack.samples[gridIndex(0, 0, z, kSliceSide, kSliceSide)],
                  static_cast<std::uint32_t>(z));
}

TEST(SliceLoader, AFailedSliceCountsAsZerosAndLoadingGoesOn)
{
    TempDir dir;
    writeFile(dir.file("slice000.pgm"), plainPgmOf(1));
    writeFile(dir.file("slice001.pgm"), "P5\n256 256\n255\n");
    writeFile(dir.file("slice002.pgm"), "P2\n256 256\n255\n9 9 x");
    writeFile(dir.file("slice003.pgm"), plainPgmOf(3));
    Loaded l = load(dir.prefix());
    ASSERT_EQ(l.count, 4);
    const std::string p = dir.prefix();
    EXPECT_EQ(l.output, "File opened: " + p + "slice000.pgm\nFile opened: " + p +
                            "slice001.pgm\nP5 invalid .pgm typeFile opened: " + p +
                            "slice002.pgm\nFile opened: " + p + "slice003.pgm\n");
    const std::uint32_t* s = l.stack.samples.get();
    for (int i = 0; i < kSliceSamples; ++i) {
        ASSERT_EQ(s[gridIndex(i, 0, 0, kSliceSamples, 1)], 16u);
        ASSERT_EQ(s[gridIndex(i, 0, 1, kSliceSamples, 1)], 0u);
        ASSERT_EQ(s[gridIndex(i, 0, 2, kSliceSamples, 1)], i < 2 ? 144u : 0u);
        ASSERT_EQ(s[gridIndex(i, 0, 3, kSliceSamples, 1)], 48u);
    }
}

TEST(SliceLoader, ADirectoryWithoutSliceZeroHasNoSlices)
{
    TempDir dir;
    writeFile(dir.file("slice001"), numberedRaw(1));
    Loaded l = load(dir.prefix());
    EXPECT_EQ(l.count, 0);
    EXPECT_EQ(l.stack.count, 0);
    EXPECT_EQ(l.stack.size(), 0u);
    EXPECT_EQ(l.output, "");

    // The directory is a prefix used as given: without its '/' nothing matches.
    writeFile(dir.file("slice000"), numberedRaw(0));
    EXPECT_EQ(load(dir.path().string()).count, 0);
}

TEST(SliceLoader, AStackOverTheMemoryBudgetIsRefusedWhole)
{
    TempDir dir;
    for (int number = 0; number < 3; ++number)
        writeFile(dir.file(sliceName(number, "")), numberedRaw(number));

    Loaded l = load(dir.prefix(), 3 * kBytesPerLoadedSlice);
    EXPECT_EQ(l.count, 3);

    testing::internal::CaptureStdout();
    int count = loadSliceStackWithin(l.stack, dir.prefix().c_str(), 3 * kBytesPerLoadedSlice - 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Not enough memory for 3 slices of " + dir.prefix() + "\n");
    EXPECT_EQ(count, 0);
    EXPECT_EQ(l.stack.count, 0);
    EXPECT_EQ(l.stack.samples, nullptr);
}

TEST(SliceLoader, WithoutADirectoryItReadsDataUnderTheWorkingDirectory)
{
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "data");
    writeFile(dir.file("data/slice000"), numberedRaw(5));
    auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    SampleStack stack;
    testing::internal::CaptureStdout();
    int count = loadSliceStack(stack);
    std::string output = testing::internal::GetCapturedStdout();
    std::filesystem::current_path(previous);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(output, "File opened: ./data/slice000\n");
    EXPECT_EQ(stack.samples[0], 5u);
}

TEST(SliceLoader, APipeNamedLikeASliceDoesNotStallTheLoad)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("slice000").c_str(), 0600), 0);
    writeFile(dir.file("slice001"), numberedRaw(1));
    Loaded l = load(dir.prefix());
    ASSERT_EQ(l.count, 2);
    EXPECT_EQ(l.stack.samples[0], 0u);
    EXPECT_EQ(l.stack.samples[kSliceSamples], 1u);
}
