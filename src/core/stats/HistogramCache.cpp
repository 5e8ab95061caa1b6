#include "core/stats/HistogramCache.h"

#include "core/common/Parallel.h"

namespace lumidra {

const GreyHistogram& HistogramCache::stack(const SharedSliceStack& stack)
{
    if (stack != stackOf_) {
        stackOf_ = stack;
        stack_ = stack ? stackHistogram(*stack, defaultWorkThreads()) : GreyHistogram{};
    }
    return stack_;
}

const GreyHistogram& HistogramCache::slice(const SharedSliceStack& stack, int z)
{
    if (stack != sliceStackOf_ || z != sliceIndex_) {
        sliceStackOf_ = stack;
        sliceIndex_ = z;
        slice_ = stack ? sliceHistogram(*stack, z) : GreyHistogram{};
    }
    return slice_;
}

} // namespace lumidra
