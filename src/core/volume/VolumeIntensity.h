#pragma once

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
    std::uint16_t sampleOf(double value, int top = kTopSample) const;
    // The value that lands exactly on 12-bit sample s.
    double valueOfSample(int sample) const;

    bool operator==(const IntensityWindow&) const = default;
};

// The rule's name as --window takes it: robust, ct, LO:HI (fixed) or minmax.
const char* windowRuleName(WindowRule rule);

// For people, in the scan's units: "robust, 12 to 230", "ct, -1024 to
// 3071", "minmax, 0 to 254", or a fixed window as given: "-100:80".
std::string describeWindow(const IntensityWindow& window);

// A number as the shortest text that reads back to it, whatever the locale.
std::string exactNumber(double value);

} // namespace lumidra
