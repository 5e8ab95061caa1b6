#pragma once

#include <cmath>
#include <cstdint>

namespace lumidra {

// Highest sample of the views' 12-bit scale.
constexpr int kTopSample = 4095;

// The finite values seen so far; NaN and infinities are counted, not ranged.
struct ValueRange {
    double lo = 0.0;
    double hi = 0.0;
    bool any = false;
    std::int64_t nonFinite = 0;

    void add(double v, std::int64_t times = 1)
    {
        if (!std::isfinite(v)) {
            nonFinite += times;
            return;
        }
        lo = any && lo < v ? lo : v;
        hi = any && hi > v ? hi : v;
        any = true;
    }
    bool constant() const { return !any || !(hi > lo); }
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

} // namespace lumidra
