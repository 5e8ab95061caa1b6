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
                 }).failure.empty());
    EXPECT_EQ(readFile(path), "old\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);

    EXPECT_EQ(lumidra::writeFileAtomically(
                  path.c_str(), [](std::FILE* out) { return std::fputs("new\n", out) >= 0; })
                  .failure,
              "");
    EXPECT_EQ(readFile(path), "new\n");
    EXPECT_FALSE(lumidra::writeFileAtomically("", [](std::FILE*) { return true; }));
    // The reason names the file and what went wrong.
    const std::string missing = dir.file("missing/x.csv");
    const std::string why =
        lumidra::writeFileAtomically(missing.c_str(), [](std::FILE*) { return true; }).failure;
    EXPECT_NE(why.find("No such file or directory"), std::string::npos) << why;
}
