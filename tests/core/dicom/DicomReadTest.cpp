// DICOM series read through the reader process: equal to the NIfTI volume
// they were written from, and bad files costing one line each.
#include "core/dicom/DicomInput.h"

#include "DicomFiles.h"
#include "TestFiles.h"
#include "core/dicom/DicomReaderProcess.h"
#include "core/volume/VolumeError.h"
#include "core/volume/VolumeReader.h"
#include "core/volume/VolumeSource.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace lumidra;
namespace fs = std::filesystem;

namespace {

const fs::path kCorpus = LUMIDRA_CORPUS_DIR "/dicom";
const fs::path kPydicomFiles = "/usr/lib/python3/dist-packages/pydicom/data/test_files";
const fs::path kNibabelFiles = "/usr/lib/python3/dist-packages/nibabel/nicom/tests/data";

// A reader program that answers "scan" lists through the real reader (and
// with ends=False dies before ending the list) and aborts on a "read" list.
constexpr const char* kAbortingReader = R"(#!/usr/bin/python3
import os, subprocess, sys

def name(data):
    word = bytearray()
    while (c := data.read(1)) not in (b"", b"\0"):
        word += c
    return None if c == b"" and not word else bytes(word)

def serve(real, ends=True):
    data = sys.stdin.buffer
    while (mode := name(data)) is not None:
        files = []
        while (file := name(data)):
            files.append(file)
        if mode == b"read":
            os.abort()
        listed = b"".join(f + b"\0" for f in files)
        scanned = subprocess.run([real, "scan"], input=listed, capture_output=True)
        answer = scanned.stdout
        sys.stdout.buffer.write(answer if ends else answer[:-2])
        sys.stdout.buffer.flush()
        if scanned.returncode != 0 or not ends:
            sys.exit(1)

)";

std::string describeOrEmpty(const std::function<void()>& read)
{
    try {
        read();
    } catch (const VolumeError& e) {
        return e.what();
    }
    return {};
}

class DicomReadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A tilted CT with values below 0, stored as HU + 1024 with an intercept.
        dicomfiles::writeSeries(series,
                                {"--synthetic-ct", "20", "16", "6", "--modality", "CT", "--oblique",
                                 "25", "--intercept", "-1024", "--nifti-out", nifti});
    }

    testfiles::TempDir tmp;
    std::string series = tmp / "ct";
    std::string nifti = tmp / "ct.nii.gz";
};

} // namespace

TEST_F(DicomReadTest, ASeriesReadsAsTheNiftiVolumeItWasWrittenFrom)
{
    const DicomFolder found = findDicomSeries(series);
    ASSERT_EQ(found.series.size(), 1u);
    EXPECT_EQ(found.skipped, 0u);
    EXPECT_TRUE(found.problems.empty());
    const DicomSeries& s = found.series[0];
    EXPECT_EQ(s.sliceCount(), 6u);
    EXPECT_EQ(s.modality, "CT");

    const LoadedVolume dicom = readDicomSeries(s, WindowPolicy{}, Placement::Fit, 2);
    const LoadedVolume volume = readVolume(nifti);
    const VolumeSource& a = *dicom.source;
    const VolumeSource& b = *volume.source;
    ASSERT_EQ(a.nx(), b.nx());
    ASSERT_EQ(a.ny(), b.ny());
    ASSERT_EQ(a.nz(), b.nz());
    std::size_t differ = 0;
    for (std::size_t n = 0; n < a.voxelCount(); ++n)
        differ += a.valueAt(n) != b.valueAt(n);
    EXPECT_EQ(differ, 0u);
    EXPECT_LT(a.valueAt(0), 0.0); // the intercept was applied
    for (int r = 0; r < 3; ++r) {
        EXPECT_NEAR(a.voxelMm()[r], b.voxelMm()[r], 1e-6);
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(a.toMm()[r][c], b.toMm()[r][c], 1e-4) << r << "," << c;
    }
    // A region map written over the series lines up with the NIfTI volume.
    EXPECT_EQ(a.header().sformCode, 1);
    for (int c = 0; c < 4; ++c)
        EXPECT_NEAR(a.header().srowX[c], b.header().srowX[c], 1e-4);
    // CT gets the ct window unless another is asked for.
    EXPECT_EQ(a.window().rule, WindowRule::Ct);
    EXPECT_EQ(a.layout().axes.k, b.layout().axes.k);
}

TEST_F(DicomReadTest, AFileThatStopsTheReaderCostsThatFileAlone)
{
    const std::string clean = tmp / "clean";
    fs::copy(series, clean);
    fs::copy_file(kCorpus / "gdcm_abort_in_header.dcm", fs::path(series) / "abort.dcm");
    fs::copy_file(kCorpus / "notes.txt", fs::path(series) / "notes.txt");
    fs::create_directory(fs::path(series) / "sub");
    fs::copy_file(kCorpus / "truncated_header.dcm", fs::path(series) / "sub/short.dcm");
    const DicomFolder found = findDicomSeries(series);
    ASSERT_EQ(found.series.size(), 1u);
    EXPECT_EQ(found.series[0].sliceCount(), 6u);
    EXPECT_EQ(found.skipped, 2u); // the text file and the cut header
    ASSERT_EQ(found.problems.size(), 1u);
    EXPECT_NE(found.problems[0].find("abort.dcm': the DICOM reader stopped"), std::string::npos)
        << found.problems[0];
    EXPECT_NO_THROW(readDicomSeries(found.series[0]));

    // A file GDCM aborts on when decoding its pixels is refused by its header first.
    const fs::path dead = tmp.path() / "dead";
    fs::create_directory(dead);
    fs::copy_file(kCorpus / "gdcm_abort_in_pixels.dcm", dead / "x.dcm");
    const DicomFolder bad = findDicomSeries(dead.string());
    ASSERT_EQ(bad.series.size(), 1u);
    EXPECT_NE(describeOrEmpty([&] {
                  readDicomSeries(bad.series[0]);
              }).find("x.dcm' has 169 samples per pixel"),
              std::string::npos);

    // A reader dying while it decodes refuses the series, naming the file:
    // this one scans as the real one does and aborts when asked for pixels.
    const std::string aborting = tmp / "aborting-reader";
    const std::string realReader = dicomReaderPath();
    testfiles::writeFile(aborting, std::string(kAbortingReader) + "real = '" + realReader +
                                       "'\nserve(real)\n");
    fs::permissions(aborting, fs::perms::owner_all);
    ::setenv("LUMIDRA_DICOM_READER", aborting.c_str(), 1);
    const DicomFolder again = findDicomSeries(series);
    const std::string why = describeOrEmpty([&] { readDicomSeries(again.series[0]); });
    EXPECT_NE(why.find(".dcm': the DICOM reader stopped on this file"), std::string::npos) << why;

    // A reader that answers every file and dies before ending the list
    // leaves nothing to blame.
    stopWaitingDicomReaders();
    testfiles::writeFile(aborting, std::string(kAbortingReader) + "real = '" + realReader +
                                       "'\nserve(real, ends=False)\n");
    const DicomFolder answered = findDicomSeries(clean);
    stopWaitingDicomReaders();
    ::unsetenv("LUMIDRA_DICOM_READER");
    EXPECT_TRUE(answered.problems.empty());
    ASSERT_EQ(answered.series.size(), 1u);
    EXPECT_EQ(answered.series[0].sliceCount(), 6u);

    // A damaged length asking for gigabytes costs that file, at once (skipped;
    // in a sanitized build, where the reader's cap is the sanitizer's, it
    // may stop the reader instead).
    fs::copy_file(kCorpus / "huge_element_length.dcm", dead / "huge.dcm");
    const DicomFolder huge = findDicomSeries(dead.string());
    EXPECT_EQ(huge.skipped + huge.problems.size(), 1u);
}

TEST_F(DicomReadTest, BadInputsAreOneClearLine)
{
    // Pixel data cut short: refused, not padded.
    const fs::path cut = tmp.path() / "cut";
    fs::create_directory(cut);
    fs::copy_file(kCorpus / "truncated_pixels.dcm", cut / "a.dcm");
    const DicomFolder found = findDicomSeries(cut.string());
    ASSERT_EQ(found.series.size(), 1u);
    const std::string why = describeOrEmpty([&] { readDicomSeries(found.series[0]); });
    EXPECT_NE(why.find("a.dcm': the file is cut short: 100 bytes"), std::string::npos) << why;

    // An empty folder holds no series; a missing one cannot be read.
    const fs::path empty = tmp.path() / "empty";
    fs::create_directory(empty);
    const DicomFolder none = findDicomSeries(empty.string());
    EXPECT_TRUE(none.series.empty());
    EXPECT_NE(describeDicomFolder(none).find("holds no DICOM images"), std::string::npos);
    EXPECT_NE(describeOrEmpty([&] {
                  findDicomSeries((tmp.path() / "missing").string());
              }).find("no such file or directory"),
              std::string::npos);

    // A folder picked by mistake is not walked to its bottom.
    const fs::path deep = tmp.path() / "deep/1/2/3/4/5/6/7";
    fs::create_directories(deep);
    fs::copy_file(kCorpus / "truncated_pixels.dcm", deep / "a.dcm");
    EXPECT_TRUE(findDicomSeries((tmp.path() / "deep").string()).series.empty());
    EXPECT_EQ(findDicomSeries((tmp.path() / "deep/1/2").string()).series.size(), 1u);

    // Without its reader program, DICOM is refused rather than the caller stopped.
    ::setenv("LUMIDRA_DICOM_READER", (tmp.path() / "no-such-reader").c_str(), 1);
    const std::string noReader = describeOrEmpty([&] { findDicomSeries(series); });
    ::unsetenv("LUMIDRA_DICOM_READER");
    EXPECT_NE(noReader.find("DICOM reader"), std::string::npos) << noReader;
}

TEST_F(DicomReadTest, OnlyFoldersOfDicomFilesWithoutSliceFilesAreDicomInputs)
{
    EXPECT_TRUE(isDicomInput(series));
    EXPECT_TRUE(isDicomInput((kCorpus / "gdcm_abort_in_pixels.dcm").string()));
    EXPECT_FALSE(isDicomInput(nifti));
    EXPECT_FALSE(isDicomInput((kCorpus / "notes.txt").string()));
    EXPECT_FALSE(isDicomInput((tmp.path() / "missing").string()));
    // A slice directory stays one, whatever else it holds.
    testfiles::writeFile(fs::path(series) / "slice000", std::string(131072, '\0'));
    EXPECT_FALSE(isDicomInput(series));
    const fs::path plain = tmp.path() / "plain";
    fs::create_directory(plain);
    testfiles::writeFile(plain / "readme", "text");
    EXPECT_FALSE(isDicomInput(plain.string()));
}

TEST(DicomSampleFilesTest, PydicomsSeriesAndNibabelsMosaicsAreOpenedOrRefusedClearly)
{
    const fs::path dirs = kPydicomFiles / "dicomdirtests";
    if (!fs::exists(dirs))
        GTEST_SKIP() << "python3-pydicom's sample files are not installed";
    // A DICOMDIR stands for its folder; its damaged copy (which GDCM aborts
    // on) costs one line.
    const DicomFolder found = findDicomSeries((dirs / "DICOMDIR").string());
    EXPECT_EQ(found.problems.size(), 1u);
    int refused = 0;
    int localizers = 0;
    for (const DicomSeries& s : found.series) {
        if (s.description == "Routine Brain") {
            // Its slices run in reverse with a gap of 202.5 mm.
            EXPECT_NE(s.problem.find("202.500 mm"), std::string::npos) << s.problem;
            ++refused;
        }
        localizers += s.description == "FAST LOCALIZER";
        if (s.description == "SmartScore - Gated 0.5 sec") {
            EXPECT_EQ(s.sliceCount(), 5u);
            EXPECT_DOUBLE_EQ(s.spacing, 2.5);
            const LoadedVolume v = readDicomSeries(s);
            EXPECT_EQ(v.source->nz(), 5);
        }
    }
    EXPECT_EQ(refused, 1);
    EXPECT_GE(localizers, 3); // three planes of one series, one volume each

    if (!fs::exists(kNibabelFiles / "siemens_dwi_1000.dcm.gz"))
        return;
    testfiles::TempDir tmp;
    ASSERT_EQ(std::system(("zcat '" + (kNibabelFiles / "siemens_dwi_1000.dcm.gz").string() +
                           "' > '" + (tmp / "dwi.dcm") + "'")
                              .c_str()),
              0);
    const DicomFolder mosaic = findDicomSeries(tmp.path().string());
    ASSERT_EQ(mosaic.series.size(), 1u);
    EXPECT_NE(mosaic.series[0].problem.find("mosaic (48 slices"), std::string::npos);
    const std::string why = describeOrEmpty([&] { readDicomSeries(mosaic.series[0]); });
    EXPECT_NE(why.find("convert it to NIfTI first"), std::string::npos) << why;
}

TEST(DicomCorpusTest, EveryHostileFileAloneIsSkippedRefusedOrReadNeverACrash)
{
    for (const fs::directory_entry& entry : fs::directory_iterator(kCorpus)) {
        testfiles::TempDir tmp;
        fs::copy_file(entry.path(), tmp.path() / entry.path().filename());
        const std::string name = entry.path().filename().string();
        DicomFolder found;
        ASSERT_NO_THROW(found = findDicomSeries(tmp.path().string())) << name;
        EXPECT_EQ(found.series.size() + found.skipped + found.problems.size(), 1u) << name;
        for (const DicomSeries& s : found.series) {
            const std::string why = describeOrEmpty([&] { readDicomSeries(s); });
            EXPECT_EQ(why.find('\n'), std::string::npos) << name << ": " << why;
        }
    }
}
