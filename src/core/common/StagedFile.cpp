#include "core/common/StagedFile.h"

#include "core/common/FileHandle.h"

#include <stdexcept>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumidra {

namespace {

// Where a save lands: a symbolic link is followed to the file it names, even
// one that does not exist yet, so renaming over it leaves the link pointing at
// the new content. Empty for a loop of links.
std::string saveTarget(const std::string& path)
{
    constexpr int kMaxLinks = 40; // as the kernel's own limit
    std::string target = path;
    for (int hops = 0; hops < kMaxLinks; ++hops) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return target;
        std::string link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= link.size())
            return {};
        link.resize(static_cast<std::size_t>(n));
        // A relative link is relative to the directory that holds it.
        const std::size_t slash = target.rfind('/');
        if (link.front() != '/' && slash != std::string::npos)
            link.insert(0, target, 0, slash + 1);
        target = std::move(link);
    }
    return {};
}

// Makes a rename durable; the file is already in place, so a failure here is
// not a failed save.
void syncDirectoryOf(const std::string& target)
{
    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : target.substr(0, slash ? slash : 1);
    FileHandle directory(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.isOpen())
        (void)::fsync(directory.fd());
}

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

// The longest file name the directory takes.
std::size_t nameLimit(const std::string& dir)
{
    const long limit = ::pathconf(dir.empty() ? "." : dir.c_str(), _PC_NAME_MAX);
    return limit > 0 ? static_cast<std::size_t>(limit) : std::size_t{NAME_MAX};
}

// Hidden, beside the target: ".NAME.XXXXXX" + suffix. A long NAME is cut so
// that the temporary's name stays within the directory's limit (a target
// whose own name fits must save), at a UTF-8 character's start.
std::string temporaryPattern(const std::string& target, std::string_view suffix)
{
    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    constexpr std::size_t kAdded = 1 + 7; // the leading '.' and ".XXXXXX"
    const std::size_t limit = nameLimit(dir);
    const std::size_t room = limit > kAdded + suffix.size() ? limit - kAdded - suffix.size() : 0;
    if (name.size() > room) {
        std::size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.resize(cut);
    }
    std::string pattern = dir;
    pattern += '.';
    pattern += name;
    pattern += ".XXXXXX";
    pattern += suffix;
    return pattern;
}

} // namespace

StagedFile::StagedFile(std::string target, std::string_view suffix)
    : target_(std::move(target)), destination_(saveTarget(target_))
{
    if (destination_.empty())
        fail("cannot write", ELOOP);
    temp_ = temporaryPattern(destination_, suffix);
    fd_ = ::mkstemps(temp_.data(), static_cast<int>(suffix.size()));
    if (fd_ < 0) {
        const int error = errno;
        temp_.clear();
        fail("cannot write", error);
    }
    // Permissions are a courtesy; a file system without modes still saves.
    (void)::fchmod(fd_, modeFor(destination_));
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
    if (::rename(temp_.c_str(), destination_.c_str()) != 0)
        fail("cannot rename a temporary file over", errno);
    committed_ = true;
    syncDirectoryOf(destination_);
}

} // namespace lumidra
