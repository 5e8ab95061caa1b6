#pragma once

#include <cstdint>

namespace lumidra {

// Integer 2-D Haar decomposition of the n x n square at the start of src into
// dst (which may be src), `levels` levels, truncating division by 4. Nothing
// outside the square is read or written. A side that is not a power of two is
// decomposed while it stays even; n <= 1, levels <= 0 or stride < n do nothing.
void haarDecompose(const std::int32_t* src, std::int32_t* dst, int stride, int n, int levels);

} // namespace lumidra
