#include "core/volume/VolumeSource.h"

namespace lumidra {

VolumeSource::VolumeSource(std::shared_ptr<const ScanVoxels> scan,
                           std::shared_ptr<const ScanValues> values, const IntensityWindow& window,
                           const SliceLayout& layout)
    : voxels_(std::move(scan), window), values_(std::move(values)), layout_(layout)
{
    const int count = nz();
    planeOfSlice.resize(static_cast<std::size_t>(count));
    for (int z = 0; z < count; ++z)
        planeOfSlice[z] = layout.reverseSlices ? count - 1 - z : z;
    pixelVoxel = sourceIndices(layout, nx(), ny());
    fitFactor = layout.factor;
    const double columnMm = voxelMm()[layout.swapped ? 1 : 0];
    const double rowMm = voxelMm()[layout.swapped ? 0 : 1];
    slicePixelMm = {columnMm * layout.factor, rowMm * layout.factor, voxelMm()[2]};
}

std::shared_ptr<const VolumeSource>
VolumeSource::withWindow(const IntensityWindow& window,
                         std::shared_ptr<const ScanValues> values) const
{
    auto other = std::make_shared<VolumeSource>(*this);
    other->voxels_ = WindowedVoxels(voxels_.sharedScan(), window);
    other->values_ = std::move(values);
    return other;
}

} // namespace lumidra
