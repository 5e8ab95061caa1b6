#include "core/slices/FileBytes.h"

#include "core/common/FileHandle.h"
#include "core/slices/SliceLoader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include <sys/stat.h>
#include <unistd.h>

namespace lumidra {

namespace {

// A path too long for a slice is refused before the file system sees it.
FileHandle openForReading(const char* path)
{
    if (!slicePathFits(path))
        return FileHandle();
    return FileHandle::openForReading(path);
}

// Size to read first: the whole of a regular file; a device or pipe has no
// size, so it starts small and grows up to the limit.
std::size_t expectedSize(int fd, std::size_t limit)
{
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0)
        return std::min(static_cast<std::size_t>(st.st_size), limit);
    return std::min<std::size_t>(64 * 1024, limit);
}

// Reads into [at, end) until the end of the file, a read error or end.
std::size_t readUntil(int fd, unsigned char* at, unsigned char* end)
{
    unsigned char* start = at;
    while (at < end) {
        ssize_t n = ::read(fd, at, static_cast<std::size_t>(end - at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        at += n;
    }
    return static_cast<std::size_t>(at - start);
}

} // namespace

bool slicePathFits(const char* path)
{
    return path && std::strlen(path) <= static_cast<std::size_t>(kMaxSlicePath);
}

bool fileExists(const char* path)
{
    return openForReading(path).isOpen();
}

long readFileInto(const char* path, void* dst, std::size_t limit)
{
    FileHandle file = openForReading(path);
    if (!file.isOpen())
        return -1;
    auto* at = static_cast<unsigned char*>(dst);
    return static_cast<long>(readUntil(file.fd(), at, at + limit));
}

bool FileBytes::reserve(std::size_t bytes)
{
    try {
        if (buffer_.size() < bytes)
            buffer_.resize(bytes);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool FileBytes::load(const char* path, std::size_t limit)
{
    size_ = 0;
    FileHandle file = openForReading(path);
    if (!file.isOpen())
        return false;

    std::size_t wanted = expectedSize(file.fd(), limit);
    // One byte more than a regular file's size lets a file that grew since
    // fstat be noticed; the common case still ends with a read of 0.
    if (!reserve(std::min(wanted + 1, limit)))
        return true;
    while (size_ < limit) {
        if (size_ == buffer_.size() &&
            !reserve(std::min(std::max<std::size_t>(buffer_.size() * 2, 4096), limit)))
            break;
        std::size_t n =
            readUntil(file.fd(), buffer_.data() + size_, buffer_.data() + buffer_.size());
        size_ += n;
        if (size_ < buffer_.size())
            break;
    }
    return true;
}

} // namespace lumidra
