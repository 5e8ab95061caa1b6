// The two slice formats parsed from bytes already in memory into 16-bit
// samples. The PGM rules are those of reading the file with fscanf under
// glibc in the C locale; tests/support/PgmReference.cpp does exactly that,
// and the two must agree.
#include "core/slices/SliceRead.h"

#include "core/common/Diagnostics.h"
#include "core/slices/SliceLoader.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lumidra {

using pgmscan::isCSpace;
using pgmscan::isDigit;
using pgmscan::SampleScan;
using pgmscan::Scanner;

namespace {

constexpr std::size_t kMaxWord = 1023;     // "%1023s"
constexpr std::size_t kNoWidth = SIZE_MAX; // "%d"
constexpr std::size_t kSampleWidth = 3;    // "%3d"

// memset rather than a loop: the fill runs for every slice, and a loop is
// instrumented per sample in the fuzzing build.
void zeroFrom(std::uint16_t* dst, std::size_t first)
{
    std::memset(dst + first, 0, (kSliceSamples - first) * sizeof(std::uint16_t));
}

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
    return scanWidth(s, width) && scanInt(s, kNoWidth, height) && scanInt(s, kNoWidth, maxValue) &&
           width == kSliceSide && height == kSliceSide && maxValue == 255;
}

// A field that is not a number ends the slice; the rest of it stays 0.
// Runs of plain samples go through the block scanner, anything else (a
// sign, a failure, the last bytes) one field at a time.
void scanSamples(Scanner& s, std::uint16_t* dst, pgmscan::BlockScanner scanBlock)
{
    int i = 0;
    while (i < kSliceSamples) {
        if (scanBlock && scanBlock(s, dst, i))
            continue;
        int value = 0;
        if (!scanInt(s, kSampleWidth, value))
            break;
        dst[i++] = static_cast<std::uint16_t>(value * 16);
    }
    zeroFrom(dst, static_cast<std::size_t>(i));
}

pgmscan::BlockScanner blockScannerFor(SampleScan scan)
{
    switch (scan) {
    case SampleScan::Avx512:
        return pgmscan::scanBlockAvx512;
    case SampleScan::Avx2:
        return pgmscan::scanBlockAvx2;
    case SampleScan::Sse2:
        return pgmscan::scanBlockSse2;
    default:
        return nullptr;
    }
}

SliceReport readReport(int result)
{
    SliceReport report;
    report.outcome = SliceReport::Outcome::Read;
    report.result = result;
    return report;
}

// A slice of 16-bit samples to parse into before widening.
std::unique_ptr<std::uint16_t[]> sliceScratch()
{
    return std::make_unique_for_overwrite<std::uint16_t[]>(kSliceSamples);
}

} // namespace

void SliceReport::print(const char* path) const
{
    if (outcome == Outcome::NotFound) {
        diag("File not found: %s\n", path ? path : "");
        return;
    }
    diag("File opened: %s\n", path);
    printVerdict();
}

void SliceReport::printVerdict() const
{
    if (outcome == Outcome::WrongMagic)
        diag("%s invalid .pgm type", magic.c_str());
    else if (outcome == Outcome::WrongHeader)
        diag("Parameters not correct, should be 256, 256, 255");
}

SliceReport parseRawSamples(std::uint16_t* dst, const unsigned char* data, std::size_t size)
{
    std::size_t count = std::min(size, kRawSliceBytes) / 4 * 2;
    std::size_t i = 0;
#if defined(__SSE2__)
    // Eight samples a step: swap the bytes of each 16-bit pair.
    for (; i + 8 <= count; i += 8) {
        __m128i pairs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 2 * i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i),
                         _mm_or_si128(_mm_slli_epi16(pairs, 8), _mm_srli_epi16(pairs, 8)));
    }
#endif
    for (; i < count; ++i)
        dst[i] = static_cast<std::uint16_t>(data[2 * i] << 8 | data[2 * i + 1]);
    zeroFrom(dst, count);
    return readReport(static_cast<int>(count));
}

SliceReport parsePgmSamples(SampleScan scan, std::uint16_t* dst, const char* data, std::size_t size)
{
    Scanner s = scannerOf({data, size});
    std::string_view magic = asCString(scanWord(s));
    SliceReport report;
    if (magic != "P2") {
        report.outcome = SliceReport::Outcome::WrongMagic;
        report.magic = magic;
        zeroFrom(dst, 0);
        return report;
    }
    if (!headerFits(s)) {
        report.outcome = SliceReport::Outcome::WrongHeader;
        zeroFrom(dst, 0);
        return report;
    }
    scanSamples(s, dst, blockScannerFor(supported(scan) ? scan : SampleScan::Scalar));
    return readReport(kSliceSamples);
}

int parseRawSlice(std::uint32_t* dst, const unsigned char* data, std::size_t size)
{
    auto samples = sliceScratch();
    SliceReport report = parseRawSamples(samples.get(), data, size);
    widenSlice(samples.get(), dst, SliceFormat::Raw);
    return report.result;
}

int parsePgmSliceWith(SampleScan scan, std::uint32_t* dst, const char* data, std::size_t size)
{
    auto samples = sliceScratch();
    SliceReport report = parsePgmSamples(scan, samples.get(), data, size);
    widenSlice(samples.get(), dst, SliceFormat::Pgm);
    report.printVerdict();
    return report.result;
}

int parsePgmSlice(std::uint32_t* dst, const char* data, std::size_t size)
{
    return parsePgmSliceWith(pgmscan::fastestSupported(), dst, data, size);
}

// A PGM field holds at most three characters, so its value * 16 lies within
// -1,584 and 15,984 and its sample, read as int16, is that value.
void widenSlice(const std::uint16_t* samples, std::uint32_t* dst, SliceFormat format)
{
    if (format == SliceFormat::Pgm)
        for (int i = 0; i < kSliceSamples; ++i)
            dst[i] = static_cast<std::uint32_t>(static_cast<std::int16_t>(samples[i]));
    else
        std::copy(samples, samples + kSliceSamples, dst);
}

bool pgmscan::supported(SampleScan scan)
{
    switch (scan) {
    case SampleScan::Avx512:
        return avx512Supported();
    case SampleScan::Avx2:
        return avx2Supported();
    case SampleScan::Sse2:
#if defined(__SSE2__)
        return true;
#else
        return false;
#endif
    default:
        return true;
    }
}

SampleScan pgmscan::fastestSupported()
{
    static const SampleScan fastest = supported(SampleScan::Avx512) ? SampleScan::Avx512
                                      : supported(SampleScan::Avx2) ? SampleScan::Avx2
                                      : supported(SampleScan::Sse2) ? SampleScan::Sse2
                                                                    : SampleScan::Scalar;
    return fastest;
}

} // namespace lumidra
