#pragma once

// What lumidra-dicom-read does with one file, on GDCM. Kept apart from the
// program's main so the benchmark can time the same work in-process.
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace dicomread {

// Silences GDCM's own warnings and errors on standard error.
void quietGdcm();

// Reads the header of one file (never its pixel data) and writes one line
// to out: an image record "I<TAB>n<TAB>key=value..." or, for a file that is
// not a DICOM image, "S<TAB>n<TAB>reason".
void scanFile(const std::string& path, std::size_t n, std::FILE* out);

struct Decoded {
    std::vector<char> bytes; // rows * columns * frames samples, as GDCM decodes them
    unsigned bitsAllocated = 0;
    bool isSigned = false;
    std::string error; // empty on success
};

// Decodes one file's pixel data (any transfer syntax GDCM decodes),
// refusing a buffer shorter or longer than the header's image size.
Decoded decodeFile(const std::string& path);

} // namespace dicomread
