#include "core/volume/VolumeReader.h"

#include "core/common/HugePages.h"
#include "core/common/Parallel.h"
#include "core/common/SliceGeometry.h"
#include "core/volume/NiftiFile.h"
#include "core/volume/VolumeError.h"
#include "core/volume/VolumeSource.h"

#include <algorithm>
#include <future>
#include <new>

namespace lumidra {

std::shared_ptr<VolumeSource> makeVolumeSource(const NiftiFile& file, const SliceLayout& layout,
                                               std::vector<std::uint16_t> samples)
{
    auto source = std::make_shared<VolumeSource>();
    source->nx = file.nx();
    source->ny = file.ny();
    source->nz = file.nz();
    source->samples = std::move(samples);
    file.describeGeometry(*source);
    source->planeOfSlice.resize(file.nz());
    for (int z = 0; z < file.nz(); ++z)
        source->planeOfSlice[z] = layout.reverseSlices ? file.nz() - 1 - z : z;
    source->pixelVoxel = sourceIndices(layout, file.nx(), file.ny());
    source->fitFactor = layout.factor;
    const double columnMm = source->voxelMm[layout.swapped ? 1 : 0];
    const double rowMm = source->voxelMm[layout.swapped ? 0 : 1];
    source->slicePixelMm = {columnMm * layout.factor, rowMm * layout.factor, source->voxelMm[2]};
    return source;
}

LoadedVolume readVolume(const std::string& path, Placement placement, int threads)
{
    NiftiFile file(path);
    LoadedVolume volume;
    volume.layout = planSliceLayout(file.nx(), file.ny(), file.axes(), placement);
    try {
        std::vector<std::uint16_t> samples;
        if (threads > 1 && file.mayHoldVoxels()) {
            // The sample buffer's pages are set up while the voxels decompress.
            auto buffer = std::async(std::launch::async, [&file] { return file.sampleBuffer(); });
            file.loadVoxels();
            samples = buffer.get();
        } else {
            file.loadVoxels();
        }
        file.samples(kTopSample, volume.range, threads, samples);
        volume.source = makeVolumeSource(file, volume.layout, std::move(samples));
    } catch (const std::bad_alloc&) {
        throw VolumeError("'" + path + "' is too large to hold in memory");
    }
    return volume;
}

SharedSliceStack volumeStack(const LoadedVolume& volume, int threads)
{
    const VolumeSource& source = *volume.source;
    std::shared_ptr<SliceStack> stack;
    try {
        stack = std::make_shared<SliceStack>(SliceStack::Kind::Samples, source.nz);
    } catch (const std::bad_alloc&) {
        throw VolumeError("not enough memory for " + std::to_string(source.nz) + " slices");
    }
    const std::span<std::uint16_t> samples = stack->samplesToFill();
    adviseHugePages(samples.data(), samples.size_bytes());
    inParallel(static_cast<std::size_t>(source.nz), threads,
               [&](std::size_t, std::size_t begin, std::size_t end) {
                   PlanePlacer placer(volume.layout, source.nx, source.ny);
                   for (std::size_t z = begin; z < end; ++z)
                       placer.place(source.plane(source.planeOfSlice[z]),
                                    samples.data() + sliceOffset(static_cast<int>(z)));
               });
    stack->setSource(volume.source);
    return stack;
}

SharedSliceStack openVolume(const std::string& path)
{
    const int threads = defaultWorkThreads();
    return volumeStack(readVolume(path, Placement::Fit, threads), threads);
}

bool hasNiftiExtension(const std::string& path)
{
    quietNifti();
    return nifti_is_complete_filename(path.c_str()) != 0;
}

} // namespace lumidra
