#pragma once

// DICOM series for tests, written by write-dicom-series.py (pydicom) from a
// NIfTI volume or a synthetic CT; and header records made in memory.
#include "core/dicom/DicomRecord.h"

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace dicomfiles {

// Runs the writer: output folder, then its options (--nifti PATH, --oblique
// DEG, --intercept N, --modality CT, --nifti-out PATH, ...), each one word.
inline void writeSeries(const std::string& folder, const std::vector<std::string>& options)
{
    std::string command = "/usr/bin/python3 '" LUMIDRA_DICOM_WRITER "' '" + folder + "'";
    for (const std::string& option : options)
        command.append(" '").append(option).append("'");
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("cannot write a DICOM series: " + command);
}

// The header of one axial slice of a rows x columns image of 1 mm pixels at
// height z, in series uid.
inline lumidra::DicomImage slice(const std::string& uid, double z, int rows = 4, int columns = 4)
{
    lumidra::DicomImage image;
    image.path = uid + "-" + std::to_string(z);
    image.seriesUid = uid;
    image.seriesNumber = 1;
    image.modality = "CT";
    image.rows = rows;
    image.columns = columns;
    image.photometric = "MONOCHROME2";
    image.bitsAllocated = 16;
    image.isSigned = true;
    image.orientation = std::array<double, 6>{1, 0, 0, 0, 1, 0};
    image.position = lumidra::Vec3{-10, -20, z};
    image.pixelSpacing = std::array<double, 2>{0.5, 0.75};
    return image;
}

} // namespace dicomfiles
