#include "core/slices/SliceStack.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include <sys/mman.h>

namespace lumidra {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

// A stack of tens of megabytes is filled once, page by page: on huge pages
// that is a few hundred page faults instead of thousands, each of which
// costs microseconds (most of all in a virtual machine).
void* allocateBlock(std::size_t bytes)
{
    bytes = std::max<std::size_t>(bytes, 1);
    void* block = nullptr;
    if (bytes >= kHugePage) {
        bytes = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        block = std::aligned_alloc(kHugePage, bytes);
        if (block)
            ::madvise(block, bytes, MADV_HUGEPAGE);
    } else {
        block = std::malloc(bytes);
    }
    if (!block)
        throw std::bad_alloc();
    return block;
}

} // namespace

void SliceStack::Free::operator()(void* block) const
{
    std::free(block);
}

SliceStack::SliceStack(Kind kind, int count)
    : kind_(kind), count_(std::max(count, 0)), block_(allocateBlock(size() * voxelBytes()))
{
}

std::uint8_t SliceStack::greyAt(int z, int sample) const
{
    if (z < 0 || z >= count_ || sample < 0 || sample >= kSliceSamples)
        return 0;
    return visitSlice(z, [sample](auto slice) { return voxelGrey(slice[sample]); });
}

std::uint16_t SliceStack::sampleAt(int z, int sample) const
{
    if (z < 0 || z >= count_ || sample < 0 || sample >= kSliceSamples)
        return 0;
    return visitSlice(z, [sample](auto slice) { return voxelSample(slice[sample]); });
}

std::span<std::uint16_t> SliceStack::samplesToFill()
{
    if (kind_ != Kind::Samples)
        return {};
    return {static_cast<std::uint16_t*>(block_.get()), size()};
}

std::span<std::uint8_t> SliceStack::greysToFill()
{
    if (kind_ != Kind::Greys)
        return {};
    return {static_cast<std::uint8_t*>(block_.get()), size()};
}

bool SliceStack::sameSlices(const SliceStack& other) const
{
    return kind_ == other.kind_ && count_ == other.count_ &&
           std::memcmp(block_.get(), other.block_.get(), size() * voxelBytes()) == 0;
}

} // namespace lumidra
