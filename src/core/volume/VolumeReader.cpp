#include "core/volume/VolumeReader.h"

#include "core/common/SliceGeometry.h"
#include "core/volume/NiftiFile.h"
#include "core/volume/VolumeError.h"
#include "core/volume/VolumeSource.h"

#include <algorithm>
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

LoadedVolume readVolume(const std::string& path, Placement placement)
{
    NiftiFile file(path);
    LoadedVolume volume;
    volume.layout = planSliceLayout(file.nx(), file.ny(), file.axes(), placement);
    file.loadVoxels();
    try {
        volume.source =
            makeVolumeSource(file, volume.layout, file.samples(kTopSample, volume.range));
    } catch (const std::bad_alloc&) {
        throw VolumeError("'" + path + "' is too large to hold in memory");
    }
    return volume;
}

void placePlane(const std::uint16_t* plane, int nx, int ny, const SliceLayout& layout,
                const std::vector<std::int64_t>& placed, std::uint16_t* out,
                std::vector<std::uint16_t>& scratch)
{
    if (layout.fitted()) {
        reducePlane(plane, nx, ny, layout.factor, scratch);
        plane = scratch.data();
    }
    for (int p = 0; p < kSliceSamples; ++p)
        out[p] = placed[p] >= 0 ? plane[placed[p]] : 0;
}

SharedSliceStack volumeStack(const LoadedVolume& volume)
{
    const VolumeSource& source = *volume.source;
    std::shared_ptr<SliceStack> stack;
    try {
        stack = std::make_shared<SliceStack>(source.nz);
    } catch (const std::bad_alloc&) {
        throw VolumeError("not enough memory for " + std::to_string(source.nz) + " slices");
    }
    const std::vector<std::int64_t> placed = placedIndices(volume.layout);
    std::vector<std::uint16_t> scratch;
    for (int z = 0; z < source.nz; ++z) {
        std::uint16_t* samples = stack->sampleData() + sliceOffset(z);
        placePlane(source.plane(source.planeOfSlice[z]), source.nx, source.ny, volume.layout,
                   placed, samples, scratch);
        std::uint8_t* grey = stack->greyData() + sliceOffset(z);
        for (int p = 0; p < kSliceSamples; ++p)
            grey[p] = greyOf(samples[p]);
    }
    stack->setSource(volume.source);
    return stack;
}

SharedSliceStack openVolume(const std::string& path)
{
    return volumeStack(readVolume(path));
}

bool hasNiftiExtension(const std::string& path)
{
    quietNifti();
    return nifti_is_complete_filename(path.c_str()) != 0;
}

} // namespace lumidra
