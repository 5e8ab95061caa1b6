#pragma once

#include <cstdint>
#include <cstdio>

// The PGM slice rules read the plain way, one fscanf per field, as the
// yardstick for parsePgmSlice. Same results, samples and diagnostics.
int referenceReadPgm(std::FILE* file, std::uint32_t* dst);
