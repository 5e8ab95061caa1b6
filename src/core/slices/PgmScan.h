#pragma once

// Pieces of the PGM slice parser shared by its scalar part and the block
// scanners that read 64 bytes of samples at once with vector instructions.
#include "core/common/SliceGeometry.h"

#include <cstddef>
#include <cstdint>

namespace lumidra {

namespace pgmscan {

inline bool isCSpace(unsigned char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

inline bool isDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

struct Scanner {
    const unsigned char* begin;
    const unsigned char* p;
    const unsigned char* end;

    void skipSpace()
    {
        while (p != end && isCSpace(*p))
            ++p;
    }
};

constexpr std::ptrdiff_t kBlock = 64;
constexpr int kMaxBlockFields = kBlock / 2; // each field has a digit and a separator

// A block scanner takes the samples of the kBlock bytes at s.p when they
// hold nothing but white space and runs of at most three digits (each run
// then is one "%3d" field), stores them from dst[count] on and moves s.p
// past them; it may go on with the blocks that follow while they qualify.
// s.p is at a field boundary: the byte before it is not part of the field
// that starts there. Returns false, with nothing consumed or stored, for any
// other bytes, near either end of the data, or when the slice has no room
// for kMaxBlockFields more samples.
using BlockScanner = bool (*)(Scanner& s, std::uint16_t* dst, int& count);

bool scanBlockSse2(Scanner& s, std::uint16_t* dst, int& count);
bool scanBlockAvx2(Scanner& s, std::uint16_t* dst, int& count);
bool scanBlockAvx512(Scanner& s, std::uint16_t* dst, int& count);

bool avx2Supported();
bool avx512Supported();

enum class SampleScan { Scalar, Sse2, Avx2, Avx512 };
constexpr SampleScan kEveryScan[] = {SampleScan::Scalar, SampleScan::Sse2, SampleScan::Avx2,
                                     SampleScan::Avx512};

bool supported(SampleScan scan);
SampleScan fastestSupported();

} // namespace pgmscan

// parsePgmSlice with a chosen way of reading the samples; parsePgmSlice
// takes the fastest the processor supports. Every way gives the same result.
[[nodiscard]] int parsePgmSliceWith(pgmscan::SampleScan scan, std::uint32_t* dst, const char* data,
                                    std::size_t size);

} // namespace lumidra
