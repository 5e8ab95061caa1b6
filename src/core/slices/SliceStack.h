#pragma once

#include "core/common/SliceGeometry.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace lumidra {

class VolumeSource;

// A stack as the views hold it: count slices of 256 x 256 pixels, each pixel
// a grey byte and the sample it came from on the 12-bit scale (raw samples as
// read, PGM values times 16). Built once by a loader, then immutable and
// shared: both views, the statistics and the value under the cursor read the
// same copy.
class SliceStack {
public:
    // Room for count slices, not cleared: the builder fills every pixel.
    explicit SliceStack(int count = 0);

    int count() const { return count_; }
    std::size_t size() const { return sliceOffset(count_); }

    const std::uint8_t* grey() const { return grey_.get(); }
    const std::uint16_t* samples() const { return samples_.get(); }
    const std::uint8_t* greySlice(int z) const { return grey_.get() + sliceOffset(z); }
    const std::uint16_t* sampleSlice(int z) const { return samples_.get() + sliceOffset(z); }

    // Writable only while the stack is built, before it is shared.
    std::uint8_t* greyData() { return grey_.get(); }
    std::uint16_t* sampleData() { return samples_.get(); }

    // The volume the stack was read from; null for a slice directory.
    const VolumeSource* source() const { return source_.get(); }
    void setSource(std::shared_ptr<const VolumeSource> source) { source_ = std::move(source); }

    // Whether both hold the same samples (and so the same grey bytes).
    bool sameSlices(const SliceStack& other) const;

private:
    struct Free {
        void operator()(void* block) const;
    };

    int count_ = 0;
    std::unique_ptr<std::uint8_t[], Free> grey_;
    std::unique_ptr<std::uint16_t[], Free> samples_;
    std::shared_ptr<const VolumeSource> source_;
};

using SharedSliceStack = std::shared_ptr<const SliceStack>;

// The grey byte of a sample: shifted right by four bits, low 8 bits kept.
constexpr std::uint8_t greyOf(std::uint32_t sample)
{
    return static_cast<std::uint8_t>(sample >> 4);
}

} // namespace lumidra
