#pragma once

#include <cstdio>

namespace lumidra {

// Every diagnostic line of Lumidra goes to standard output through this one
// helper, so the texts stay in one format and are flushed in order with the
// rest of the program's output.
void diag(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Points diag on the calling thread at another stream (null: back to
// standard output), for a tool whose standard output carries data. Returns
// the stream it replaces.
std::FILE* setDiagStream(std::FILE* stream);

} // namespace lumidra
