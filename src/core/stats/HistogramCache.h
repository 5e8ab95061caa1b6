#pragma once

#include "core/stats/RegionStats.h"
#include "core/slices/SliceStack.h"

namespace lumidra {

// The histograms a window shows, each computed once: the whole stack's once
// per stack (it is the costly one, and only a new stack changes it), the
// current slice's once per slice. Holding the stack keeps its identity
// meaningful: a new stack can never be mistaken for the cached one.
class HistogramCache {
public:
    const GreyHistogram& stack(const SharedSliceStack& stack);
    const GreyHistogram& slice(const SharedSliceStack& stack, int z);

private:
    SharedSliceStack stackOf_;
    GreyHistogram stack_;
    SharedSliceStack sliceStackOf_;
    int sliceIndex_ = -1;
    GreyHistogram slice_;
};

} // namespace lumidra
