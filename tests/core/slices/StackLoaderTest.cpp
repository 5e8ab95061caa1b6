// The stack the views keep: read on several threads yet reported in slice
// order, equal to the plain readers' samples, and one copy for two loads of
// the same slices.
#include "core/slices/SliceLoader.h"

#include "CaptureStdout.h"
#include "PgmReference.h"
#include "SliceFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>

using namespace lumidra;

using slicefiles::sliceName;
using slicefiles::TempDir;
using slicefiles::writeFile;

namespace {

// What the plain stdio reader makes of one PGM path: its lines and samples.
struct Expected {
    std::string output;
    std::vector<std::uint32_t> samples = std::vector<std::uint32_t>(kSliceSamples, 0);
};

// A FIFO with no writer reads as an empty file: the loader never waits on it
// (fopen would).
Expected referencePgm(const std::string& path)
{
    Expected e;
    if (std::filesystem::is_fifo(path)) {
        e.output = "File opened: " + path + "\n invalid .pgm type";
        return e;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        e.output = "File not found: " + path + "\n";
        return e;
    }
    e.output = "File opened: " + path + "\n" +
               capturedStdout([&] { referenceReadPgm(file, e.samples.data()); });
    std::fclose(file);
    return e;
}

// Whether slice z of the stack keeps what the 32-bit samples stand for: a
// raw stack their low 16 bits, a PGM stack their grey bytes.
::testing::AssertionResult holds(const SliceStack& stack, int z,
                                 const std::vector<std::uint32_t>& samples)
{
    const bool raw = stack.kind() == SliceStack::Kind::Samples;
    for (int i = 0; i < kSliceSamples; ++i)
        if (stack.greyAt(z, i) != greyOf(samples[i]) ||
            stack.sampleAt(z, i) !=
                (raw ? static_cast<std::uint16_t>(samples[i]) : greyOf(samples[i]) * 16))
            return ::testing::AssertionFailure() << "slice " << z << ", sample " << i;
    return ::testing::AssertionSuccess();
}

std::vector<std::string> corpus(const char* kind)
{
    return testfiles::filePaths(std::filesystem::path(LUMIDRA_CORPUS_DIR) / kind);
}

std::vector<std::uint16_t> rampSlice(int seed)
{
    std::vector<std::uint16_t> samples(kSliceSamples);
    for (int i = 0; i < kSliceSamples; ++i)
        samples[i] = static_cast<std::uint16_t>((i * 7 + seed * 131) % 4096);
    return samples;
}

std::vector<std::uint32_t> rampSamples(int seed)
{
    std::vector<std::uint16_t> samples = rampSlice(seed);
    return {samples.begin(), samples.end()};
}

void writeRawStack(const TempDir& dir, int count)
{
    for (int z = 0; z < count; ++z)
        writeFile(dir.file(sliceName(z, "")), slicefiles::rawSlice(rampSlice(z)));
}

// Slice z of a PGM stack: the grey bytes of rampSlice(seed).
void writePgmSlice(const TempDir& dir, int z, int seed)
{
    std::vector<std::uint8_t> grey;
    for (std::uint16_t sample : rampSlice(seed))
        grey.push_back(greyOf(sample));
    writeFile(dir.file(sliceName(z, ".pgm")), slicefiles::plainPgm(grey));
}

SharedSliceStack quietLoad(const SliceFileList& files, SharedSliceStack candidate, int threads)
{
    SharedSliceStack stack;
    capturedStdout([&] { stack = loadSliceFiles(files, std::move(candidate), threads); });
    return stack;
}

} // namespace

// Every hostile PGM file of the corpus, several times over, with missing
// files, a FIFO and a directory among them: each thread count prints what
// the plain reader prints file by file, and keeps what it reads.
TEST(StackLoader, ReportsInSliceOrderAndKeepsWhatThePlainReaderReads)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("fifo.pgm").c_str(), 0600), 0);
    std::filesystem::create_directory(dir.file("folder.pgm"));
    SliceFileList files;
    files.dir = dir.prefix();
    files.format = SliceFormat::Pgm;
    std::vector<std::string> hostile = corpus("pgm");
    ASSERT_GE(hostile.size(), 20u);
    for (int round = 0; round < 4; ++round) {
        files.paths.insert(files.paths.end(), hostile.begin(), hostile.end());
        files.paths.push_back(dir.file("missing" + std::to_string(round) + ".pgm"));
        files.paths.push_back(dir.file(round % 2 ? "fifo.pgm" : "folder.pgm"));
    }
    std::string wantedOutput;
    std::vector<Expected> expected;
    for (const std::string& path : files.paths) {
        expected.push_back(referencePgm(path));
        wantedOutput += expected.back().output;
    }

    for (int threads : {1, 2, 3, 8}) {
        SharedSliceStack stack;
        std::string output =
            capturedStdout([&] { stack = loadSliceFiles(files, nullptr, threads); });
        EXPECT_EQ(output, wantedOutput) << threads << " threads";
        ASSERT_EQ(stack->count(), files.count());
        for (int z = 0; z < files.count(); ++z)
            ASSERT_TRUE(holds(*stack, z, expected[z].samples)) << files.paths[z];
    }
}

TEST(StackLoader, RawFilesKeepTheirCompleteGroupsAndZerosWhateverTheThreads)
{
    SliceFileList files;
    files.format = SliceFormat::Raw;
    std::vector<std::string> hostile = corpus("raw");
    for (int round = 0; round < 3; ++round)
        files.paths.insert(files.paths.end(), hostile.begin(), hostile.end());
    std::string wantedOutput;
    std::vector<std::vector<std::uint32_t>> expected;
    for (const std::string& path : files.paths) {
        expected.emplace_back(kSliceSamples);
        // Its result is the sample count; here only what it prints and reads matters.
        wantedOutput +=
            capturedStdout([&] { (void)readRawSlice(expected.back().data(), path.c_str()); });
    }
    for (int threads : {1, 4}) {
        SharedSliceStack stack;
        EXPECT_EQ(capturedStdout([&] { stack = loadSliceFiles(files, nullptr, threads); }),
                  wantedOutput);
        for (int z = 0; z < files.count(); ++z)
            ASSERT_TRUE(holds(*stack, z, expected[z])) << files.paths[z];
    }
}

TEST(StackLoader, ASecondLoadOfTheSameSlicesKeepsTheFirstStack)
{
    TempDir dir;
    writeRawStack(dir, 5);
    std::string first, second;
    SharedSliceStack a, b;
    first = capturedStdout([&] { a = loadImageDirectory(dir.prefix().c_str()); });
    second = capturedStdout([&] { b = loadImageDirectory(dir.prefix().c_str()); });
    EXPECT_EQ(b, a);
    EXPECT_EQ(second, first) << "each load reads and reports every file";
    EXPECT_NE(first.find("slice004"), std::string::npos);

    // Held by no one, the stack is gone: the next load builds one anew.
    std::weak_ptr<const SliceStack> gone = a;
    a.reset();
    b.reset();
    EXPECT_TRUE(gone.expired());
    b = quietLoad(findSliceFiles(dir.prefix().c_str()), nullptr, 2);
    EXPECT_EQ(b->count(), 5);
    EXPECT_TRUE(holds(*b, 4, rampSamples(4)));
}

// A load started ahead prints nothing until the load that takes it, which
// prints what it would have printed itself; it is taken once, and a load of
// another directory drops it.
TEST(StackLoader, ALoadAheadIsTakenOnceWithItsReportsInPlace)
{
    TempDir dir, other;
    writeRawStack(dir, 4);
    writeRawStack(other, 1);
    const std::string path = dir.prefix();
    SharedSliceStack reference;
    const std::string reports =
        capturedStdout([&] { reference = loadImageDirectory(path.c_str()); });
    reference.reset();
    const std::string refused = "Not enough memory for 4 slices of " + path + "\n";

    // With no memory to spare, only a load ahead can give the slices.
    SharedSliceStack taken, again;
    EXPECT_EQ(capturedStdout([&] { loadImageDirectoryAhead(path.c_str()); }), "");
    EXPECT_EQ(capturedStdout([&] { taken = loadImageDirectoryWithin(path.c_str(), 0); }), reports);
    EXPECT_TRUE(holds(*taken, 3, rampSamples(3)));
    EXPECT_EQ(capturedStdout([&] { again = loadImageDirectory(path.c_str()); }), reports);
    EXPECT_EQ(again, taken) << "the second load reads the files and keeps the first stack";

    // Two loads ahead, as the two views make them: taken in turn, the second
    // keeping the first's stack.
    taken.reset();
    again.reset();
    capturedStdout([&] { loadImageDirectoryAhead(path.c_str(), 2); });
    EXPECT_EQ(capturedStdout([&] { taken = loadImageDirectoryWithin(path.c_str(), 0); }), reports);
    EXPECT_EQ(capturedStdout([&] { again = loadImageDirectoryWithin(path.c_str(), 0); }), reports);
    EXPECT_EQ(again, taken);
    EXPECT_TRUE(holds(*again, 3, rampSamples(3)));

    capturedStdout([&] { loadImageDirectoryAhead(path.c_str(), 2); });
    capturedStdout([&] { loadImageDirectory(other.prefix().c_str()); });
    EXPECT_EQ(capturedStdout([&] { loadImageDirectoryWithin(path.c_str(), 0); }), refused);
}

// The first, a middle and the last slice changed between the two loads, on
// one thread and several, raw and PGM: the second stack holds the new slice
// and the first stack's others; the first stack is left as it was.
TEST(StackLoader, AChangedSliceGivesAStackOfItsOwnAndLeavesTheFirstAsItWas)
{
    for (SliceFormat format : {SliceFormat::Raw, SliceFormat::Pgm}) {
        const bool raw = format == SliceFormat::Raw;
        auto written = [raw](int seed) {
            std::vector<std::uint32_t> samples = rampSamples(seed);
            for (std::uint32_t& s : samples)
                s = raw ? s : s & ~15u; // a PGM file holds the grey byte only
            return samples;
        };
        for (int changed : {0, 3, 6}) {
            for (int threads : {1, 3}) {
                TempDir dir;
                if (raw)
                    writeRawStack(dir, 7);
                for (int z = 0; z < 7 && !raw; ++z)
                    writePgmSlice(dir, z, z);
                SliceFileList files = findSliceFiles(dir.prefix().c_str());
                SharedSliceStack first = quietLoad(files, nullptr, threads);
                ASSERT_EQ(first->kind(), stackKindOf(format));
                ASSERT_EQ(quietLoad(files, first, threads), first) << "nothing changed yet";

                if (raw)
                    writeFile(dir.file(sliceName(changed, "")),
                              slicefiles::rawSlice(rampSlice(100)));
                else
                    writePgmSlice(dir, changed, 100);
                SharedSliceStack second = quietLoad(files, first, threads);
                ASSERT_NE(second, first) << "slice " << changed << ", " << threads << " threads";
                for (int z = 0; z < 7; ++z) {
                    EXPECT_TRUE(holds(*second, z, written(z == changed ? 100 : z)))
                        << "slice " << z << " of the second stack, changed " << changed;
                    EXPECT_TRUE(holds(*first, z, written(z))) << "slice " << z << " of the first";
                }
            }
        }
    }
}

TEST(StackLoader, ACandidateWithAnotherCountIsNeverTaken)
{
    TempDir dir;
    writeRawStack(dir, 3);
    SharedSliceStack three = quietLoad(findSliceFiles(dir.prefix().c_str()), nullptr, 2);
    writeRawStack(dir, 4);
    SharedSliceStack four = quietLoad(findSliceFiles(dir.prefix().c_str()), three, 2);
    EXPECT_NE(four, three);
    EXPECT_EQ(four->count(), 4);
    EXPECT_TRUE(holds(*four, 3, rampSamples(3)));
}

// The budget counts what a load keeps: 2 bytes a pixel of a raw slice, 1 of
// a PGM slice, and nothing for a second load of slices already held.
TEST(StackLoader, AStackOverTheMemoryBudgetIsRefusedUnlessItIsHeldAlready)
{
    TempDir pgm;
    for (int z = 0; z < 3; ++z)
        writePgmSlice(pgm, z, z);
    SharedSliceStack stack;
    EXPECT_EQ(capturedStdout([&] {
                  stack = loadImageDirectoryWithin(pgm.prefix().c_str(), 3 * kSliceSamples - 1);
              }),
              "Not enough memory for 3 slices of " + pgm.prefix() + "\n");
    capturedStdout(
        [&] { stack = loadImageDirectoryWithin(pgm.prefix().c_str(), 3 * kSliceSamples); });
    EXPECT_EQ(stack->count(), 3);

    TempDir dir;
    writeRawStack(dir, 3);
    const std::string prefix = dir.prefix();
    const std::size_t rawBytes = 3 * bytesPerLoadedSlice(SliceFormat::Raw);
    EXPECT_EQ(
        capturedStdout([&] { stack = loadImageDirectoryWithin(prefix.c_str(), rawBytes - 1); }),
        "Not enough memory for 3 slices of " + prefix + "\n");
    EXPECT_EQ(stack->count(), 0);

    capturedStdout([&] { stack = loadImageDirectoryWithin(prefix.c_str(), rawBytes); });
    ASSERT_EQ(stack->count(), 3);
    SharedSliceStack again;
    std::string output =
        capturedStdout([&] { again = loadImageDirectoryWithin(prefix.c_str(), 0); });
    EXPECT_EQ(again, stack);
    EXPECT_EQ(output.find("Not enough memory"), std::string::npos);
}
