// Every hostile file of the corpus through the file readers: a defined
// result, every sample written, and for PGM the reference's verdict.
#include "volume/SliceLoader.h"

#include "PgmReference.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<std::string> corpusFiles(const char* kind)
{
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(
             std::filesystem::path(LUMIDRA_CORPUS_DIR) / kind))
        if (entry.is_regular_file())
            files.push_back(entry.path().string());
    return files;
}

// Filled with a pattern no reader writes, so an unwritten sample shows.
std::vector<std::uint32_t> unwritten()
{
    return std::vector<std::uint32_t>(kSliceSamples, 0xA5A5A5A5);
}

} // namespace

TEST(SliceCorpus, EveryPgmFileReadsAsTheReferenceReadsIt)
{
    std::vector<std::string> files = corpusFiles("pgm");
    ASSERT_GE(files.size(), 20u);
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        std::vector<std::uint32_t> got = unwritten();
        testing::internal::CaptureStdout();
        int result = readPgmSlice(got.data(), path.c_str());
        std::string output = testing::internal::GetCapturedStdout();

        std::vector<std::uint32_t> want = unwritten();
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                             std::fclose);
        ASSERT_TRUE(file);
        testing::internal::CaptureStdout();
        int wanted = referenceReadPgm(file.get(), want.data());
        std::string wantedOutput = testing::internal::GetCapturedStdout();

        EXPECT_TRUE(result == kSliceSamples || result == -1) << result;
        EXPECT_EQ(result, wanted);
        EXPECT_EQ(output, "File opened: " + path + "\n" + wantedOutput);
        EXPECT_TRUE(got == want);
    }
}

TEST(SliceCorpus, EveryRawFileGivesItsCompleteGroupsAndZeros)
{
    std::vector<std::string> files = corpusFiles("raw");
    ASSERT_GE(files.size(), 6u);
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        std::vector<std::uint32_t> got = unwritten();
        testing::internal::CaptureStdout();
        int result = readRawSlice(got.data(), path.c_str());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "File opened: " + path + "\n");

        auto size = std::min<std::size_t>(std::filesystem::file_size(path), kRawSliceBytes);
        EXPECT_EQ(result, static_cast<int>(size / 4 * 2));
        for (int i = 0; i < kSliceSamples; ++i)
            ASSERT_LE(got[i], i < result ? 65535u : 0u) << "sample " << i;
    }
}
