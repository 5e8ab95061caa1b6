#pragma once

#include <cstdio>

namespace lumidra {

// The one owner of an open file in the core: a descriptor, and once a stream
// has been made on it, the stream. Closed exactly once, whichever it is.
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(int fd) : fd_(fd) {}
    FileHandle(FileHandle&& other) noexcept;
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle();

    // Opens path for reading without blocking, so that a FIFO or a terminal
    // named like a data file cannot stall the program: with no data ready it
    // reads as an empty file. Not open when the path cannot be opened.
    [[nodiscard]] static FileHandle openForReading(const char* path);

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    // Whether the file is a plain file (not a directory, device or FIFO).
    bool isRegularFile() const;

    // A stream on the descriptor, made on the first call; null when the file
    // is not open or the stream cannot be made.
    std::FILE* stream(const char* mode);

    // Closes the file now. False when the close reports an error: for a
    // stream, buffered writes that failed surface here.
    [[nodiscard]] bool close();

private:
    int fd_ = -1;
    std::FILE* stream_ = nullptr;
};

} // namespace lumidra
