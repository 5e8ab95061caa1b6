#include "core/common/AtomicFile.h"

#include "core/common/FileHandle.h"

#include <climits>
#include <string>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumidra {

namespace {

// The temporary file beside the target; removed unless it was renamed.
class TempFile {
public:
    explicit TempFile(const std::string& target)
        : path_(target + ".XXXXXX"), file_(::mkstemp(path_.data()))
    {
    }
    ~TempFile()
    {
        // Still open only when the save already failed: nothing left to report.
        (void)file_.close();
        if (!kept_)
            ::unlink(path_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    bool created() const { return file_.isOpen(); }
    FileHandle& file() { return file_; }
    bool renameTo(const std::string& target)
    {
        kept_ = ::rename(path_.c_str(), target.c_str()) == 0;
        return kept_;
    }

private:
    std::string path_;
    FileHandle file_;
    bool kept_ = false;
};

// Where a save lands: a symbolic link is followed to the file it names, even
// one that does not exist yet, so renaming over it leaves the link pointing at
// the new content. Empty for a loop of links.
std::string saveTarget(const char* path)
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

bool writeAndSync(TempFile& temp, const std::function<bool(std::FILE*)>& write)
{
    std::FILE* out = temp.file().stream("w");
    if (!out)
        return false;
    const bool ok = write(out) && std::fflush(out) == 0 && ::fsync(::fileno(out)) == 0;
    // Buffered write errors surface only at the close.
    return temp.file().close() && ok;
}

// Makes the rename itself durable; the file is already in place, so a
// failure here is not a failed save.
void syncDirectoryOf(const std::string& target)
{
    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : target.substr(0, slash ? slash : 1);
    FileHandle directory(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.isOpen())
        (void)::fsync(directory.fd());
}

} // namespace

bool writeFileAtomically(const char* path, const std::function<bool(std::FILE*)>& write)
{
    if (!path || !*path)
        return false;
    const std::string target = saveTarget(path);
    if (target.empty())
        return false;
    TempFile temp(target);
    if (!temp.created())
        return false;
    // Permissions are a courtesy; a file system without modes still saves.
    (void)::fchmod(temp.file().fd(), modeFor(target));
    if (!writeAndSync(temp, write) || !temp.renameTo(target))
        return false;
    syncDirectoryOf(target);
    return true;
}

} // namespace lumidra
