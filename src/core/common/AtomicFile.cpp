#include "core/common/AtomicFile.h"

#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumidra {

namespace {

// The temporary file beside the target; removed unless it was renamed.
class TempFile {
public:
    explicit TempFile(const char* target) : path_(std::string(target) + ".XXXXXX")
    {
        fd_ = ::mkstemp(path_.data());
    }
    ~TempFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
        if (!kept_)
            ::unlink(path_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    bool created() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    // The stream now owns the descriptor.
    void release() { fd_ = -1; }
    bool renameTo(const char* target)
    {
        kept_ = ::rename(path_.c_str(), target) == 0;
        return kept_;
    }

private:
    std::string path_;
    int fd_ = -1;
    bool kept_ = false;
};

// A replaced file keeps who may read it; a new one gets what fopen would
// give a 0644 file.
mode_t modeFor(const char* target)
{
    struct stat st {};
    if (::stat(target, &st) == 0 && S_ISREG(st.st_mode))
        return st.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0644 & ~mask;
}

bool writeAndSync(TempFile& temp, const std::function<bool(std::FILE*)>& write)
{
    std::FILE* out = ::fdopen(temp.fd(), "w");
    if (!out)
        return false;
    temp.release();
    bool ok = write(out) && std::fflush(out) == 0 && ::fsync(::fileno(out)) == 0;
    // Buffered write errors surface only at the close.
    ok = std::fclose(out) == 0 && ok;
    return ok;
}

// Makes the rename itself durable; the file is already in place, so a
// failure here is not a failed save.
void syncDirectoryOf(const char* target)
{
    const char* slash = std::strrchr(target, '/');
    const std::string dir = slash ? std::string(target, slash == target ? 1 : slash - target) : ".";
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

bool writeFileAtomically(const char* path, const std::function<bool(std::FILE*)>& write)
{
    if (!path || !*path)
        return false;
    TempFile temp(path);
    if (!temp.created())
        return false;
    // Permissions are a courtesy; a file system without modes still saves.
    (void)::fchmod(temp.fd(), modeFor(path));
    if (!writeAndSync(temp, write) || !temp.renameTo(path))
        return false;
    syncDirectoryOf(path);
    return true;
}

} // namespace lumidra
