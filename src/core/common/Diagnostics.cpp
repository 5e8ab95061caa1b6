#include "core/common/Diagnostics.h"

#include <cstdarg>

namespace lumidra {

namespace {

thread_local std::FILE* tDiagStream = nullptr;

} // namespace

void diag(const char* format, ...)
{
    // stdout is looked up at each call: tests put a memory stream in its place.
    std::FILE* out = tDiagStream ? tDiagStream : stdout;
    va_list args;
    va_start(args, format);
    std::vfprintf(out, format, args);
    va_end(args);
    std::fflush(out);
}

std::FILE* setDiagStream(std::FILE* stream)
{
    std::FILE* previous = tDiagStream;
    tDiagStream = stream;
    return previous;
}

} // namespace lumidra
