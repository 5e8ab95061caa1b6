#include "SliceDirectory.h"

#include "ImportError.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string inQuotes(const fs::path& path)
{
    std::string quoted(1, '\'');
    quoted += path.string();
    quoted += '\'';
    return quoted;
}

void writeWholeFile(const fs::path& path, const std::string& contents)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        throw ImportError("cannot write " + inQuotes(path) + ": " + std::strerror(errno));
    const bool written = std::fwrite(contents.data(), 1, contents.size(), file) == contents.size();
    const int writeErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        const int failure = written ? errno : writeErrno;
        std::error_code ignored;
        fs::remove(path, ignored);
        throw ImportError("cannot write " + inQuotes(path) + ": " + std::strerror(failure));
    }
}

} // namespace

std::string sliceFileName(int number, SliceKind kind)
{
    char name[32];
    std::snprintf(name, sizeof name, "slice%03d%s", number, kind == SliceKind::Pgm ? ".pgm" : "");
    return name;
}

bool isSliceFileName(const std::string& name)
{
    const std::string prefix = "slice";
    if (name.compare(0, prefix.size(), prefix) != 0)
        return false;
    auto digitsEnd = std::find_if(name.begin() + prefix.size(), name.end(),
                                  [](unsigned char c) { return !std::isdigit(c); });
    if (digitsEnd == name.begin() + prefix.size())
        return false;
    const std::string rest(digitsEnd, name.end());
    return rest.empty() || rest == ".pgm";
}

std::vector<fs::path> findSliceFiles(const fs::path& dir)
{
    std::error_code ec;
    const fs::file_status status = fs::status(dir, ec);
    if (status.type() == fs::file_type::not_found)
        return {};
    if (ec || !fs::is_directory(status))
        throw ImportError(inQuotes(dir) + " is not a directory" +
                          (ec ? ": " + ec.message() : std::string()));
    std::vector<fs::path> slices;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (isSliceFileName(it->path().filename().string()))
            slices.push_back(it->path());
    }
    if (ec)
        throw ImportError("cannot list " + inQuotes(dir) + ": " + ec.message());
    std::sort(slices.begin(), slices.end());
    return slices;
}

void ensureDirectory(const fs::path& dir)
{
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec)
        throw ImportError("cannot create the output directory " + inQuotes(dir) + ": " +
                          ec.message());
}

StagedSlices::StagedSlices(fs::path dir, SliceKind kind) : dir_(std::move(dir)), kind_(kind) {}

StagedSlices::~StagedSlices()
{
    std::error_code ignored;
    for (int n = committed_; n < staged_; ++n)
        fs::remove(temporaryPath(n), ignored);
}

fs::path StagedSlices::temporaryPath(int number) const
{
    // Built piecewise: GCC 12 at -O3 warns falsely on a literal + std::string chain.
    std::string name(1, '.');
    name += sliceFileName(number, kind_);
    name += ".import-";
    name += std::to_string(getpid());
    return dir_ / name;
}

void StagedSlices::write(int number, const std::string& contents)
{
    // Counted before writing: a half-written file is removed as well.
    staged_ = std::max(staged_, number + 1);
    writeWholeFile(temporaryPath(number), contents);
}

void StagedSlices::commit(const std::vector<fs::path>& oldSlices)
{
    std::error_code ec;
    for (const fs::path& old : oldSlices) {
        if (!fs::remove(old, ec) && ec)
            throw ImportError("cannot remove the old slice file " + inQuotes(old) + ": " +
                              ec.message());
    }
    for (; committed_ < staged_; ++committed_) {
        const fs::path target = dir_ / sliceFileName(committed_, kind_);
        fs::rename(temporaryPath(committed_), target, ec);
        if (ec)
            throw ImportError("cannot rename a slice into place as " + inQuotes(target) + ": " +
                              ec.message());
    }
}
