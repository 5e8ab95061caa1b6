#pragma once

// Stacks made in memory, each voxel a function of its index n (slice-major,
// sample order within a slice): raw-like stacks of samples, PGM-like stacks
// of grey bytes.
#include "core/slices/SliceStack.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace teststacks {

template <class F> std::shared_ptr<lumidra::SliceStack> sampleStack(int count, F sampleAt)
{
    auto stack = std::make_shared<lumidra::SliceStack>(lumidra::SliceStack::Kind::Samples, count);
    for (std::size_t n = 0; n < stack->size(); ++n)
        stack->samplesToFill()[n] = static_cast<std::uint16_t>(sampleAt(n));
    return stack;
}

template <class F> std::shared_ptr<lumidra::SliceStack> greyStack(int count, F greyAt)
{
    auto stack = std::make_shared<lumidra::SliceStack>(lumidra::SliceStack::Kind::Greys, count);
    for (std::size_t n = 0; n < stack->size(); ++n)
        stack->greysToFill()[n] = static_cast<std::uint8_t>(greyAt(n));
    return stack;
}

// Every slice and every pixel different: slice z, sample s holds 12-bit
// sample 16 * ((s + zStep * z) % 256) + (s % 16).
inline std::shared_ptr<lumidra::SliceStack> patternStack(int count, int zStep)
{
    return sampleStack(count, [zStep](std::size_t n) {
        const std::size_t z = n / lumidra::kSliceSamples, s = n % lumidra::kSliceSamples;
        return 16 * ((s + zStep * z) % 256) + s % 16;
    });
}

} // namespace teststacks
