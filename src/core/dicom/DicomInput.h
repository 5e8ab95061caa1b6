#pragma once

#include "core/dicom/DicomSeries.h"
#include "core/slices/SliceStack.h"
#include "core/volume/VolumeReader.h"

#include <cstddef>
#include <string>
#include <vector>

namespace lumidra {

// What a folder (or a DICOM file, or a DICOMDIR: its folder) holds.
struct DicomFolder {
    std::string folder;                // what was searched
    std::vector<DicomSeries> series;   // see groupDicomSeries
    std::size_t skipped = 0;           // files that are not DICOM images
    std::vector<std::string> problems; // files the reader could not get through, one line each
    // For a DICOM file given by name: the series holding it, else series.size().
    std::size_t chosen = 0;
};

// Scans the headers of every file under path (in subfolders too) through the
// reader process; a file that stops the reader costs a line in problems,
// the others are still read. Throws VolumeError when path cannot be read
// or the reader cannot be started. threads: readers at once, 0 for the
// machine's cores.
DicomFolder findDicomSeries(const std::string& path, int threads = 0);

// The series' pixels, decoded by the reader process (on up to threads
// processes), with RescaleSlope and RescaleIntercept and the geometry in
// RAS, loaded as loadScan does. Throws VolumeError with one line naming what
// went wrong: the series' problem, a file that cannot be decoded or is cut
// short, the reader stopping.
LoadedVolume readDicomSeries(const DicomSeries& series, const WindowPolicy& policy = {},
                             Placement placement = Placement::Fit, int threads = 1);

// readDicomSeries and volumeStack on the machine's cores: what the window opens.
SharedSliceStack openDicomSeries(const DicomSeries& series, const WindowPolicy& policy = {});

// The one line a folder's search leaves to say: its series (or that it
// holds none), the files skipped and the problems.
std::string describeDicomFolder(const DicomFolder& found);

// Whether path is DICOM input: a DICOMDIR, a *.dcm file, a file with "DICM"
// at byte 128, or a folder holding such files and none of the slice files
// (slice000, slice000.pgm) an image directory starts with.
[[nodiscard]] bool isDicomInput(const std::string& path);

} // namespace lumidra
