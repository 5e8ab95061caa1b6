#include "core/common/AtomicFile.h"
#include "core/common/StagedFile.h"

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

TEST(AtomicFile, ANameUpToTheFileSystemsLimitSavesAndItsTemporaryIsCutAtACharacter)
{
    TempDir dir;
    // 245 and 255 bytes: the temporary's ".NAME.XXXXXX" would pass 255.
    for (const std::size_t length : {245u, 255u}) {
        const std::string path = dir.file(std::string(length, 'r'));
        EXPECT_TRUE(lumidra::writeFileAtomically(path.c_str(), [](std::FILE* out) {
            return std::fputs("saved\n", out) >= 0;
        })) << length;
        EXPECT_EQ(readFile(path), "saved\n");
    }
    // With a suffix, and a name of two-byte characters cut where one starts.
    std::string umlauts;
    while (umlauts.size() < 240)
        umlauts += "\xC3\xBC";
    lumidra::StagedFile staged(dir.file(umlauts + ".nii.gz"), ".nii.gz");
    const std::string temp = std::filesystem::path(staged.temporaryPath()).filename();
    EXPECT_LE(temp.size(), 255u);
    EXPECT_EQ(temp.substr(temp.size() - 7), ".nii.gz");
    EXPECT_EQ(temp.find("\xC3."), std::string::npos) << "no half character before the random part";
    staged.write("x");
    staged.commit();
    EXPECT_EQ(readFile(dir.file(umlauts + ".nii.gz")), "x");
    EXPECT_EQ(testfiles::fileNames(dir.path()).size(), 3u) << "no temporary left";
}
