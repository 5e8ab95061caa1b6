#pragma once

#include "SliceEncoding.h"

#include <filesystem>
#include <string>
#include <vector>

// "slice007", "slice1000", "slice007.pgm": the names the viewer looks for.
std::string sliceFileName(int number, SliceKind kind);

// Any "slice" + digits, with or without ".pgm" (also ones the viewer would
// never reach, such as "slice7"): the files a new import must not mix with.
bool isSliceFileName(const std::string& name);

// The slice files in dir; none when dir does not exist yet. Throws ImportError
// when dir is not a directory or cannot be listed.
std::vector<std::filesystem::path> findSliceFiles(const std::filesystem::path& dir);

// Creates dir with its parents when missing; throws ImportError when it cannot.
void ensureDirectory(const std::filesystem::path& dir);

// Slice files written under hidden temporary names and put in place only once
// every one of them has been written, so a failed import leaves the directory
// as it was. Temporary files not committed are removed on destruction.
class StagedSlices {
public:
    StagedSlices(std::filesystem::path dir, SliceKind kind);
    ~StagedSlices();
    StagedSlices(const StagedSlices&) = delete;
    StagedSlices& operator=(const StagedSlices&) = delete;

    // Writes slice number (numbered from 0 without gaps) to its temporary name.
    void write(int number, const std::string& contents);

    // Removes the old slice files, then renames the staged ones into place.
    void commit(const std::vector<std::filesystem::path>& oldSlices);

private:
    std::filesystem::path temporaryPath(int number) const;

    std::filesystem::path dir_;
    SliceKind kind_;
    int staged_ = 0;
    int committed_ = 0;
};
