// The two slice formats parsed from bytes already in memory. The PGM rules
// are those of reading the file with fscanf under glibc in the C locale;
// tests/volume/PgmReference.cpp does exactly that, and the two must agree.
#include "volume/SliceLoader.h"

#include "common/Diagnostics.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr std::size_t kMaxWord = 1023;     // "%1023s"
constexpr std::size_t kNoWidth = SIZE_MAX; // "%d"
constexpr std::size_t kSampleWidth = 3;    // "%3d"

// memset rather than a loop: the fill runs for every slice, and a loop is
// instrumented per sample in the fuzzing build.
void zeroFrom(std::uint32_t* dst, std::size_t first)
{
    std::memset(dst + first, 0, (kSliceSamples - first) * sizeof(std::uint32_t));
}

bool isCSpace(unsigned char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool isDigit(unsigned char c)
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

Scanner scannerOf(std::string_view text)
{
    auto begin = reinterpret_cast<const unsigned char*>(text.data());
    return {begin, begin, begin + text.size()};
}

// "%1023s": empty only at the end of the data. The word may hold NUL bytes.
std::string_view scanWord(Scanner& s)
{
    s.skipSpace();
    const unsigned char* start = s.p;
    while (s.p != s.end && !isCSpace(*s.p) && static_cast<std::size_t>(s.p - start) < kMaxWord)
        ++s.p;
    return {reinterpret_cast<const char*>(start), static_cast<std::size_t>(s.p - start)};
}

// What strcmp and sscanf see of a word: the text before its first NUL.
std::string_view asCString(std::string_view word)
{
    return word.substr(0, word.find('\0'));
}

// strtol's result for a digit run: saturated at the limits of long.
long saturatedLong(bool negative, unsigned long magnitude, bool overflowed)
{
    constexpr auto kMaxMagnitude = static_cast<unsigned long>(LONG_MAX);
    if (!negative)
        return overflowed || magnitude > kMaxMagnitude ? LONG_MAX : static_cast<long>(magnitude);
    if (overflowed || magnitude > kMaxMagnitude + 1)
        return LONG_MIN;
    return static_cast<long>(0UL - magnitude);
}

// glibc's "%d" with a field width: white space, an optional sign and the
// digits that fit the width; the number passes through long and is stored
// as int, keeping its low 32 bits. A sign without a digit is consumed.
bool scanInt(Scanner& s, std::size_t width, int& value)
{
    s.skipSpace();
    if (s.p == s.end)
        return false;
    bool negative = false;
    if (*s.p == '-' || *s.p == '+') {
        negative = *s.p == '-';
        ++s.p;
        --width;
    }
    unsigned long magnitude = 0;
    bool overflowed = false;
    std::size_t digits = 0;
    for (; digits < width && s.p != s.end && isDigit(*s.p); ++digits, ++s.p) {
        unsigned digit = *s.p - '0';
        if (magnitude > (ULONG_MAX - digit) / 10)
            overflowed = true;
        else
            magnitude = magnitude * 10 + digit;
    }
    if (digits == 0)
        return false;
    value = static_cast<int>(saturatedLong(negative, magnitude, overflowed));
    return true;
}

// The width follows the magic, or a comment line whose first word is "#".
bool scanWidth(Scanner& s, int& width)
{
    std::string_view word = scanWord(s);
    if (word.empty())
        return false;
    if (asCString(word) == "#") {
        while (s.p != s.end && *s.p++ != '\n') {
        }
        return scanInt(s, kNoWidth, width);
    }
    Scanner inWord = scannerOf(asCString(word));
    return scanInt(inWord, kNoWidth, width);
}

bool headerFits(Scanner& s)
{
    int width = 0;
    int height = 0;
    int maxValue = 0;
    return scanWidth(s, width) && scanInt(s, kNoWidth, height) &&
           scanInt(s, kNoWidth, maxValue) && width == kSliceSide && height == kSliceSide &&
           maxValue == 255;
}

// The four bytes at p, first byte lowest (compilers make this one load).
std::uint32_t load4(const unsigned char* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// How many of the first three bytes of w are digits in a row, as "%3d"
// takes them without a sign: bit 7 of each byte is set for a non-digit.
unsigned leadingDigits(std::uint32_t w)
{
    std::uint32_t low7 = w & 0x7F7F7F7Fu;
    std::uint32_t aboveNine = (low7 + 0x46464646u) | w; // > '9', or a byte of 0x80 and up
    std::uint32_t belowZero = ~(low7 + 0x50505050u);   // < '0'
    std::uint32_t notDigit = ((aboveNine | belowZero) & 0x80808080u) | 0x80000000u;
    return static_cast<unsigned>(std::countr_zero(notDigit)) / 8;
}

// The value of the first n (1 to 3) bytes of w, all digits.
std::uint32_t digitsValue(std::uint32_t w, unsigned n)
{
    std::uint32_t digits = (w - 0x30303030u) & ((1u << (8 * n)) - 1);
    digits <<= 8 * (3 - n); // right-align: the last digit in byte 2
    return (digits & 0xFF) * 100 + (digits >> 8 & 0xFF) * 10 + (digits >> 16 & 0xFF);
}

#if defined(__SSE2__)
constexpr int kBlock = 64;

// Byte classes of 64 bytes, and at each byte the value of the field that
// would end there: its digit, plus ten times the digit before it and a
// hundred times the one before that when they are digits of the same run.
struct Block {
    std::uint64_t digits = 0; // bit k: byte k is a digit
    std::uint64_t spaces = 0; // bit k: byte k is C white space
    alignas(16) std::uint16_t value16[kBlock]; // that value times 16
};

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

// 16 * (d0 + 10 d1 + 100 d2) in 16-bit lanes, from byte lanes of digit values.
__m128i fieldValues(__m128i d0, __m128i d1, __m128i d2)
{
    __m128i v = _mm_slli_epi16(d0, 4);
    v = _mm_add_epi16(v, _mm_mullo_epi16(d1, _mm_set1_epi16(160)));
    return _mm_add_epi16(v, _mm_mullo_epi16(d2, _mm_set1_epi16(1600)));
}

// p[-2] and p[-1] must be readable; they count as not digits, since the
// block starts at a field boundary.
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
        if (k == 0) { // the bytes before the block
            m1 = _mm_and_si128(m1, _mm_setr_epi8(0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                                 -1, -1, -1, -1));
            m2 = _mm_and_si128(m2, _mm_setr_epi8(0, 0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                                 -1, -1, -1, -1));
        }
        __m128i d0 = _mm_and_si128(_mm_sub_epi8(x0, zero), m0);
        __m128i d1 = _mm_and_si128(_mm_sub_epi8(x1, zero), m1);
        __m128i d2 = _mm_and_si128(_mm_sub_epi8(x2, zero), m2);
        auto* out = reinterpret_cast<__m128i*>(b.value16 + 16 * k);
        _mm_store_si128(out, fieldValues(_mm_unpacklo_epi8(d0, none), _mm_unpacklo_epi8(d1, none),
                                         _mm_unpacklo_epi8(d2, none)));
        _mm_store_si128(out + 1, fieldValues(_mm_unpackhi_epi8(d0, none),
                                             _mm_unpackhi_epi8(d1, none),
                                             _mm_unpackhi_epi8(d2, none)));
        b.digits |= static_cast<std::uint64_t>(_mm_movemask_epi8(m0) & 0xFFFF) << (16 * k);
        b.spaces |= static_cast<std::uint64_t>(_mm_movemask_epi8(spaceMask(x0)) & 0xFFFF)
                    << (16 * k);
    }
}

// The next 64 bytes at once, when they hold nothing but white space and
// runs of at most three digits (each run then is one field): every field
// that ends in the block is taken from the values classify worked out side
// by side. s.p is at a field boundary. Returns false, consuming nothing,
// for any other bytes; they go the scalar way.
bool scanBlock(Scanner& s, std::uint32_t* dst, int& i)
{
    if (s.end - s.p < kBlock + 1 || s.p - s.begin < 2)
        return false;
    Block b;
    classify(s.p, b);
    std::uint64_t d = b.digits;
    if ((d | b.spaces) != ~std::uint64_t{0} || (d & d >> 1 & d >> 2 & d >> 3) != 0)
        return false;
    bool runsOn = isDigit(s.p[kBlock]);
    std::uint64_t ends = d & ~(d >> 1 | std::uint64_t{runsOn} << 63);
    for (; ends != 0 && i < kSliceSamples; ends &= ends - 1)
        dst[i++] = b.value16[std::countr_zero(ends)];
    // A run that goes on past the block is read from its start next time.
    s.p += runsOn ? kBlock - std::countl_one(d) : kBlock;
    return true;
}
#else
bool scanBlock(Scanner&, std::uint32_t*, int&)
{
    return false;
}
#endif

// A field that is not a number ends the slice; the rest of it stays 0.
// Plain digits away from the end take one load; anything else (a sign, a
// failure, the last bytes) goes through scanInt.
void scanSamples(Scanner& s, std::uint32_t* dst)
{
    int i = 0;
    while (i < kSliceSamples) {
        if (scanBlock(s, dst, i))
            continue;
        s.skipSpace();
        if (s.end - s.p >= 4) {
            std::uint32_t w = load4(s.p);
            if (unsigned n = leadingDigits(w)) {
                dst[i++] = digitsValue(w, n) * 16u;
                s.p += n;
                continue;
            }
        }
        int value = 0;
        if (!scanInt(s, kSampleWidth, value))
            break;
        dst[i++] = static_cast<std::uint32_t>(value) * 16u;
    }
    zeroFrom(dst, static_cast<std::size_t>(i));
}

} // namespace

int parseRawSlice(std::uint32_t* dst, const unsigned char* data, std::size_t size)
{
    std::size_t count = std::min(size, kRawSliceBytes) / 4 * 2;
    std::size_t i = 0;
#if defined(__SSE2__)
    // Eight samples a step: swap the bytes of each 16-bit pair, widen to 32.
    const __m128i none = _mm_setzero_si128();
    for (; i + 8 <= count; i += 8) {
        __m128i pairs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 2 * i));
        __m128i swapped = _mm_or_si128(_mm_slli_epi16(pairs, 8), _mm_srli_epi16(pairs, 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_unpacklo_epi16(swapped, none));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i + 4), _mm_unpackhi_epi16(swapped, none));
    }
#endif
    for (; i < count; ++i)
        dst[i] = static_cast<std::uint32_t>(data[2 * i]) << 8 | data[2 * i + 1];
    zeroFrom(dst, count);
    return static_cast<int>(count);
}

int parsePgmSlice(std::uint32_t* dst, const char* data, std::size_t size)
{
    Scanner s = scannerOf({data, size});
    std::string_view magic = asCString(scanWord(s));
    if (magic != "P2") {
        diag("%.*s invalid .pgm type", static_cast<int>(magic.size()), magic.data());
        zeroFrom(dst, 0);
        return -1;
    }
    if (!headerFits(s)) {
        diag("Parameters not correct, should be 256, 256, 255");
        zeroFrom(dst, 0);
        return -1;
    }
    scanSamples(s, dst);
    return kSliceSamples;
}
