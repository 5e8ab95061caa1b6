#pragma once

#include "core/common/SliceGeometry.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace lumidra {

class VolumeSource;

// The grey byte of a sample: shifted right by four bits, low 8 bits kept.
constexpr std::uint8_t greyOf(std::uint32_t sample)
{
    return static_cast<std::uint8_t>(sample >> 4);
}

// What one voxel of a stack stands for, whichever way the stack keeps it: a
// 12-bit sample, or the grey byte of a PGM file (whose sample is grey * 16).
// Only these two types: an int is neither, and does not compile.
constexpr std::uint8_t voxelGrey(std::uint16_t sample)
{
    return greyOf(sample);
}
constexpr std::uint8_t voxelGrey(std::uint8_t grey)
{
    return grey;
}
constexpr std::uint16_t voxelSample(std::uint16_t sample)
{
    return sample;
}
constexpr std::uint16_t voxelSample(std::uint8_t grey)
{
    return static_cast<std::uint16_t>(grey << 4);
}
template <class T> void voxelGrey(T) = delete;
template <class T> void voxelSample(T) = delete;

// A stack as the views hold it: count slices of 256 x 256 pixels, each voxel
// kept once. Raw slices and volumes keep their 12-bit samples (2 bytes a
// voxel); PGM slices the grey bytes their files hold (1 byte). Whoever reads
// it takes the voxels as they are kept and derives grey or sample as it
// reads. Built once by a loader, then immutable and shared: both views, the
// statistics and the value under the cursor read the same copy.
class SliceStack {
public:
    enum class Kind { Samples, Greys };

    // Room for count slices, not cleared: the builder fills every voxel.
    explicit SliceStack(Kind kind = Kind::Samples, int count = 0);

    Kind kind() const { return kind_; }
    int count() const { return count_; }
    std::size_t size() const { return sliceOffset(count_); }

    // Calls f with every voxel (or slice z's) as kept: a std::span of const
    // std::uint16_t samples or of const std::uint8_t grey bytes; f reads each
    // through voxelGrey / voxelSample. An empty span past the last slice.
    template <class F> decltype(auto) visit(F&& f) const { return visitRange(0, count_, f); }
    template <class F> decltype(auto) visitSlice(int z, F&& f) const
    {
        const bool held = z >= 0 && z < count_;
        return visitRange(held ? z : 0, held ? z + 1 : 0, f);
    }

    // One voxel of slice z (sample order), for a reading here and there; 0
    // outside the stack.
    std::uint8_t greyAt(int z, int sample) const;
    std::uint16_t sampleAt(int z, int sample) const;

    // Writable only while the stack is built, before it is shared; empty
    // unless the stack keeps its voxels that way.
    std::span<std::uint16_t> samplesToFill();
    std::span<std::uint8_t> greysToFill();

    // The volume the stack was read from; null for a slice directory.
    const VolumeSource* source() const { return source_.get(); }
    void setSource(std::shared_ptr<const VolumeSource> source) { source_ = std::move(source); }

    // Whether both keep the same voxels the same way.
    bool sameSlices(const SliceStack& other) const;

private:
    struct Free {
        void operator()(void* block) const;
    };

    std::size_t voxelBytes() const { return kind_ == Kind::Samples ? 2 : 1; }

    template <class F> decltype(auto) visitRange(int first, int end, F& f) const
    {
        const std::size_t begin = sliceOffset(first);
        const std::size_t n = sliceOffset(end) - begin;
        if (kind_ == Kind::Greys)
            return f(std::span<const std::uint8_t>(
                static_cast<const std::uint8_t*>(block_.get()) + begin, n));
        return f(std::span<const std::uint16_t>(
            static_cast<const std::uint16_t*>(block_.get()) + begin, n));
    }

    Kind kind_ = Kind::Samples;
    int count_ = 0;
    std::unique_ptr<void, Free> block_;
    std::shared_ptr<const VolumeSource> source_;
};

using SharedSliceStack = std::shared_ptr<const SliceStack>;

} // namespace lumidra
