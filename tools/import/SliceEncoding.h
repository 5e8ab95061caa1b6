#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class SliceKind { Raw, Pgm };

// Highest sample a slice file of the kind holds: the viewer's 12-bit scale for
// raw files, a byte for PGM.
int topLevel(SliceKind kind);

// The finite values seen so far; NaN and infinities are counted, not ranged.
struct ValueRange {
    double lo = 0.0;
    double hi = 0.0;
    bool any = false;
    std::int64_t nonFinite = 0;

    void add(const std::vector<double>& values);
};

// Linear map of a value range onto 0..top, rounded. A constant range, NaN and
// infinities give 0.
class IntensityScale {
public:
    IntensityScale(const ValueRange& range, int top);
    std::uint16_t operator()(double value) const;

private:
    double lo_;
    double hi_;
    int top_;
};

// The 65,536 samples of a slice file: plane[sources[p]] scaled, 0 where sources[p] < 0.
void fillSlice(const std::vector<std::int64_t>& sources, const std::vector<double>& plane,
               const IntensityScale& scale, std::vector<std::uint16_t>& samples);

// The whole contents of a slice file of 65,536 samples.
std::string encodeSlice(const std::vector<std::uint16_t>& samples, SliceKind kind);
