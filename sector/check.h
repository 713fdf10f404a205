// Checking raw 2352-byte images sector by sector: sync, header address, mode,
// and the error detection and correction fields of each sector's form.
#pragma once

#include <string>

// Checks every sector of the raw image at `path`. Returns true when every
// sector is sound; `report` receives the summary lines (sectors by kind, bad
// sectors by kind with the first few numbers), one per line.
bool check_raw_image_file(const char* path, std::string& report);
