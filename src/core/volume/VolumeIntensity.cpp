#include "core/volume/VolumeIntensity.h"

#include <algorithm>

namespace lumidra {

IntensityScale::IntensityScale(const ValueRange& range, int top)
    : lo_(range.lo), hi_(range.hi), top_(top)
{
}

std::uint16_t IntensityScale::operator()(double value) const
{
    if (!std::isfinite(value) || !(hi_ > lo_))
        return 0;
    // Halved so that a range spanning most of the doubles does not overflow.
    const double t = (value / 2 - lo_ / 2) / (hi_ / 2 - lo_ / 2);
    const double level = std::round(t * top_);
    return static_cast<std::uint16_t>(std::clamp(level, 0.0, static_cast<double>(top_)));
}

} // namespace lumidra
