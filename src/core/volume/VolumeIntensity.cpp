#include "core/volume/VolumeIntensity.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace lumidra {

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
