#include "core/volume/VolumeReader.h"

#include "core/common/HugePages.h"
#include "core/common/Parallel.h"
#include "core/common/SliceGeometry.h"
#include "core/slices/SliceLoader.h"
#include "core/volume/NiftiFile.h"
#include "core/volume/ScanValues.h"
#include "core/volume/VolumeError.h"
#include "core/volume/VolumeSource.h"

#include <new>

namespace lumidra {

LoadedVolume loadScan(ScanVoxels&& scan, const WindowPolicy& policy, Placement placement,
                      int threads)
{
    if (scan.nx < 1 || scan.ny < 1 || scan.nz < 1 || !scan.bytes)
        throw VolumeError("the scan holds no voxels");
    if (scan.voxelCount() > static_cast<std::size_t>(kMaxVolumeVoxels))
        throw VolumeError("the scan has " + std::to_string(scan.voxelCount()) +
                          " voxels, more than the " + std::to_string(kMaxVolumeVoxels) +
                          " a volume may have");
    auto voxels = std::make_shared<const ScanVoxels>(std::move(scan));
    const bool robust = ruleFor(policy, voxels->modality) == WindowRule::Robust;
    auto values = std::make_shared<const ScanValues>(gatherScanValues(*voxels, threads, robust));
    const IntensityWindow window = resolveWindow(policy, *values, voxels->modality);
    const SliceLayout layout =
        planSliceLayout(voxels->nx, voxels->ny, axesOf(voxels->toMm), placement);
    return {std::make_shared<const VolumeSource>(voxels, values, window, layout)};
}

LoadedVolume readVolume(const std::string& path, const WindowPolicy& policy, Placement placement,
                        int threads)
{
    NiftiFile file(path);
    file.loadVoxels();
    try {
        return loadScan(file.takeScan(), policy, placement, threads);
    } catch (const std::bad_alloc&) {
        throw VolumeError("'" + path + "' is too large to hold in memory");
    }
}

SharedSliceStack volumeStack(const std::shared_ptr<const VolumeSource>& source, int threads,
                             std::size_t memoryBudget)
{
    const int count = source->nz();
    if (static_cast<std::size_t>(count) > memoryBudget / kBytesPerLoadedSlice)
        throw VolumeError("not enough memory for " + std::to_string(count) + " slices");
    std::shared_ptr<SliceStack> stack;
    try {
        stack = std::make_shared<SliceStack>(count);
    } catch (const std::bad_alloc&) {
        throw VolumeError("not enough memory for " + std::to_string(count) + " slices");
    }
    adviseHugePages(stack->sampleData(), stack->size() * sizeof(std::uint16_t));
    adviseHugePages(stack->greyData(), stack->size());
    inParallel(static_cast<std::size_t>(count), threads,
               [&](std::size_t, std::size_t begin, std::size_t end) {
                   PlanePlacer placer(source->layout(), source->nx(), source->ny());
                   std::vector<std::uint16_t> plane(source->planeSize());
                   for (std::size_t z = begin; z < end; ++z) {
                       source->samplesOfPlane(source->planeOfSlice[z], plane.data());
                       placer.place(plane.data(),
                                    stack->sampleData() + sliceOffset(static_cast<int>(z)),
                                    stack->greyData() + sliceOffset(static_cast<int>(z)));
                   }
               });
    stack->setSource(source);
    return stack;
}

SharedSliceStack volumeStack(const LoadedVolume& volume, int threads)
{
    return volumeStack(volume.source, threads, availableMemory());
}

SharedSliceStack openVolume(const std::string& path, const WindowPolicy& policy)
{
    const int threads = defaultWorkThreads();
    const LoadedVolume volume = readVolume(path, policy, Placement::Fit, threads);
    try {
        return volumeStack(volume.source, threads, availableMemory());
    } catch (const VolumeError& e) {
        throw VolumeError("'" + path + "': " + e.what());
    }
}

SharedSliceStack rewindow(const SliceStack& stack, const WindowPolicy& policy)
{
    const VolumeSource* source = stack.source();
    if (!source)
        throw VolumeError("an image directory has no intensity window to change");
    const int threads = defaultWorkThreads();
    std::shared_ptr<const ScanValues> values = source->sharedValues();
    if (ruleFor(policy, source->scan().modality) == WindowRule::Robust && !values->ranked)
        values = std::make_shared<const ScanValues>(gatherScanValues(source->scan(), threads));
    const IntensityWindow window = resolveWindow(policy, *values, source->scan().modality);
    return volumeStack(source->withWindow(window, values), threads, availableMemory());
}

bool hasNiftiExtension(const std::string& path)
{
    quietNifti();
    return nifti_is_complete_filename(path.c_str()) != 0;
}

} // namespace lumidra
