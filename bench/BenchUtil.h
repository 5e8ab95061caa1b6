#pragma once

// Small timing harness shared by the benchmarks: every figure is the median
// of several runs, and every comparison is made within one process run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace bench {

template <typename Fn> double medianMicros(Fn&& fn, int runs)
{
    std::vector<double> times;
    times.reserve(runs);
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        fn();
        auto stop = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::micro>(stop - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Medians of several pieces of work timed in alternation, round after round,
// so that a slow stretch of a shared machine falls on all of them alike.
inline std::vector<double> alternatingMedians(const std::vector<std::function<void()>>& work,
                                              int rounds)
{
    std::vector<std::vector<double>> times(work.size());
    for (int r = 0; r < rounds; ++r)
        for (std::size_t k = 0; k < work.size(); ++k) {
            auto start = std::chrono::steady_clock::now();
            work[k]();
            auto stop = std::chrono::steady_clock::now();
            times[k].push_back(std::chrono::duration<double, std::micro>(stop - start).count());
        }
    std::vector<double> medians;
    for (std::vector<double>& t : times) {
        std::sort(t.begin(), t.end());
        medians.push_back(t[t.size() / 2]);
    }
    return medians;
}

inline void printFigure(const char* what, double micros)
{
    std::printf("%-48s %12.1f us\n", what, micros);
}

// Prints a ratio with the target it is held against and whether it meets it.
inline bool printRatio(const char* what, double ratio, const char* relation, double target)
{
    bool ok = relation[0] == '>' ? ratio >= target : ratio <= target;
    std::printf("%-48s %8.2fx  (target %s %.1fx: %s)\n", what, ratio, relation, target,
                ok ? "met" : "MISSED");
    return ok;
}

} // namespace bench
