#include "core/volume/SliceStack.h"

#include <algorithm>

namespace lumidra {

SliceStack::SliceStack(int count)
    : count_(std::max(count, 0)), grey_(new std::uint8_t[sliceOffset(count_)]),
      samples_(new std::uint16_t[sliceOffset(count_)])
{
}

bool SliceStack::sameSlices(const SliceStack& other) const
{
    return count_ == other.count_ && std::equal(samples(), samples() + size(), other.samples());
}

} // namespace lumidra
