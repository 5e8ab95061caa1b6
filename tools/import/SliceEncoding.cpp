#include "SliceEncoding.h"

#include "core/volume/VolumeIntensity.h"

#include <cstdio>

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
    return kind == SliceKind::Raw ? lumidra::kTopSample : 255;
}

std::string encodeSlice(const std::vector<std::uint16_t>& samples, SliceKind kind)
{
    return kind == SliceKind::Raw ? encodeRaw(samples) : encodePgm(samples);
}
