#pragma once

#include <string>
#include <string_view>

namespace lumidra {

// A file written under a temporary name beside its target and renamed over
// the target only once complete, so a failed write never destroys the file
// that was there. A symbolic link is followed to the file it names, so the
// link keeps pointing at the new content. The temporary is removed unless
// committed.
class StagedFile {
public:
    // The temporary name ends in suffix, for writers that pick a format by
    // the extension. Throws std::runtime_error when the temporary cannot be made.
    explicit StagedFile(std::string target, std::string_view suffix = {});
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    const std::string& target() const { return target_; }
    const std::string& temporaryPath() const { return temp_; }

    // Appends bytes to the temporary; throws std::runtime_error on a failed write.
    void write(std::string_view bytes);
    // Flushes the temporary to disk and closes it; for a file written by
    // another writer through temporaryPath(), only syncs what it wrote.
    void finish();
    // Renames the finished temporary over the target and syncs its directory.
    void commit();

private:
    [[noreturn]] void fail(const char* what, int error) const;

    std::string target_;
    std::string destination_; // the target with its symbolic links followed
    std::string temp_;
    int fd_ = -1;
    bool committed_ = false;
};

} // namespace lumidra
