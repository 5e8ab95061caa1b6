#include "core/slices/SliceStack.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include <sys/mman.h>

namespace lumidra {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

// A stack of tens of megabytes is filled once, page by page: on huge pages
// that is a few hundred page faults instead of thousands, each of which
// costs microseconds (most of all in a virtual machine).
template <class T> T* allocateBlock(std::size_t count)
{
    std::size_t bytes = std::max<std::size_t>(count * sizeof(T), 1);
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
    return static_cast<T*>(block);
}

} // namespace

void SliceStack::Free::operator()(void* block) const
{
    std::free(block);
}

SliceStack::SliceStack(int count)
    : count_(std::max(count, 0)), grey_(allocateBlock<std::uint8_t>(sliceOffset(count_))),
      samples_(allocateBlock<std::uint16_t>(sliceOffset(count_)))
{
}

bool SliceStack::sameSlices(const SliceStack& other) const
{
    return count_ == other.count_ && std::equal(samples(), samples() + size(), other.samples());
}

} // namespace lumidra
