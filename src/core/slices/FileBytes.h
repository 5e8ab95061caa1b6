#pragma once

#include <cstddef>
#include <vector>

namespace lumidra {

// The bytes of one file, read with one open and a few reads into a buffer
// that is kept between files, so that loading a stack allocates it once.
class FileBytes {
public:
    // Reads at most limit bytes of path. False when the path cannot be
    // opened for reading; a read error, or no memory for more bytes, ends the
    // bytes where it happened.
    [[nodiscard]] bool load(const char* path, std::size_t limit);

    const unsigned char* data() const { return buffer_.data(); }
    std::size_t size() const { return size_; }

private:
    [[nodiscard]] bool reserve(std::size_t bytes);

    std::vector<unsigned char> buffer_;
    std::size_t size_ = 0;
};

// Reads at most limit bytes of path into dst: the number read, or -1 when the
// path cannot be opened for reading. A read error ends the bytes where it
// happened.
[[nodiscard]] long readFileInto(const char* path, void* dst, std::size_t limit);

// Whether path can be opened for reading (the file is closed again at once).
// A path longer than kMaxSlicePath characters cannot.
[[nodiscard]] bool fileExists(const char* path);

// Whether path is within the length a slice path may have.
[[nodiscard]] bool slicePathFits(const char* path);

} // namespace lumidra
