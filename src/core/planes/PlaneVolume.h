#pragma once

#include "core/planes/PlaneGeometry.h"
#include "core/slices/SliceStack.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace lumidra {

// One plane cut through a voxel: the 12-bit sample of each of its pixels,
// row by row from the top left, as the plane lies on the screen.
struct PlaneCut {
    PlaneAxes axes;
    VoxelIndex through;
    std::vector<std::uint16_t> samples;
};

// The volume the three planes show: a stack's source at the scan's own
// resolution, or a slice directory as 256 x 256 x N voxels of 1 mm whose
// axial plane is the slice as the main window shows it. It holds the stack
// (shared), never a copy of its voxels, and is the one place where the
// planes and their cursor reading read a voxel.
class PlaneVolume {
public:
    PlaneVolume() = default;
    // An empty volume when the stack has no slices, or a source whose voxels
    // do not fill its dimensions.
    explicit PlaneVolume(SharedSliceStack stack);

    bool empty() const { return !stack_; }
    const VolumeShape& shape() const { return shape_; }
    const SharedSliceStack& stack() const { return stack_; }
    // The volume file behind the stack; null for a slice directory.
    const VolumeSource* source() const { return stack_ ? stack_->source() : nullptr; }

    // The 12-bit sample of a voxel inside the volume.
    std::uint16_t sampleAt(VoxelIndex v) const;
    // A volume file's voxel in scanner millimetres; a slice directory has no position.
    std::optional<std::array<double, 3>> positionMm(VoxelIndex v) const;

    // The main window's slice that shows plane k (along the voxel axis k),
    // and the plane its slice z shows; -1 outside.
    int sliceOfPlane(int k) const;
    int planeOfSlice(int z) const;

    // Cuts the plane of `axes` through a voxel into `cut` (its buffer reused).
    void cut(const PlaneAxes& axes, VoxelIndex through, PlaneCut& cut) const;

private:
    // count samples from voxel offset first on, step voxels apart.
    void readAlong(std::size_t first, std::ptrdiff_t step, int count, std::uint16_t* out) const;

    SharedSliceStack stack_;
    VolumeShape shape_;
    std::vector<int> sliceOfPlane_;
};

} // namespace lumidra
