#pragma once

#include <cstdint>

// Integer 2-D Haar decomposition of the n x n square at the start of src into
// dst (which may be src), `levels` levels, truncating division by 4.
void haarDecompose(const std::int32_t* src, std::int32_t* dst, int stride, int n, int levels);
