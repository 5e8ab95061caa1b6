#include "core/common/StagedFile.h"

#include <stdexcept>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumidra {

namespace {

// A replaced file keeps who may read it; a new one gets what fopen would
// give a 0644 file.
mode_t modeFor(const std::string& target)
{
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        return st.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0644 & ~mask;
}

// Hidden, beside the target: ".NAME.XXXXXX" + suffix.
std::string temporaryPattern(const std::string& target, std::string_view suffix)
{
    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string pattern = dir;
    pattern += '.';
    pattern += name;
    pattern += ".XXXXXX";
    pattern += suffix;
    return pattern;
}

} // namespace

StagedFile::StagedFile(std::string target, std::string_view suffix)
    : target_(std::move(target)), temp_(temporaryPattern(target_, suffix))
{
    fd_ = ::mkstemps(temp_.data(), static_cast<int>(suffix.size()));
    if (fd_ < 0) {
        const int error = errno;
        temp_.clear();
        fail("cannot write", error);
    }
    // Permissions are a courtesy; a file system without modes still saves.
    (void)::fchmod(fd_, modeFor(target_));
}

StagedFile::~StagedFile()
{
    if (fd_ >= 0)
        ::close(fd_);
    if (!committed_ && !temp_.empty())
        ::unlink(temp_.c_str());
}

void StagedFile::fail(const char* what, int error) const
{
    throw std::runtime_error(std::string(what) + " '" + target_ + "': " + std::strerror(error));
}

void StagedFile::write(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail("cannot write", n < 0 ? errno : EIO);
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void StagedFile::finish()
{
    if (fd_ < 0)
        return;
    // A file another writer filled by name is synced through a fresh descriptor.
    const int fd = ::open(temp_.c_str(), O_RDONLY);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    const int error = errno;
    if (fd >= 0)
        ::close(fd);
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    if (!synced || !closed)
        fail("cannot write", synced ? errno : error);
}

void StagedFile::commit()
{
    finish();
    if (::rename(temp_.c_str(), target_.c_str()) != 0)
        fail("cannot rename a temporary file over", errno);
    committed_ = true;
}

} // namespace lumidra
