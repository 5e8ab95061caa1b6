#pragma once

#include <cstdio>
#include <functional>

namespace lumidra {

// Writes a file so that it is either complete or not there: `write` fills a
// temporary file beside the target, which is synced and renamed over the
// target only when `write` and every flush succeeded. A replaced file keeps
// its permissions, and a symbolic link is followed to the file it names so
// the link keeps pointing at the new content. Returns false (the target untouched) on any failure.
bool writeFileAtomically(const char* path, const std::function<bool(std::FILE*)>& write);

} // namespace lumidra
