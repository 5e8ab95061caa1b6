#include "core/regions/RegionFile.h"
#include "core/regions/RegionTable.h"

#include "CaptureStdout.h"
#include "RegionTestSupport.h"

#include <csignal>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace lumidra;

namespace {

std::string startupTableText()
{
    std::string text = "#Number of Regions\n17\n\n";
    for (int k = 0; k < 16; ++k)
        text += "#Region" + std::to_string(k) + "\n" + std::to_string(16 * k) + "\n" +
                std::to_string(16 * k + 15) + "\n0\n0\n0\n\n";
    return text + "#Last Region\n0\n255\n0\n0\n0\n\n";
}

RegionTable startupTable(const TempDir& dir)
{
    WorkingDir inside(dir.path());
    RegionTable table;
    table.initRegions();
    return table;
}

std::size_t entriesIn(const std::filesystem::path& dir)
{
    return std::distance(std::filesystem::directory_iterator(dir),
                         std::filesystem::directory_iterator());
}

TEST(RegionWrite, StartupTableGivesTheExactText)
{
    TempDir dir;
    const RegionTable table = startupTable(dir);
    const std::string path = dir.file("table.rif");
    ASSERT_EQ(writeRegionFile(table.records(), kRegionCount, path.c_str()), 0);
    EXPECT_EQ(readFile(path), startupTableText());

    ASSERT_EQ(writeRegionFile(table.records(), 0, path.c_str()), 0);
    EXPECT_EQ(readFile(path), "#Number of Regions\n0\n\n");
}

TEST(RegionWrite, RoundTripKeepsNumbersAndFirstWordOfNames)
{
    TempDir dir;
    RegionTable saved = startupTable(dir);
    saved.defaultRegions();
    copyBounded(saved[4].name, "");
    saved[4].min = -7;
    saved[4].blue = 1000;
    const std::string path = dir.file("round.rif");
    ASSERT_EQ(writeRegionFile(saved.records(), kRegionCount, path.c_str()), 0);
    EXPECT_NE(readFile(path).find("\n#\n-7\n"), std::string::npos);

    RegionTable loaded;
    loaded.clearRegions();
    ASSERT_EQ(loaded.loadRegionFile(path.c_str()), kRegionCount);
    copyBounded(saved[16].name, "Last");
    for (int k = 0; k < kRegionCount; ++k)
        EXPECT_EQ(describe(loaded[k]), describe(saved[k])) << "record " << k;
}

TEST(RegionWrite, NameFillingItsFieldIsNotReadPast)
{
    TempDir dir;
    struct {
        imgMaterial record;
        char after[8];
    } padded{};
    std::memset(padded.record.name, 'n', sizeof padded.record.name);
    // Numbers and trailing bytes without a NUL, so an unbounded read shows.
    padded.record.min = padded.record.max = 0x58585858;
    padded.record.red = padded.record.green = padded.record.blue = 0x58585858;
    std::memset(padded.after, 'X', sizeof padded.after);
    const std::string path = dir.file("full.rif");
    ASSERT_EQ(writeRegionFile(&padded.record, 1, path.c_str()), 0);
    EXPECT_EQ(readFile(path).find('X'), std::string::npos);
    EXPECT_NE(readFile(path).find("#" + std::string(40, 'n') + "\n1482184792\n"),
              std::string::npos);
}

TEST(RegionWrite, FailedSaveLeavesNoTraceAndReportsIt)
{
    TempDir dir;
    const RegionTable table = startupTable(dir);
    const std::string inMissingDir = dir.file("no-such-dir/x.rif");
    std::filesystem::create_directory(dir.file("a-directory"));
    const std::string tooLong = dir.file(std::string(300, 'l'));

    const std::string printed = capturedStdout([&] {
        EXPECT_EQ(writeRegionFile(table.records(), kRegionCount, inMissingDir.c_str()), -1);
        EXPECT_EQ(writeRegionFile(table.records(), kRegionCount, dir.file("a-directory").c_str()),
                  -1);
        EXPECT_EQ(writeRegionFile(table.records(), kRegionCount, tooLong.c_str()), -1);
    });
    EXPECT_EQ(printed, "File not written: " + inMissingDir + "\nFile not written: " +
                           dir.file("a-directory") + "\nFile not written: " + tooLong + "\n");
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("a-directory")));
    EXPECT_EQ(entriesIn(dir.path()), 1u) << "a temporary file was left behind";
}

TEST(RegionWrite, WriteErrorKeepsTheOldFileByteIdentical)
{
    TempDir dir;
    const RegionTable table = startupTable(dir);
    const std::string path = dir.file("old.rif");
    const std::string old = "#Number of Regions\n1\n\n#Old\n1\n2\n3\n4\n5\n\n";
    writeFile(path, old);

    // A file size limit below the table's text makes the write itself fail,
    // after the temporary file exists; root is not exempt from it.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int result = writeRegionFile(table.records(), kRegionCount, path.c_str());
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(result, -1);
    EXPECT_EQ(readFile(path), old);
    EXPECT_EQ(entriesIn(dir.path()), 1u) << "a temporary file was left behind";
}

TEST(RegionWrite, ReplacedFileKeepsItsPermissionsNewFileFollowsUmask)
{
    TempDir dir;
    const RegionTable table = startupTable(dir);
    const std::string existing = dir.file("existing.rif");
    writeFile(existing, "old");
    ::chmod(existing.c_str(), 0640);
    ASSERT_EQ(writeRegionFile(table.records(), kRegionCount, existing.c_str()), 0);

    const mode_t oldMask = ::umask(027);
    const std::string fresh = dir.file("fresh.rif");
    const int result = writeRegionFile(table.records(), kRegionCount, fresh.c_str());
    ::umask(oldMask);
    ASSERT_EQ(result, 0);

    struct stat st {};
    ASSERT_EQ(::stat(existing.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(readFile(existing), startupTableText());
}

// A save through a symbolic link lands in the file the link names, so the
// link keeps pointing at the new content: through a relative link, a chain of
// two, and a link whose file does not exist yet. A loop of links is refused.
TEST(RegionWrite, SavingThroughASymbolicLinkReplacesTheFileItNames)
{
    TempDir dir;
    const RegionTable table = startupTable(dir);
    std::filesystem::create_directory(dir.file("sets"));
    writeFile(dir.file("sets/brain.rif"), "old");
    std::filesystem::create_symlink("sets/brain.rif", dir.file("current.rif"));
    std::filesystem::create_symlink(dir.file("current.rif"), dir.file("chained.rif"));
    std::filesystem::create_symlink("sets/new.rif", dir.file("dangling.rif"));
    std::filesystem::create_symlink("loop-b.rif", dir.file("loop-a.rif"));
    std::filesystem::create_symlink("loop-a.rif", dir.file("loop-b.rif"));

    for (const char* link : {"current.rif", "chained.rif"}) {
        SCOPED_TRACE(link);
        writeFile(dir.file("sets/brain.rif"), "old");
        ASSERT_EQ(writeRegionFile(table.records(), kRegionCount, dir.file(link).c_str()), 0);
        EXPECT_TRUE(std::filesystem::is_symlink(dir.file(link)));
        EXPECT_EQ(readFile(dir.file(link)), startupTableText());
        EXPECT_EQ(readFile(dir.file("sets/brain.rif")), startupTableText());
    }
    ASSERT_EQ(writeRegionFile(table.records(), 1, dir.file("dangling.rif").c_str()), 0);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("dangling.rif")));
    EXPECT_EQ(readFile(dir.file("sets/new.rif")).rfind("#Number of Regions\n1\n", 0), 0u);

    const std::string loop = dir.file("loop-a.rif");
    EXPECT_EQ(capturedStdout([&] {
                  EXPECT_EQ(writeRegionFile(table.records(), kRegionCount, loop.c_str()), -1);
              }),
              "File not written: " + loop + "\n");
    EXPECT_TRUE(std::filesystem::is_symlink(loop));
    EXPECT_EQ(entriesIn(dir.file("sets")), 2u) << "a temporary file was left behind";
}

// Every path through the reader and the writer closes what it opened.
TEST(RegionWrite, ReadingAndSavingLeaveNoFileOpen)
{
    TempDir dir;
    const RegionTable table = startupTable(dir);
    const std::size_t before = entriesIn("/proc/self/fd");
    const std::string path = dir.file("t.rif");
    std::vector<imgMaterial> records;
    capturedStdout([&] {
        for (int round = 0; round < 3; ++round) {
            EXPECT_EQ(writeRegionFile(table.records(), kRegionCount, path.c_str()), 0);
            EXPECT_EQ(writeRegionFile(table.records(), kRegionCount, dir.file("x/y").c_str()), -1);
            EXPECT_EQ(readRegionFile(records, path.c_str()), kRegionCount);
            EXPECT_EQ(readRegionFile(records, dir.path().c_str()), -1);
        }
    });
    EXPECT_EQ(entriesIn("/proc/self/fd"), before);
}

} // namespace
