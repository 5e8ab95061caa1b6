#include "core/volume/VolumeIntensity.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace lumidra {

std::uint16_t IntensityWindow::sampleOf(double value, int top) const
{
    if (!std::isfinite(value))
        return 0;
    if (rule == WindowRule::Ct) {
        const double sample = std::clamp(std::round(value - kCtLowHu), 0.0, double{kTopSample});
        // On an 8-bit scale the grey byte the views would show: the sample >> 4.
        return static_cast<std::uint16_t>(static_cast<int>(sample) * (top + 1) / (kTopSample + 1));
    }
    if (!(high > low))
        return value > low ? static_cast<std::uint16_t>(top) : 0;
    // Halved so that a range spanning most of the doubles does not overflow;
    // halving is exact, so this is (value - low) / (high - low).
    const double t = (value / 2 - low / 2) / (high / 2 - low / 2);
    const double level = std::round(t * top);
    return static_cast<std::uint16_t>(std::clamp(level, 0.0, static_cast<double>(top)));
}

double IntensityWindow::valueOfSample(int sample) const
{
    if (rule == WindowRule::Ct)
        return sample + kCtLowHu;
    if (!(high > low))
        return low;
    const double span = high - low;
    if (std::isfinite(span))
        return low + span * sample / kTopSample;
    return low + (high / 2 - low / 2) * sample / kTopSample * 2;
}

const char* windowRuleName(WindowRule rule)
{
    switch (rule) {
    case WindowRule::Auto:
        return "auto";
    case WindowRule::Robust:
        return "robust";
    case WindowRule::Ct:
        return "ct";
    case WindowRule::Fixed:
        return "LO:HI";
    case WindowRule::MinMax:
        return "minmax";
    }
    return "?";
}

std::string exactNumber(double value)
{
    if (value == 0.0)
        value = 0.0; // no "-0"
    char buffer[32];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return error == std::errc() ? std::string(buffer, end) : std::string("?");
}

std::string describeWindow(const IntensityWindow& w)
{
    if (w.rule == WindowRule::Fixed)
        return exactNumber(w.low) + ":" + exactNumber(w.high);
    return std::string(windowRuleName(w.rule)) + ", " + exactNumber(w.low) + " to " +
           exactNumber(w.high);
}

} // namespace lumidra
