#pragma once

#include <cstddef>
#include <cstring>

namespace lumidra {

// The one way text goes into a fixed-size field: at most capacity - 1
// characters and always a terminating NUL. Returns the number of characters
// copied. A null source gives the empty text.
inline std::size_t copyBounded(char* dst, std::size_t capacity, const char* src)
{
    if (capacity == 0)
        return 0;
    std::size_t n = 0;
    if (src) {
        while (n + 1 < capacity && src[n] != '\0')
            ++n;
        std::memcpy(dst, src, n);
    }
    dst[n] = '\0';
    return n;
}

template <std::size_t N> std::size_t copyBounded(char (&dst)[N], const char* src)
{
    return copyBounded(dst, N, src);
}

} // namespace lumidra
