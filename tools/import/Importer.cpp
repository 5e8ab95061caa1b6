#include "Importer.h"

#include "ImportError.h"
#include "NiftiVolume.h"
#include "SliceDirectory.h"
#include "SliceLayout.h"

#include <cstdio>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

void reportVolume(const ImportOptions& options, const NiftiVolume& volume)
{
    std::printf("Reading %s: %d x %d x %d voxels, %s\n", options.input.c_str(), volume.nx(),
                volume.ny(), volume.nz(), volume.typeName());
    if (volume.hasIntensityScaling())
        std::printf("Applying scl_slope and scl_inter\n");
}

void reportLayout(const NiftiVolume& volume, const SliceLayout& layout)
{
    const AxisCodes a = volume.axes();
    std::printf("Orientation from the %s: i %s, j %s, k %s\n", volume.orientationSource(),
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

ValueRange measureRange(const NiftiVolume& volume)
{
    ValueRange range;
    std::vector<double> plane;
    for (int k = 0; k < volume.nz(); ++k) {
        volume.readPlane(k, plane);
        range.add(plane);
    }
    return range;
}

void reportRange(const ValueRange& range, SliceKind kind)
{
    if (range.nonFinite > 0)
        std::printf("%lld voxel(s) are NaN or infinite: written as 0\n",
                    static_cast<long long>(range.nonFinite));
    if (!range.any || !(range.hi > range.lo)) {
        std::printf("The volume is constant: every sample is written as 0\n");
        return;
    }
    std::printf("Scaling values %g .. %g to 0 .. %d\n", range.lo, range.hi, topLevel(kind));
}

void reportProgress(int written, int total)
{
    if (written * 10 / total != (written - 1) * 10 / total || written == total)
        std::printf("  %d of %d slices\n", written, total);
    std::fflush(stdout);
}

void writeSlices(const NiftiVolume& volume, const SliceLayout& layout, const IntensityScale& scale,
                 StagedSlices& staged, SliceKind kind)
{
    const std::vector<std::int64_t> sources = sourceIndices(layout, volume.nx());
    std::vector<double> plane;
    std::vector<std::uint16_t> samples;
    const int count = volume.nz();
    for (int number = 0; number < count; ++number) {
        volume.readPlane(layout.reverseSlices ? count - 1 - number : number, plane);
        fillSlice(sources, plane, scale, samples);
        staged.write(number, encodeSlice(samples, kind));
        reportProgress(number + 1, count);
    }
}

} // namespace

void runImport(const ImportOptions& options)
{
    NiftiVolume volume(options.input);
    reportVolume(options, volume);
    const SliceLayout layout = planSliceLayout(volume.nx(), volume.ny(), volume.axes());
    reportLayout(volume, layout);
    const std::vector<fs::path> existing = checkOutputDir(options);

    volume.loadVoxels();
    const ValueRange range = measureRange(volume);
    reportRange(range, options.kind);

    ensureDirectory(options.outputDir);
    StagedSlices staged(options.outputDir, options.kind);
    writeSlices(volume, layout, IntensityScale(range, topLevel(options.kind)), staged,
                options.kind);
    staged.commit(existing);
    if (!existing.empty())
        std::printf("Replaced %zu old slice file(s)\n", existing.size());
    std::printf("Wrote %d %s slice files to %s\n", volume.nz(),
                options.kind == SliceKind::Raw ? "raw" : "PGM", options.outputDir.c_str());
}
