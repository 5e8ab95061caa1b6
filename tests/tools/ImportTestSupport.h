#pragma once

#include "TestFiles.h"

#include <nifti1_io.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace importtest {

struct NiftiImageFree {
    void operator()(nifti_image* nim) const { nifti_image_free(nim); }
};
using NiftiImagePtr = std::unique_ptr<nifti_image, NiftiImageFree>;

using testfiles::readFile;
using testfiles::TempDir;

// A zero-filled volume of nx x ny x nz (x nt) voxels, oriented by sform as x = i,
// y = j, z = k (i Left-to-Right, j Posterior-to-Anterior, k Inferior-to-Superior).
NiftiImagePtr makeVolume(int datatype, int nx, int ny, int nz, int nt = 1);

// Sets the sform's rotation: row r gives the world axis (x, y, z) of each voxel axis.
void setAxes(nifti_image& nim, const int (&rows)[3][3]);

// Stores value at voxel index i + nx * (j + ny * k), converted to the volume's type.
void setVoxel(nifti_image& nim, std::size_t index, double value);

// Writes the volume with nifticlib itself; the extension (.nii, .nii.gz) picks the format.
void saveVolume(nifti_image& nim, const std::string& path);

struct RunResult {
    int exitCode = -1;
    std::string output; // standard output and standard error
};

// Runs the built importer with the given arguments, each passed as one word.
RunResult runImporter(const std::vector<std::string>& args);

// The sorted file names in dir.
std::vector<std::string> fileNames(const std::filesystem::path& dir);

// The 65,536 samples of a slice file as the viewer's own readers load them
// (PGM samples come back multiplied by 16).
std::vector<std::uint32_t> loadRawSlice(const std::filesystem::path& path);
std::vector<std::uint32_t> loadPgmSlice(const std::filesystem::path& path);

// The sample the viewer shows at column x (from the left) and row y (from the
// top) of its picture: it shows a slice's first row at the top, mirrored.
std::uint32_t shownAt(const std::vector<std::uint32_t>& samples, int x, int y);

// Positions (x, y) in the viewer's picture of the non-zero samples.
std::vector<std::pair<int, int>> shownNonZero(const std::vector<std::uint32_t>& samples);

} // namespace importtest
