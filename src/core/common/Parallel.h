#pragma once

#include <algorithm>
#include <cstddef>
#include <system_error>
#include <thread>
#include <vector>

namespace lumidra {

// Threads for work that is split across the machine's cores: all of them,
// up to four (memory bandwidth gives out before more would help).
inline int defaultWorkThreads()
{
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
}

// How many parts inParallel splits count items into: one per thread, but
// none smaller than minPart items, since each part costs a thread and often
// a table of its own; more parts than that would only multiply those.
inline std::size_t partsFor(std::size_t count, int threads, std::size_t minPart = 1)
{
    const std::size_t useful = std::max<std::size_t>(count / std::max<std::size_t>(minPart, 1), 1);
    return std::clamp<std::size_t>(static_cast<std::size_t>(std::max(threads, 1)), 1, useful);
}

// Calls work(part, begin, end) for partsFor(count, threads, minPart)
// contiguous parts of [0, count), each on a thread of its own (the first on
// the calling thread, and any part no thread can be started for), and
// returns when all are done. The parts are disjoint, so work may write its
// own part of a shared output. work must not throw.
template <typename Work>
void inParallel(std::size_t count, int threads, Work&& work, std::size_t minPart = 1)
{
    const std::size_t parts = partsFor(count, threads, minPart);
    const auto bound = [&](std::size_t part) { return count * part / parts; };
    std::vector<std::thread> helpers;
    helpers.reserve(parts - 1);
    for (std::size_t part = 1; part < parts; ++part) {
        try {
            helpers.emplace_back([&, part] { work(part, bound(part), bound(part + 1)); });
        } catch (const std::system_error&) {
            // No thread to be had: the calling thread does this part too.
            work(part, bound(part), bound(part + 1));
        }
    }
    work(std::size_t{0}, bound(0), bound(1));
    for (std::thread& helper : helpers)
        helper.join();
}

} // namespace lumidra
