// Checking whole image files: one pass over the file in large blocks, with
// the sector check of a raw image and, when asked, the hashes of all its
// bytes.
#pragma once

#include <cstdint>
#include <string>

#include "sector/check.h"
#include "sector/hashes.h"

// Checks every sector of the raw image at `path` (one Mode 1 or Mode 2 data
// track, as its sectors show). Returns true when every sector is sound;
// `report` receives the summary lines (sectors by kind, bad sectors by kind
// with the first few numbers), one per line.
[[nodiscard]] bool check_raw_image_file(const char* path, std::string& report);

struct ImageFileCheck {
    std::string error;  // empty when the whole file was read
    bool stopped = false;
    ImageForm form = ImageForm::unknown;
    uint64_t size = 0;
    RawCheckSummary sectors;  // raw images only
    bool hashed = false;
    HashValues hashes;
};

// Reads the file once in large blocks: the sector check for a raw image and,
// when asked, the CRC-32, MD5 and SHA-1 of all its bytes. `stop`, when given,
// is looked at after every block. With `tracks` (from a cue sheet), the file
// is taken as raw whenever it holds one whole sector, and checked track by
// track.
[[nodiscard]] ImageFileCheck check_image_file(const char* path, bool with_hashes,
                                              const volatile int32_t* stop = nullptr,
                                              const TrackList* tracks = nullptr);
