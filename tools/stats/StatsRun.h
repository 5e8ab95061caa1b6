#pragma once

#include "core/volume/WindowPolicy.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct StatsOptions {
    std::string rif = "./data/colornfo.txt";
    bool rifGiven = false;        // --rif was given, rather than the default
    std::string csv;              // empty: standard output
    std::string labels;           // empty: no label maps
    lumidra::WindowPolicy window; // for volumes; slice directories have their samples
    std::uint64_t minIsland = 0;  // pieces of a region smaller than this go to none; 0: off
    int jobs = 1;
    std::vector<std::string> inputs;
};

constexpr int kStatsInputFailed = 1;
constexpr int kStatsUsageError = 2;

// The label-map prefix of each input: the prefix itself for a single input,
// else the prefix followed by the input's name without its extension.
// Empty when two inputs would share one.
std::vector<std::string> labelPrefixes(const std::string& prefix,
                                       const std::vector<std::string>& inputs);

// Region statistics of every input as CSV, in input order, on at most
// options.jobs threads (no more than the inputs and the machine's cores can
// use), each region's 6-connected pieces counted and those smaller than
// options.minIsland given to none; label maps when asked. A failed input is
// one line on err and the others go on; so is a warning, such as a count of
// NaN voxels. Returns 0, or kStatsInputFailed when an input, the region file
// or the output failed.
int runStats(const StatsOptions& options, std::FILE* out, std::FILE* err);

// The region files installed with the tools, each with what it is for,
// where this program finds them (its own prefix's share/lumidra/, else the
// one it was built for).
std::vector<std::string> installedRegionFiles();
