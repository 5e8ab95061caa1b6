#include "SliceEncoding.h"

#include "core/volume/SliceLoader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace lumidra;

namespace {

std::string encodeRaw(const std::vector<std::uint16_t>& samples)
{
    std::string bytes(samples.size() * 2, '\0');
    for (std::size_t n = 0; n < samples.size(); ++n) {
        bytes[2 * n] = static_cast<char>(samples[n] >> 8);
        bytes[2 * n + 1] = static_cast<char>(samples[n] & 0xff);
    }
    return bytes;
}

// Sixteen samples a line keeps lines under the 70 characters PGM readers expect.
std::string encodePgm(const std::vector<std::uint16_t>& samples)
{
    constexpr int kPerLine = 16;
    std::string text = "P2\n256 256\n255\n";
    text.reserve(text.size() + samples.size() * 4);
    char field[8];
    for (std::size_t n = 0; n < samples.size(); ++n) {
        const bool lineEnd = (n + 1) % kPerLine == 0;
        std::snprintf(field, sizeof field, "%u%c", static_cast<unsigned>(samples[n]),
                      lineEnd ? '\n' : ' ');
        text += field;
    }
    return text;
}

} // namespace

int topLevel(SliceKind kind)
{
    return kind == SliceKind::Raw ? 4095 : 255;
}

void ValueRange::add(const std::vector<double>& values)
{
    for (const double v : values) {
        if (!std::isfinite(v)) {
            ++nonFinite;
            continue;
        }
        lo = any ? std::min(lo, v) : v;
        hi = any ? std::max(hi, v) : v;
        any = true;
    }
}

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

void fillSlice(const std::vector<std::int64_t>& sources, const std::vector<double>& plane,
               const IntensityScale& scale, std::vector<std::uint16_t>& samples)
{
    samples.assign(kSliceSamples, 0);
    for (int p = 0; p < kSliceSamples; ++p) {
        if (sources[p] >= 0)
            samples[p] = scale(plane[sources[p]]);
    }
}

std::string encodeSlice(const std::vector<std::uint16_t>& samples, SliceKind kind)
{
    return kind == SliceKind::Raw ? encodeRaw(samples) : encodePgm(samples);
}
