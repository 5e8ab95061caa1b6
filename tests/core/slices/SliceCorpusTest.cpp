// Every hostile file of the corpus through the file readers: a defined
// result, every sample written, and for PGM the reference's verdict.
#include "core/slices/SliceLoader.h"

#include "PgmReference.h"

#include "CaptureStdout.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace lumidra;

namespace {

std::vector<std::string> corpus(const char* kind)
{
    return testfiles::filePaths(std::filesystem::path(LUMIDRA_CORPUS_DIR) / kind);
}

// A pattern no reader writes, so an unwritten sample shows.
constexpr std::uint32_t kUnwritten = 0xA5A5A5A5;

} // namespace

TEST(SliceCorpus, EveryPgmFileReadsAsTheReferenceReadsIt)
{
    std::vector<std::string> files = corpus("pgm");
    ASSERT_GE(files.size(), 20u);
    for (const std::string& path : files) {
        std::vector<std::uint32_t> got(kSliceSamples, kUnwritten);
        int result = 0;
        std::string output =
            capturedStdout([&] { result = readPgmSlice(got.data(), path.c_str()); });

        std::vector<std::uint32_t> want(kSliceSamples, kUnwritten);
        std::FILE* file = std::fopen(path.c_str(), "rb");
        ASSERT_NE(file, nullptr) << path;
        int wanted = 0;
        std::string wantedOutput =
            capturedStdout([&] { wanted = referenceReadPgm(file, want.data()); });
        std::fclose(file);

        EXPECT_TRUE(result == kSliceSamples || result == -1) << path;
        EXPECT_EQ(result, wanted) << path;
        EXPECT_EQ(output, "File opened: " + path + "\n" + wantedOutput) << path;
        EXPECT_TRUE(got == want) << path;
    }
}

TEST(SliceCorpus, EveryRawFileGivesItsCompleteGroupsAndZeros)
{
    std::vector<std::string> files = corpus("raw");
    ASSERT_GE(files.size(), 6u);
    for (const std::string& path : files) {
        std::vector<std::uint32_t> got(kSliceSamples, kUnwritten);
        int result = 0;
        EXPECT_EQ(capturedStdout([&] { result = readRawSlice(got.data(), path.c_str()); }),
                  "File opened: " + path + "\n");
        auto size = std::min<std::size_t>(std::filesystem::file_size(path), kRawSliceBytes);
        EXPECT_EQ(result, static_cast<int>(size / 4 * 2)) << path;
        for (int i = 0; i < kSliceSamples; ++i)
            ASSERT_LE(got[i], i < result ? 65535u : 0u) << path << " sample " << i;
    }
}
