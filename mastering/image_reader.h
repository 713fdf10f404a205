// Reading an ISO 9660 image back: volume descriptors, path tables, the
// directory records of both trees and the El Torito catalog, from either
// sector form.
#pragma once

#include <string>
#include <vector>

struct StructureReport {
    // One line per fault, naming the place (descriptor, directory path, sector).
    std::vector<std::string> faults;
    // What was read, for the summary of a check.
    std::string summary;
};

// Reads the image at `path` (2048-byte or raw 2352-byte sectors) and checks
// its structure. A file that cannot be read at all gives one fault naming why.
StructureReport check_image_structure(const char* path);
