#pragma once

// The one way tests catch what the program prints. Every diagnostic goes
// through the C stream stdout, so a memory stream put in its place catches
// it, without the temporary file per call that gtest's capture would make.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

template <class Fn> std::string capturedStdout(Fn&& fn)
{
    std::fflush(stdout);
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* stream = ::open_memstream(&text, &size);
    std::FILE* saved = stdout;
    stdout = stream;
    std::forward<Fn>(fn)();
    stdout = saved;
    std::fclose(stream);
    std::string result(text, size);
    std::free(text);
    return result;
}
