#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumidra {

using Vec3 = std::array<double, 3>;

// One DICOM image file's header, as the reader process reports it.
struct DicomImage {
    std::string path;
    std::string seriesUid;
    std::optional<int> seriesNumber;
    std::string description;
    std::string modality;
    std::optional<int> acquisition;
    int rows = 0;
    int columns = 0;
    int frames = 1;
    int samples = 1;
    std::string photometric;
    int bitsAllocated = 0;
    bool isSigned = false;
    std::string imageType;
    int mosaicTiles = 0; // Siemens' NumberOfImagesInMosaic; 0 when absent
    // Row then column direction cosines (ImageOrientationPatient), in DICOM's LPS.
    std::optional<std::array<double, 6>> orientation;
    std::optional<Vec3> position;     // of the first voxel (ImagePositionPatient)
    std::vector<Vec3> framePositions; // one per frame of an enhanced multi-frame file
    std::optional<std::array<double, 2>> pixelSpacing; // between rows, between columns
    double thickness = 0;
    double slope = 1;
    double intercept = 0;

    bool isMosaic() const;
};

// One answer line of the reader's scan (without its line end).
struct ScanAnswer {
    enum class Kind { Image, Skipped } kind = Kind::Skipped;
    std::size_t file = 0; // the file's place in the list the reader was given
    DicomImage image;     // for Image; path left empty
    std::string reason;   // for Skipped
};

// Parses one answer; nullopt for a line that is neither (damaged output).
// Values the reader could not make sense of are left as unknown rather than
// guessed.
std::optional<ScanAnswer> parseScanAnswer(std::string_view line);

// A decimal string's value, as DICOM's IS and DS give them (spaces and a
// leading '+' allowed); nullopt when it is not one finite number.
std::optional<double> parseDecimal(std::string_view text);

} // namespace lumidra
