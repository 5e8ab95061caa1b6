#include "core/wavelet/Haar.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace lumidra {

namespace {

// One level on the n x n square (n even). The whole source square is copied
// before anything is written, so src may be dst. Sums and differences are
// taken in 64 bits: four arbitrary 32-bit values cannot overflow them, and a
// quarter of any such sum fits back into 32 bits.
void decomposeLevel(const std::int32_t* src, std::int32_t* dst, std::size_t stride, std::size_t n)
{
    std::vector<std::int32_t> square(n * n);
    for (std::size_t r = 0; r < n; ++r)
        std::copy_n(src + r * stride, n, &square[r * n]);
    const std::size_t m = n / 2;
    for (std::size_t i = 0; i < m; ++i) {
        const std::int32_t* top = &square[2 * i * n];
        const std::int32_t* bottom = top + n;
        std::int32_t* low = dst + i * stride;
        std::int32_t* high = dst + (m + i) * stride;
        for (std::size_t j = 0; j < m; ++j) {
            const std::int64_t p = top[2 * j], q = top[2 * j + 1];
            const std::int64_t u = bottom[2 * j], w = bottom[2 * j + 1];
            const std::int64_t sumTop = p + q, sumBottom = u + w;
            const std::int64_t diffTop = p - q, diffBottom = u - w;
            low[j] = static_cast<std::int32_t>((sumTop + sumBottom) / 4);        // LL
            low[m + j] = static_cast<std::int32_t>((diffTop + diffBottom) / 4);  // LH
            high[j] = static_cast<std::int32_t>((sumTop - sumBottom) / 4);       // HL
            high[m + j] = static_cast<std::int32_t>((diffTop - diffBottom) / 4); // HH
        }
    }
}

} // namespace

// Each level halves the side; a level needs an even side, so a side that is
// not a power of two is decomposed until it turns odd and then left alone.
// A stride shorter than the side would make rows overlap: nothing is done.
void haarDecompose(const std::int32_t* src, std::int32_t* dst, int stride, int n, int levels)
{
    if (src == nullptr || dst == nullptr || stride < n)
        return;
    const std::int32_t* from = src;
    for (int side = n; side > 1 && side % 2 == 0 && levels > 0; side /= 2, --levels) {
        decomposeLevel(from, dst, static_cast<std::size_t>(stride), static_cast<std::size_t>(side));
        from = dst;
    }
}

} // namespace lumidra
