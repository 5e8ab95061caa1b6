#pragma once

#include <cstdio>
#include <functional>

namespace lumidra {

// Writes a file so that it is either complete or not there: `write` fills a
// temporary file beside the target, which is synced and renamed over the
// target only when `write` and every flush succeeded. A replaced file keeps
// its permissions. Returns false (the target untouched) on any failure.
bool writeFileAtomically(const char* path, const std::function<bool(std::FILE*)>& write);

} // namespace lumidra
