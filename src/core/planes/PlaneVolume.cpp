#include "core/planes/PlaneVolume.h"

#include "core/common/SliceGeometry.h"

#include <nifti1_io.h>

#include <algorithm>

namespace lumidra {

PlaneVolume::PlaneVolume(SharedSliceStack stack)
{
    if (!stack || stack->count() < 1)
        return;
    if (const VolumeSource* s = stack->source()) {
        shape_ = volumeShape({s->nx(), s->ny(), s->nz()}, s->voxelMm(), s->layout().axes);
        if (shape_.empty() || static_cast<int>(s->planeOfSlice.size()) != s->nz())
            return;
        sliceOfPlane_.assign(s->nz(), -1);
        for (int z = 0; z < s->nz(); ++z)
            if (s->planeOfSlice[z] >= 0 && s->planeOfSlice[z] < s->nz())
                sliceOfPlane_[s->planeOfSlice[z]] = z;
    } else {
        // The main window shows slice rows from the top, each mirrored: slice
        // columns run toward the patient's right, rows toward posterior, and
        // slice 0 is the most inferior, as an imported axial scan's are.
        shape_ = volumeShape({kSliceSide, kSliceSide, stack->count()}, {1.0, 1.0, 1.0},
                             {NIFTI_L2R, NIFTI_A2P, NIFTI_I2S});
        sliceOfPlane_.resize(stack->count());
        for (int z = 0; z < stack->count(); ++z)
            sliceOfPlane_[z] = z;
    }
    stack_ = std::move(stack);
}

namespace {

std::size_t offsetOf(const VolumeShape& s, VoxelIndex v)
{
    return static_cast<std::size_t>(v.i) +
           static_cast<std::size_t>(s.extent[0]) *
               (static_cast<std::size_t>(v.j) +
                static_cast<std::size_t>(s.extent[1]) * static_cast<std::size_t>(v.k));
}

} // namespace

void PlaneVolume::readAlong(std::size_t first, std::ptrdiff_t step, int count,
                            std::uint16_t* out) const
{
    if (const VolumeSource* s = source()) {
        s->samplesAlong(first, step, count, out);
        return;
    }
    // A slice directory's stack, as it keeps its voxels.
    stack_->visit([&](auto voxels) {
        std::size_t n = first;
        for (int c = 0; c < count; ++c, n += step)
            out[c] = voxelSample(voxels[n]);
    });
}

std::uint16_t PlaneVolume::sampleAt(VoxelIndex v) const
{
    if (empty() || !shape_.holds(v))
        return 0;
    std::uint16_t sample = 0;
    readAlong(offsetOf(shape_, v), 1, 1, &sample);
    return sample;
}

std::optional<std::array<double, 3>> PlaneVolume::positionMm(VoxelIndex v) const
{
    if (const VolumeSource* s = source())
        return s->positionMm(v);
    return std::nullopt;
}

int PlaneVolume::sliceOfPlane(int k) const
{
    return k >= 0 && k < static_cast<int>(sliceOfPlane_.size()) ? sliceOfPlane_[k] : -1;
}

int PlaneVolume::planeOfSlice(int z) const
{
    if (const VolumeSource* s = source())
        return z >= 0 && z < static_cast<int>(s->planeOfSlice.size()) ? s->planeOfSlice[z] : -1;
    return z >= 0 && z < shape_.extent[2] ? z : -1;
}

void PlaneVolume::cut(const PlaneAxes& a, VoxelIndex through, PlaneCut& out) const
{
    out.axes = a;
    out.through = through;
    out.samples.resize(static_cast<std::size_t>(a.width) * a.height);
    if (empty() || !shape_.holds(through)) {
        std::fill(out.samples.begin(), out.samples.end(), std::uint16_t{0});
        return;
    }
    const std::array<std::ptrdiff_t, 3> stride{
        1, shape_.extent[0], static_cast<std::ptrdiff_t>(shape_.extent[0]) * shape_.extent[1]};
    // Each row of the plane is one run through the voxels with a fixed step.
    const auto first = static_cast<std::ptrdiff_t>(offsetOf(shape_, voxelAt(a, through, {0, 0})));
    const std::ptrdiff_t stepX = a.xFlip ? -stride[a.xAxis] : stride[a.xAxis];
    const std::ptrdiff_t stepY = a.yFlip ? -stride[a.yAxis] : stride[a.yAxis];
    std::uint16_t* to = out.samples.data();
    for (int y = 0; y < a.height; ++y, to += a.width)
        readAlong(static_cast<std::size_t>(first + y * stepY), stepX, a.width, to);
}

} // namespace lumidra
