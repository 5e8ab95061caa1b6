#pragma once

#include "SliceEncoding.h"

#include <string>

struct ImportOptions {
    std::string input;
    std::string outputDir;
    SliceKind kind = SliceKind::Raw;
    bool replace = false;
};

// Converts the volume into the slice files of an image directory, reporting
// progress on standard output. Throws ImportError on every refusal or failure,
// before anything in the output directory has changed.
void runImport(const ImportOptions& options);
