#include "core/common/AtomicFile.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

using testfiles::readFile;
using testfiles::TempDir;

TEST(AtomicFile, AWriterThatFailsHalfwayLeavesTheOldFileAndNoTemporary)
{
    TempDir dir;
    const std::string path = dir.file("stats.csv");
    testfiles::writeFile(path, "old\n");

    EXPECT_FALSE(lumidra::writeFileAtomically(path.c_str(), [](std::FILE* out) {
        std::fputs("half of the new text", out);
        return false;
    }));
    EXPECT_EQ(readFile(path), "old\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);

    EXPECT_TRUE(lumidra::writeFileAtomically(
        path.c_str(), [](std::FILE* out) { return std::fputs("new\n", out) >= 0; }));
    EXPECT_EQ(readFile(path), "new\n");
    EXPECT_FALSE(lumidra::writeFileAtomically("", [](std::FILE*) { return true; }));
    EXPECT_FALSE(lumidra::writeFileAtomically(dir.file("missing/x.csv").c_str(),
                                              [](std::FILE*) { return true; }));
}
