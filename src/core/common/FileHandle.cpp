#include "core/common/FileHandle.h"

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumidra {

FileHandle::FileHandle(FileHandle&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), stream_(std::exchange(other.stream_, nullptr))
{
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept
{
    if (this != &other) {
        (void)close(); // the file being replaced has nothing left to report to
        fd_ = std::exchange(other.fd_, -1);
        stream_ = std::exchange(other.stream_, nullptr);
    }
    return *this;
}

FileHandle::~FileHandle()
{
    (void)close(); // a destructor has no one to report a failed close to
}

FileHandle FileHandle::openForReading(const char* path)
{
    if (!path)
        return FileHandle();
    int fd;
    do
        fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    while (fd < 0 && errno == EINTR);
    return FileHandle(fd);
}

bool FileHandle::isRegularFile() const
{
    struct stat st {};
    return fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
}

std::FILE* FileHandle::stream(const char* mode)
{
    if (!stream_ && fd_ >= 0)
        stream_ = ::fdopen(fd_, mode);
    return stream_;
}

bool FileHandle::close()
{
    bool ok = true;
    if (stream_)
        ok = std::fclose(stream_) == 0;
    else if (fd_ >= 0)
        ok = ::close(fd_) == 0;
    stream_ = nullptr;
    fd_ = -1;
    return ok;
}

} // namespace lumidra
