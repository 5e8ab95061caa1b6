#pragma once

// A stack built in memory, every slice and every pixel of it different.
#include "core/slices/SliceStack.h"

#include <cstdint>
#include <memory>

namespace patternstack {

// Slice z, sample s holds 12-bit sample 16 * ((s + zStep * z) % 256) + (s % 16).
inline std::shared_ptr<lumidra::SliceStack> patternStack(int count, int zStep)
{
    using namespace lumidra;
    auto stack = std::make_shared<SliceStack>(count);
    for (int z = 0; z < count; ++z)
        for (int s = 0; s < kSliceSamples; ++s) {
            const auto sample = static_cast<std::uint16_t>(16 * ((s + zStep * z) % 256) + s % 16);
            stack->sampleData()[sliceOffset(z) + s] = sample;
            stack->greyData()[sliceOffset(z) + s] = greyOf(sample);
        }
    return stack;
}

} // namespace patternstack
