#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace lumidra {

// Writes a file so that it is either complete or not there: `write` fills a
// temporary file beside the target, which is synced and renamed over the
// target only when `write` and every flush succeeded. A replaced file keeps
// its permissions, and a symbolic link is followed to the file it names so
// the link keeps pointing at the new content. On any failure the target is
// untouched and the outcome says why.
struct [[nodiscard]] SaveOutcome {
    std::string failure; // empty when the file was written

    explicit operator bool() const { return failure.empty(); }
};

SaveOutcome writeFileAtomically(const char* path, const std::function<bool(std::FILE*)>& write);

} // namespace lumidra
