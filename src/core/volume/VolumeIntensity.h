#pragma once

#include <cmath>
#include <cstdint>
#include <string>

namespace lumidra {

// Highest sample of the views' 12-bit scale.
constexpr int kTopSample = 4095;

// The rules that put a scan's values on the 12-bit scale. Auto is a choice
// still to be made: ct for a scan that says it is CT, else robust.
enum class WindowRule { Auto, Robust, Ct, Fixed, MinMax };

// The value ct puts on sample 0: HU -1,024 (air) and below.
constexpr double kCtLowHu = -1024.0;

// A window as it was applied to one scan: its rule, and the values, in the
// scan's units, that land on sample 0 and on the top sample. Linear rules
// (robust, fixed, minmax) map low..high onto 0..top; ct puts value + 1,024
// on the 12-bit scale. Values outside are clipped.
struct IntensityWindow {
    WindowRule rule = WindowRule::MinMax;
    double low = 0.0;
    double high = 0.0;

    // The sample of a value on 0..top (top 4,095, or 255 for 8-bit slices),
    // rounded half up. NaN and infinities give 0. A linear window whose high
    // is not above its low is a step: values above low give top, the rest 0.
    // Inline: volumes of wide types call it for every voxel they read.
    std::uint16_t sampleOf(double value, int top = kTopSample) const
    {
        if (!std::isfinite(value))
            return 0;
        if (rule == WindowRule::Ct) // on 8 bits, the grey the views show: the 12-bit sample / 16
            return static_cast<std::uint16_t>(roundedSample(value - kCtLowHu, kTopSample) *
                                              (top + 1) / (kTopSample + 1));
        if (!(high > low))
            return static_cast<std::uint16_t>(value > low ? top : 0);
        // Halved so that a range spanning most of the doubles does not
        // overflow; halving is exact, so this is (value - low) / (high - low).
        return roundedSample((value / 2 - low / 2) / (high / 2 - low / 2) * top, top);
    }
    // The value that lands exactly on 12-bit sample s.
    double valueOfSample(int sample) const;

    bool operator==(const IntensityWindow&) const = default;

private:
    // x rounded to the nearest integer, halves up, and clipped to 0..top:
    // std::round's result on 0..top, without its call.
    static int roundedSample(double x, int top)
    {
        if (!(x > 0))
            return 0;
        if (x >= top)
            return top;
        const int whole = static_cast<int>(x);
        return whole + (x - whole >= 0.5);
    }
};

// The rule's name as --window takes it: robust, ct, LO:HI (fixed) or minmax.
const char* windowRuleName(WindowRule rule);

// For people, in the scan's units: "robust, 12 to 230", "ct, -1024 to
// 3071", "minmax, 0 to 254", or a fixed window as given: "-100:80".
std::string describeWindow(const IntensityWindow& window);

// A number as the shortest text that reads back to it, whatever the locale.
std::string exactNumber(double value);

} // namespace lumidra
