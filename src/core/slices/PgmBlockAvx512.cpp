// The block scanner for processors with AVX-512 (BW and VBMI2): the values
// of the fields that would end at each of the 64 bytes are worked out side
// by side, as in the SSE2 scanner, and those where a field does end are
// packed together by one compress instead of being copied out one by one.
#include "core/slices/PgmScan.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

#include <bit>

#include <immintrin.h>

// GCC 12 warns of an uninitialised variable inside its own AVX-512 intrinsics
// (the "undefined" vector they start from): GCC bug 105593.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#define LUMIDRA_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi2,bmi,bmi2,popcnt,lzcnt")))

namespace lumidra::pgmscan {
namespace {

// 32 byte lanes of digit values to 16 * (d0 + 10 d1 + 100 d2) in 16-bit lanes.
LUMIDRA_AVX512 __m512i fieldValues(__m256i d0, __m256i d1, __m256i d2)
{
    __m512i v = _mm512_slli_epi16(_mm512_cvtepu8_epi16(d0), 4);
    v = _mm512_add_epi16(v, _mm512_mullo_epi16(_mm512_cvtepu8_epi16(d1), _mm512_set1_epi16(160)));
    return _mm512_add_epi16(v,
                            _mm512_mullo_epi16(_mm512_cvtepu8_epi16(d2), _mm512_set1_epi16(1600)));
}

// Stores the values of the lanes set in ends, in order.
LUMIDRA_AVX512 int storeFields(__m512i values16, std::uint32_t ends, std::uint16_t* dst)
{
    __m512i packed = _mm512_maskz_compress_epi16(ends, values16);
    int n = std::popcount(ends);
    _mm512_mask_storeu_epi16(dst, _bzhi_u32(~0u, static_cast<unsigned>(n)), packed);
    return n;
}

} // namespace

LUMIDRA_AVX512 bool scanBlockAvx512(Scanner& s, std::uint16_t* dst, int& count)
{
    if (s.end - s.p < kBlock + 1 || s.p - s.begin < 2 || count > kSliceSamples - kMaxBlockFields)
        return false;
    const __m512i zero = _mm512_set1_epi8('0');
    __m512i x0 = _mm512_loadu_si512(s.p);
    __m512i d0 = _mm512_sub_epi8(x0, zero);
    std::uint64_t d = _mm512_cmple_epu8_mask(d0, _mm512_set1_epi8(9));
    std::uint64_t spaces =
        _mm512_cmpeq_epi8_mask(x0, _mm512_set1_epi8(' ')) |
        _mm512_cmple_epu8_mask(_mm512_sub_epi8(x0, _mm512_set1_epi8('\t')), _mm512_set1_epi8(4));
    if ((d | spaces) != ~std::uint64_t{0} || (d & d >> 1 & d >> 2 & d >> 3) != 0)
        return false;
    bool runsOn = isDigit(s.p[kBlock]);
    std::uint64_t ends = d & ~(d >> 1 | std::uint64_t{runsOn} << 63);

    // The digits one and two bytes back, where they are in the same run; the
    // bytes before the block belong to no field in it.
    std::uint64_t back1 = d << 1;
    std::uint64_t back2 = d << 2 & back1;
    __m512i d1 = _mm512_maskz_sub_epi8(back1, _mm512_loadu_si512(s.p - 1), zero);
    __m512i d2 = _mm512_maskz_sub_epi8(back2, _mm512_loadu_si512(s.p - 2), zero);
    for (int half = 0; half < 2; ++half) {
        __m512i values =
            half == 0
                ? fieldValues(_mm512_castsi512_si256(d0), _mm512_castsi512_si256(d1),
                              _mm512_castsi512_si256(d2))
                : fieldValues(_mm512_extracti64x4_epi64(d0, 1), _mm512_extracti64x4_epi64(d1, 1),
                              _mm512_extracti64x4_epi64(d2, 1));
        count += storeFields(values, static_cast<std::uint32_t>(ends >> (32 * half)), dst + count);
    }
    // A run that goes on past the block is read from its start next time.
    s.p += runsOn ? kBlock - std::countl_one(d) : kBlock;
    return true;
}

bool avx512Supported()
{
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("bmi2");
}

} // namespace lumidra::pgmscan

#else

bool lumidra::pgmscan::scanBlockAvx512(Scanner&, std::uint16_t*, int&)
{
    return false;
}

bool lumidra::pgmscan::avx512Supported()
{
    return false;
}

#endif
