// The block scanner for processors with AVX2. Each byte gets the value of
// the field that would end there: its digit plus ten times the digit before
// it, beside a hundreds digit, side by side for all 64 bytes. Then for every
// eight bytes one table shuffle packs the values of the bytes where a field
// does end to the front, and one store writes them out: no branch per field.
#include "core/slices/PgmScan.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

#include <array>
#include <bit>

#include <immintrin.h>

#define LUMIDRA_AVX2 __attribute__((target("avx2,bmi,bmi2,popcnt")))

namespace lumidra::pgmscan {
namespace {

// Entry m moves the 16-bit lanes whose bits are set in m to the front, in order.
constexpr std::array<std::array<std::uint8_t, 16>, 256> packTable()
{
    std::array<std::array<std::uint8_t, 16>, 256> table{};
    for (int m = 0; m < 256; ++m) {
        int j = 0;
        for (int lane = 0; lane < 8; ++lane)
            if (m >> lane & 1) {
                table[m][2 * j] = static_cast<std::uint8_t>(2 * lane);
                table[m][2 * j + 1] = static_cast<std::uint8_t>(2 * lane + 1);
                ++j;
            }
        for (; j < 8; ++j)
            table[m][2 * j] = table[m][2 * j + 1] = 0x80; // zero
    }
    return table;
}

alignas(64) constexpr auto kPack = packTable();

LUMIDRA_AVX2 __m256i digitMask(__m256i x)
{
    __m256i fromZero = _mm256_sub_epi8(x, _mm256_set1_epi8('0'));
    return _mm256_cmpeq_epi8(_mm256_min_epu8(fromZero, _mm256_set1_epi8(9)), fromZero);
}

LUMIDRA_AVX2 std::uint32_t spaceBits(__m256i x)
{
    __m256i fromTab = _mm256_sub_epi8(x, _mm256_set1_epi8('\t')); // '\t' to '\r' are 0 to 4
    __m256i space =
        _mm256_or_si256(_mm256_cmpeq_epi8(x, _mm256_set1_epi8(' ')),
                        _mm256_cmpeq_epi8(_mm256_min_epu8(fromTab, _mm256_set1_epi8(4)), fromTab));
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(space));
}

// 16 * (d0 + 10 d1 + 100 d2) of the field that would end at each byte of the
// 32 at q, where d1 and d2 count only inside the same run of digits and
// inside the block (first: q is the block's start). In two halves of 16-bit
// lanes: bytes 0-7 and 16-23 in `low`, bytes 8-15 and 24-31 in `high`.
struct HalfValues {
    __m256i low;
    __m256i high;
};

LUMIDRA_AVX2 inline HalfValues fieldValues(const unsigned char* q, bool first)
{
    const __m256i zero = _mm256_set1_epi8('0');
    __m256i x0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
    __m256i x1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q - 1));
    __m256i x2 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q - 2));
    __m256i m1 = digitMask(x1);
    __m256i m2 = _mm256_and_si256(digitMask(x2), m1);
    if (first) { // the bytes before the block belong to no field in it
        m1 = _mm256_and_si256(m1, _mm256_setr_epi8(0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                                   -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                                   -1, -1, -1, -1, -1, -1, -1, -1));
        m2 = _mm256_and_si256(m2, _mm256_setr_epi8(0, 0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                                   -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                                   -1, -1, -1, -1, -1, -1, -1));
    }
    __m256i d0 = _mm256_sub_epi8(x0, zero);
    __m256i d1 = _mm256_and_si256(_mm256_sub_epi8(x1, zero), m1);
    __m256i d2 = _mm256_and_si256(_mm256_sub_epi8(x2, zero), m2);
    __m256i twice = _mm256_add_epi8(d1, d1);
    __m256i eight = _mm256_add_epi8(_mm256_add_epi8(twice, twice), _mm256_add_epi8(twice, twice));
    __m256i tens = _mm256_add_epi8(d0, _mm256_add_epi8(twice, eight)); // at most 99
    // Pairs (tens, hundreds) weighed 1 and 100: at most 999, then times 16.
    const __m256i weights = _mm256_set1_epi16(100 << 8 | 1);
    return {_mm256_slli_epi16(_mm256_maddubs_epi16(_mm256_unpacklo_epi8(tens, d2), weights), 4),
            _mm256_slli_epi16(_mm256_maddubs_epi16(_mm256_unpackhi_epi8(tens, d2), weights), 4)};
}

// Stores the values of the lanes set in the low 8 bits of ends at dst.
LUMIDRA_AVX2 inline void packGroup(__m128i values, std::uint64_t ends, std::uint16_t* dst)
{
    __m128i order = _mm_load_si128(reinterpret_cast<const __m128i*>(kPack[ends & 0xFF].data()));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_shuffle_epi8(values, order));
}

// Where the fields of the eight bytes from 8 * group on go: how many end
// before them. Each is counted on its own, so the stores need not wait for
// one another.
LUMIDRA_AVX2 inline int fieldsBefore(std::uint64_t ends, int group)
{
    return std::popcount(group == 0 ? 0 : ends << (64 - 8 * group));
}

LUMIDRA_AVX2 inline void storeHalf(const HalfValues& v, std::uint64_t ends, int half,
                                   std::uint16_t* dst)
{
    const int g = 4 * half;
    std::uint64_t e = ends >> (8 * g);
    packGroup(_mm256_castsi256_si128(v.low), e, dst + fieldsBefore(ends, g));
    packGroup(_mm256_castsi256_si128(v.high), e >> 8, dst + fieldsBefore(ends, g + 1));
    packGroup(_mm256_extracti128_si256(v.low, 1), e >> 16, dst + fieldsBefore(ends, g + 2));
    packGroup(_mm256_extracti128_si256(v.high, 1), e >> 24, dst + fieldsBefore(ends, g + 3));
}

// Each group store writes eight lanes, so the slice needs room for eight
// beyond the last field of the block.
LUMIDRA_AVX2 inline bool scanOneBlock(Scanner& s, std::uint16_t* dst, int& count)
{
    if (s.end - s.p < kBlock + 1 || s.p - s.begin < 2 ||
        count > kSliceSamples - kMaxBlockFields - 8)
        return false;
    __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s.p));
    __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s.p + 32));
    std::uint64_t d = static_cast<std::uint32_t>(_mm256_movemask_epi8(digitMask(a))) |
                      std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(digitMask(b)))}
                          << 32;
    std::uint64_t spaces = spaceBits(a) | std::uint64_t{spaceBits(b)} << 32;
    if ((d | spaces) != ~std::uint64_t{0} || (d & d >> 1 & d >> 2 & d >> 3) != 0)
        return false;
    bool runsOn = isDigit(s.p[kBlock]);
    std::uint64_t ends = d & ~(d >> 1 | std::uint64_t{runsOn} << 63);

    storeHalf(fieldValues(s.p, true), ends, 0, dst + count);
    storeHalf(fieldValues(s.p + 32, false), ends, 1, dst + count);
    count += std::popcount(ends);
    // A run that goes on past the block is read from its start next time.
    s.p += runsOn ? kBlock - std::countl_one(d) : kBlock;
    return true;
}

} // namespace

// Block after block, while they qualify: one call for a run of plain samples.
LUMIDRA_AVX2 bool scanBlockAvx2(Scanner& s, std::uint16_t* dst, int& count)
{
    if (!scanOneBlock(s, dst, count))
        return false;
    while (scanOneBlock(s, dst, count)) {
    }
    return true;
}

bool avx2Supported()
{
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2") &&
           __builtin_cpu_supports("popcnt");
}

} // namespace lumidra::pgmscan

#else

bool lumidra::pgmscan::scanBlockAvx2(Scanner&, std::uint16_t*, int&)
{
    return false;
}

bool lumidra::pgmscan::avx2Supported()
{
    return false;
}

#endif
