// Opening DICOM series.
//   bench_dicom BRAIN_SERIES CT_SERIES
// (the brain template written as a 181-file series, and a generated
// 512 x 512 x 300 int16 CT series; scripts/bench.sh writes both).
// Figures, medians of runs taken in turn:
//   opening a series as the window does (the folder searched, the series
//   read, loaded and made the views' stack), every reader process started
//   afresh, against Debian's dcm2niix -z n converting the same folder to
//   an uncompressed NIfTI file, a program run per conversion;
//   the same opening on one thread through the reader process against
//   reading the headers and pixels in this process with the same GDCM code
//   and loading the scan alike (the cost of the separate process), once
//   with every reader started afresh (GDCM's own start-up, its dictionaries,
//   counted each time) and once with readers waiting, as the window starts
//   them while the user picks a folder.
#include "BenchUtil.h"

#include "GdcmReading.h"
#include "TestFiles.h"
#include "core/common/Parallel.h"
#include "core/dicom/DicomInput.h"
#include "core/dicom/DicomReaderProcess.h"
#include "core/volume/VolumeSource.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

using namespace lumidra;
namespace fs = std::filesystem;

namespace {

constexpr int kRounds = 7;

SharedSliceStack open(const std::string& folder, int threads)
{
    const DicomFolder found = findDicomSeries(folder, threads);
    return volumeStack(readDicomSeries(found.series.at(0), {}, Placement::Fit, threads), threads);
}

SharedSliceStack openCold(const std::string& folder, int threads)
{
    stopWaitingDicomReaders();
    return open(folder, threads);
}

// The same work with GDCM called here: headers, grouping, pixels, loading.
SharedSliceStack openInProcess(const std::string& folder)
{
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* answers = ::open_memstream(&text, &size);
    for (std::size_t n = 0; n < files.size(); ++n)
        dicomread::scanFile(files[n], n, answers);
    std::fclose(answers);
    std::vector<DicomImage> images;
    std::string_view lines(text, size);
    while (!lines.empty()) {
        const std::size_t end = std::min(lines.find('\n'), lines.size());
        if (auto answer = parseScanAnswer(lines.substr(0, end));
            answer && answer->kind == ScanAnswer::Kind::Image) {
            answer->image.path = files[answer->file];
            images.push_back(std::move(answer->image));
        }
        lines.remove_prefix(std::min(end + 1, lines.size()));
    }
    std::free(text);
    const DicomSeries series = groupDicomSeries(std::move(images)).at(0);

    ScanVoxels scan;
    scan.nx = series.columns;
    scan.ny = series.rows;
    scan.nz = static_cast<int>(series.slices.size());
    const DicomImage& first = series.images.front();
    scan.type = first.bitsAllocated == 8 ? VoxelType::UInt8
                : first.isSigned         ? VoxelType::Int16
                                         : VoxelType::UInt16;
    scan.bytes = std::make_unique_for_overwrite<unsigned char[]>(scan.byteCount());
    const std::size_t sliceBytes = scan.byteCount() / static_cast<std::size_t>(scan.nz);
    for (std::size_t k = 0; k < series.slices.size(); ++k) {
        const dicomread::Decoded image =
            dicomread::decodeFile(series.images[series.slices[k].image].path);
        if (image.bytes.size() != sliceBytes)
            throw std::runtime_error("bench_dicom: " + image.error);
        std::memcpy(scan.bytes.get() + k * sliceBytes, image.bytes.data(), sliceBytes);
    }
    scan.slope = first.slope;
    scan.inter = first.intercept;
    const DicomGeometry g = dicomGeometry(series);
    scan.voxelMm = g.voxelMm;
    scan.toMm = g.toMm;
    scan.modality = series.modality;
    return volumeStack(loadScan(std::move(scan), {}, Placement::Fit, 1), 1);
}

void dcm2niix(const std::string& folder, const std::string& out)
{
    const std::string command =
        "dcm2niix -z n -f series -o '" + out + "' '" + folder + "' > /dev/null 2>&1";
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("bench_dicom: dcm2niix failed on " + folder);
}

void compareWithPeer(const char* name, const std::string& folder, double target)
{
    testfiles::TempDir out;
    const int threads = defaultWorkThreads();
    const std::vector<double> t = bench::alternatingMedians(
        {[&] { openCold(folder, threads); }, [&] { dcm2niix(folder, out.path().string()); }},
        kRounds);
    std::printf("%s (%s)\n", name, folder.c_str());
    bench::printFigure("  open: find, read, load, stack (fresh readers)", t[0]);
    bench::printFigure("  dcm2niix -z n: folder to .nii", t[1]);
    bench::printRatio("  open / dcm2niix", t[0] / t[1], "<=", target);
}

void compareInProcess(const char* name, const std::string& folder)
{
    const std::vector<double> t = bench::alternatingMedians(
        {[&] { openCold(folder, 1); }, [&] { openInProcess(folder); }}, kRounds);
    // Readers that answered a list wait for the next: every round after
    // the first finds them started.
    stopWaitingDicomReaders();
    const std::vector<double> warm = bench::alternatingMedians(
        {[&] { open(folder, 1); }, [&] { openInProcess(folder); }}, kRounds);
    stopWaitingDicomReaders();
    std::printf("%s, one thread\n", name);
    bench::printFigure("  through a fresh reader process", t[0]);
    bench::printFigure("  through a waiting reader process", warm[0]);
    bench::printFigure("  GDCM in this process", (t[1] + warm[1]) / 2);
    std::printf("  fresh process / in-process %27.2fx  (GDCM's start-up included)\n", t[0] / t[1]);
    bench::printRatio("  waiting process / in-process", warm[0] / warm[1], "<=", 1.10);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_dicom BRAIN_SERIES CT_SERIES\n");
        return 2;
    }
    dicomread::quietGdcm();
    compareWithPeer("Brain, 181 files of 181 x 217", argv[1], 1.5);
    compareWithPeer("CT, 300 files of 512 x 512 int16", argv[2], 1.5);
    std::printf("\n");
    compareInProcess("Brain", argv[1]);
    compareInProcess("CT", argv[2]);
    stopWaitingDicomReaders();
    return 0;
}
