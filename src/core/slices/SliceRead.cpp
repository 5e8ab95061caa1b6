#include "core/slices/SliceRead.h"

#include "core/slices/FileBytes.h"
#include "core/slices/SliceLoader.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lumidra {

namespace {

// A plain PGM slice is about 250 KB; this only bounds what a hostile file
// (or a device named like a slice) can make the loader hold.
constexpr std::size_t kMaxPgmFileBytes = std::size_t{64} << 20;

SliceReport notFound(std::uint16_t* dst)
{
    std::fill(dst, dst + kSliceSamples, std::uint16_t{0});
    return {};
}

} // namespace

SliceReport readSliceFile(SliceFormat format, const char* path, std::uint16_t* dst,
                          FileBytes& bytes)
{
    if (format == SliceFormat::Raw) {
        // Straight into the samples, which are then put in order where they lie.
        long size = readFileInto(path, dst, kRawSliceBytes);
        if (size < 0)
            return notFound(dst);
        return parseRawSamples(dst, reinterpret_cast<const unsigned char*>(dst),
                               static_cast<std::size_t>(size));
    }
    if (!bytes.load(path, kMaxPgmFileBytes))
        return notFound(dst);
    return parsePgmSamples(pgmscan::fastestSupported(), dst,
                           reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

void greyOfSamples(const std::uint16_t* samples, std::uint8_t* grey, int n)
{
    int i = 0;
#if defined(__SSE2__)
    const __m128i low = _mm_set1_epi16(0xFF);
    for (; i + 16 <= n; i += 16) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + i));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + i + 8));
        a = _mm_and_si128(_mm_srli_epi16(a, 4), low);
        b = _mm_and_si128(_mm_srli_epi16(b, 4), low);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(grey + i), _mm_packus_epi16(a, b));
    }
#endif
    for (; i < n; ++i)
        grey[i] = greyOf(samples[i]);
}

} // namespace lumidra
