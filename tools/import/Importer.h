#pragma once

#include "SliceEncoding.h"
#include "core/volume/VolumeLayout.h"
#include "core/volume/WindowPolicy.h"

#include <string>

struct ImportOptions {
    std::string input;
    std::string outputDir;
    SliceKind kind = SliceKind::Raw;
    bool replace = false;
    lumidra::Placement placement = lumidra::Placement::Fit;
    lumidra::WindowPolicy window;
};

// Converts the volume into the slice files of an image directory, reporting
// progress on standard output. Throws (ImportError, VolumeError) on every refusal or failure,
// before anything in the output directory has changed.
void runImport(const ImportOptions& options);
