#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace lumidra {

// The three image operations of the wavelet window, on RGB byte images.
// Quadrant of side side/2 (0 LL, 1 HH, 2 LH, 3 HL); any other selector copies nothing.
void extractQuadrant(const std::uint8_t* src, std::uint8_t* dst, int side, int quadrant);
// Pixel replication into an image of side 2 * side, which it returns (0 when nothing is done).
int enlarge2x(const std::uint8_t* src, int side, std::uint8_t* dst);
// Byte j of dst is the low 8 bits of values[j], for side * side * 3 values.
void packLowBytes(int side, const std::int32_t* values, std::uint8_t* dst);

constexpr int kWaveletLevels = 8;

// Every image the wavelet window shows, computed from one source picture of
// side n: the source itself (n x n), the LL, LH, HL and HH parts of levels 1-8
// (index level - 1) and the four totals, each (n/2) x (n/2) RGB.
struct WaveletAnalysis {
    int size = 0;
    int half = 0;
    std::vector<std::uint8_t> original;
    std::array<std::vector<std::uint8_t>, kWaveletLevels> ll, lh, hl, hh;
    std::vector<std::uint8_t> lhTotal, hlTotal, hhTotal, allTotal;
};

// No source, or a side that is odd or outside 2..8192, gives an empty analysis (size 0).
WaveletAnalysis analyseWavelet(const std::uint8_t* source, int n);

} // namespace lumidra
