// The block scanner for any x86-64 processor. For each of the 64 bytes it
// works out the value of the field that would end there, side by side, then
// copies out the values at the bytes where a field does end.
#include "core/slices/PgmScan.h"

#if defined(__SSE2__)

#include <bit>

#include <emmintrin.h>

namespace lumidra::pgmscan {
namespace {

__m128i digitMask(__m128i x)
{
    __m128i fromZero = _mm_sub_epi8(x, _mm_set1_epi8('0'));
    return _mm_cmpeq_epi8(_mm_min_epu8(fromZero, _mm_set1_epi8(9)), fromZero);
}

__m128i spaceMask(__m128i x)
{
    __m128i fromTab = _mm_sub_epi8(x, _mm_set1_epi8('\t')); // '\t' to '\r' are 0 to 4
    return _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8(' ')),
                        _mm_cmpeq_epi8(_mm_min_epu8(fromTab, _mm_set1_epi8(4)), fromTab));
}

// 16 * (d0 + 10 d1 + 100 d2) in 16-bit lanes.
__m128i fieldValues(__m128i d0, __m128i d1, __m128i d2)
{
    __m128i v = _mm_slli_epi16(d0, 4);
    v = _mm_add_epi16(v, _mm_mullo_epi16(d1, _mm_set1_epi16(160)));
    return _mm_add_epi16(v, _mm_mullo_epi16(d2, _mm_set1_epi16(1600)));
}

struct Block {
    std::uint64_t digits = 0; // bit k: byte k is a digit
    std::uint64_t spaces = 0; // bit k: byte k is C white space
    // 16 times the value of a field ending at byte k: its digit, plus ten
    // and a hundred times the digits before it that are in the same run.
    alignas(16) std::uint16_t value16[kBlock];
};

void classify(const unsigned char* p, Block& b)
{
    const __m128i none = _mm_setzero_si128();
    const __m128i zero = _mm_set1_epi8('0');
    for (int k = 0; k < kBlock / 16; ++k) {
        const unsigned char* q = p + 16 * k;
        __m128i x0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
        __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q - 1));
        __m128i x2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q - 2));
        __m128i m0 = digitMask(x0);
        __m128i m1 = digitMask(x1);
        __m128i m2 = _mm_and_si128(digitMask(x2), m1);
        if (k == 0) { // the bytes before the block belong to no field in it
            m1 = _mm_and_si128(
                m1, _mm_setr_epi8(0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1));
            m2 = _mm_and_si128(
                m2, _mm_setr_epi8(0, 0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1));
        }
        __m128i d0 = _mm_and_si128(_mm_sub_epi8(x0, zero), m0);
        __m128i d1 = _mm_and_si128(_mm_sub_epi8(x1, zero), m1);
        __m128i d2 = _mm_and_si128(_mm_sub_epi8(x2, zero), m2);
        auto* out = reinterpret_cast<__m128i*>(b.value16 + 16 * k);
        _mm_store_si128(out, fieldValues(_mm_unpacklo_epi8(d0, none), _mm_unpacklo_epi8(d1, none),
                                         _mm_unpacklo_epi8(d2, none)));
        _mm_store_si128(out + 1,
                        fieldValues(_mm_unpackhi_epi8(d0, none), _mm_unpackhi_epi8(d1, none),
                                    _mm_unpackhi_epi8(d2, none)));
        b.digits |= static_cast<std::uint64_t>(_mm_movemask_epi8(m0) & 0xFFFF) << (16 * k);
        b.spaces |= static_cast<std::uint64_t>(_mm_movemask_epi8(spaceMask(x0)) & 0xFFFF)
                    << (16 * k);
    }
}

} // namespace

bool scanBlockSse2(Scanner& s, std::uint16_t* dst, int& count)
{
    if (s.end - s.p < kBlock + 1 || s.p - s.begin < 2 || count > kSliceSamples - kMaxBlockFields)
        return false;
    Block b;
    classify(s.p, b);
    std::uint64_t d = b.digits;
    if ((d | b.spaces) != ~std::uint64_t{0} || (d & d >> 1 & d >> 2 & d >> 3) != 0)
        return false;
    bool runsOn = isDigit(s.p[kBlock]);
    std::uint64_t ends = d & ~(d >> 1 | std::uint64_t{runsOn} << 63);
    // A local count: stores through dst could otherwise change it, as far
    // as the compiler knows, and it would be reloaded for every field.
    int n = count;
    for (; ends != 0; ends &= ends - 1)
        dst[n++] = b.value16[std::countr_zero(ends)];
    count = n;
    // A run that goes on past the block is read from its start next time.
    s.p += runsOn ? kBlock - std::countl_one(d) : kBlock;
    return true;
}

} // namespace lumidra::pgmscan

#else

bool lumidra::pgmscan::scanBlockSse2(Scanner&, std::uint16_t*, int&)
{
    return false;
}

#endif
