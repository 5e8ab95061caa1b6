#include "Importer.h"

#include "ImportError.h"
#include "SliceDirectory.h"
#include "core/common/Parallel.h"
#include "core/common/SliceGeometry.h"
#include "core/dicom/DicomInput.h"
#include "core/volume/NiftiFile.h"
#include "core/volume/ScanValues.h"
#include "core/volume/VolumeReader.h"
#include "core/volume/VolumeSource.h"
#include "core/volume/WindowedVoxels.h"

#include <cstdio>
#include <filesystem>
#include <vector>

using namespace lumidra;

namespace fs = std::filesystem;

namespace {

void reportVolume(const ImportOptions& options, const NiftiFile& volume)
{
    std::printf("Reading %s: %d x %d x %d voxels, %s\n", options.input.c_str(), volume.nx(),
                volume.ny(), volume.nz(), volume.typeName());
    if (volume.hasIntensityScaling())
        std::printf("Applying scl_slope and scl_inter\n");
}

void reportFit(const std::array<double, 3>& mm, const SliceLayout& layout)
{
    const double columnMm = mm[layout.swapped ? 1 : 0] * layout.factor;
    const double rowMm = mm[layout.swapped ? 0 : 1] * layout.factor;
    std::printf("The slice plane is %d x %d, larger than 256 x 256: reduced by %d to %d x %d "
                "(each pixel the mean of a %d x %d block)",
                layout.planeWidth, layout.planeHeight, layout.factor, layout.width, layout.height,
                layout.factor, layout.factor);
    if (columnMm > 0 && rowMm > 0)
        std::printf("; pixels of %g x %g mm", columnMm, rowMm);
    std::printf("\n");
}

void reportLayout(const char* orientationSource, const std::array<double, 3>& voxelMm,
                  const SliceLayout& layout)
{
    const AxisCodes a = layout.axes;
    std::printf("Orientation from the %s: i %s, j %s, k %s\n", orientationSource,
                nifti_orientation_string(a.i), nifti_orientation_string(a.j),
                nifti_orientation_string(a.k));
    if (layout.fallback)
        std::printf("Warning: the orientation is unusable; taking i as Left-to-Right, "
                    "j as Posterior-to-Anterior, k as Inferior-to-Superior\n");
    if (!layout.axial())
        std::printf("Note: the third axis is not inferior-superior; importing along it anyway\n");
    std::printf("Slices: %s; the viewer shows %s\n", describeSliceOrder(layout).c_str(),
                describeView(layout).c_str());
    if (layout.cropped())
        std::printf("The slice plane is %d x %d, larger than 256 x 256: centre-cropped to fit\n",
                    layout.width, layout.height);
    if (layout.fitted())
        reportFit(voxelMm, layout);
}

std::vector<fs::path> checkOutputDir(const ImportOptions& options)
{
    std::vector<fs::path> existing = findSliceFiles(options.outputDir);
    if (!existing.empty() && !options.replace)
        throw ImportError("'" + options.outputDir + "' already holds " +
                          std::to_string(existing.size()) + " slice file(s), such as " +
                          existing.front().filename().string() + "; add --replace to replace them");
    return existing;
}

void reportWindow(const IntensityWindow& window, const ScanValues& values, SliceKind kind)
{
    if (values.nonFinite > 0)
        std::printf("%llu voxel(s) are NaN or infinite: written as 0\n",
                    static_cast<unsigned long long>(values.nonFinite));
    const int top = topLevel(kind);
    if (window.rule == WindowRule::Ct) {
        std::printf("Window ct: sample = value + 1024, clipped to 0 .. 4095%s\n",
                    kind == SliceKind::Pgm ? ", written as sample / 16 (0 .. 255)" : "");
        return;
    }
    const char* name = windowRuleName(window.rule);
    if (window.rule != WindowRule::Fixed && !(values.max > values.min)) {
        std::printf("The volume is constant: every sample is written as 0\n");
    } else if (!(window.high > window.low)) {
        std::printf("Window %s: values above %g are written as %d, the others as 0\n", name,
                    window.low, top);
    } else {
        std::printf("Window %s: scaling values %g .. %g to 0 .. %d, values outside clipped\n", name,
                    window.low, window.high, top);
    }
}

void reportProgress(int written, int total)
{
    if (written * 10 / total != (written - 1) * 10 / total || written == total)
        std::printf("  %d of %d slices\n", written, total);
    std::fflush(stdout);
}

void writeSlices(const WindowedVoxels& voxels, const SliceLayout& layout, StagedSlices& staged,
                 SliceKind kind)
{
    const ScanVoxels& scan = voxels.scan();
    PlanePlacer placer(layout, scan.nx, scan.ny);
    const std::size_t planeSize = static_cast<std::size_t>(scan.nx) * scan.ny;
    std::vector<std::uint16_t> plane(planeSize);
    std::vector<std::uint16_t> slice(kSliceSamples);
    const int count = scan.nz;
    for (int number = 0; number < count; ++number) {
        const std::size_t k =
            static_cast<std::size_t>(layout.reverseSlices ? count - 1 - number : number);
        voxels.read(planeSize * k, planeSize * (k + 1), plane.data());
        placer.place(plane.data(), slice.data());
        staged.write(number, encodeSlice(slice, kind));
        reportProgress(number + 1, count);
    }
}

// A DICOM series, read whole through the reader process: the one series
// the input holds, or the one holding the file named.
void importDicom(const ImportOptions& options)
{
    const DicomFolder found = findDicomSeries(options.input);
    for (const std::string& problem : found.problems)
        std::fprintf(stderr, "lumidra-import: warning: %s\n", problem.c_str());
    std::size_t chosen = found.chosen;
    if (chosen == found.series.size()) {
        if (found.series.size() != 1) {
            std::string listing;
            for (const DicomSeries& series : found.series)
                listing.append(listing.empty() ? " (" : ", ")
                    .append(series.tag)
                    .append(": ")
                    .append(series.description);
            throw ImportError(
                describeDicomFolder(found) + (listing.empty() ? "" : listing + ")") +
                (found.series.size() > 1 ? "; name one file of the series to import" : ""));
        }
        chosen = 0;
    }
    const DicomSeries& series = found.series[chosen];
    if (!series.warning.empty())
        std::fprintf(stderr, "lumidra-import: warning: %s\n", series.warning.c_str());
    const LoadedVolume loaded =
        readDicomSeries(series, options.window, options.placement, defaultWorkThreads());
    const VolumeSource& source = *loaded.source;
    std::printf("Reading DICOM series %s (%s) in %s: %d x %d x %d voxels, %zu file(s)\n",
                series.tag.c_str(), series.description.c_str(), found.folder.c_str(), source.nx(),
                source.ny(), source.nz(), series.images.size());
    reportLayout("DICOM ImageOrientationPatient", source.voxelMm(), source.layout());
    const std::vector<fs::path> existing = checkOutputDir(options);
    reportWindow(source.window(), source.values(), options.kind);
    ensureDirectory(options.outputDir);
    StagedSlices staged(options.outputDir, options.kind);
    writeSlices(WindowedVoxels(source.sharedScan(), source.window(), topLevel(options.kind)),
                source.layout(), staged, options.kind);
    staged.commit(existing);
    if (!existing.empty())
        std::printf("Replaced %zu old slice file(s)\n", existing.size());
    std::printf("Wrote %d %s slice files to %s\n", source.nz(),
                options.kind == SliceKind::Raw ? "raw" : "PGM", options.outputDir.c_str());
}

} // namespace

void runImport(const ImportOptions& options)
{
    if (!hasNiftiExtension(options.input) && isDicomInput(options.input)) {
        importDicom(options);
        return;
    }
    NiftiFile volume(options.input);
    if (volume.ignoredIntensityScaling())
        std::fprintf(stderr, "lumidra-import: warning: ignoring non-finite scl_slope/scl_inter\n");
    reportVolume(options, volume);
    const SliceLayout layout =
        planSliceLayout(volume.nx(), volume.ny(), axesOf(volume.toMm()), options.placement);
    reportLayout(volume.orientationSource(), volume.voxelMm(), layout);
    const std::vector<fs::path> existing = checkOutputDir(options);

    volume.loadVoxels();
    const auto scan = std::make_shared<const ScanVoxels>(volume.takeScan());
    const ScanValues values =
        gatherScanValues(*scan, 1, ruleFor(options.window, scan->modality) == WindowRule::Robust);
    const IntensityWindow window = resolveWindow(options.window, values, scan->modality);
    reportWindow(window, values, options.kind);

    ensureDirectory(options.outputDir);
    StagedSlices staged(options.outputDir, options.kind);
    writeSlices(WindowedVoxels(scan, window, topLevel(options.kind)), layout, staged, options.kind);
    staged.commit(existing);
    if (!existing.empty())
        std::printf("Replaced %zu old slice file(s)\n", existing.size());
    std::printf("Wrote %d %s slice files to %s\n", volume.nz(),
                options.kind == SliceKind::Raw ? "raw" : "PGM", options.outputDir.c_str());
}
