// Checking whole image files: one pass over the file in large blocks, with
// the sector check of a raw image and, when asked, the hashes of all its
// bytes, spread over the machine's cores.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sector/check.h"
#include "sector/hashes.h"

// Checks every sector of the raw image at `path` (one Mode 1 or Mode 2 data
// track, as its sectors show). Returns true when every sector is sound;
// `report` receives the summary lines (sectors by kind, bad sectors by kind
// with the first few numbers), one per line.
[[nodiscard]] bool check_raw_image_file(const char* path, std::string& report);

struct ImageFileCheck {
    std::string error;  // empty when the whole file was read (and hashed)
    bool stopped = false;
    ImageForm form = ImageForm::unknown;
    uint64_t size = 0;
    RawCheckSummary sectors;  // raw images only
    bool hashed = false;
    HashValues hashes;  // those asked for
};

struct ImageFileCheckOptions {
    std::vector<HashKind> hashes;  // the hashes of all the bytes to compute; none by default
    // Looked at before every block is read; once nonzero the pass stops.
    const volatile int32_t* stop = nullptr;
    // From a cue sheet: the file is taken as raw whenever it holds one whole
    // sector, and checked track by track.
    const TrackList* tracks = nullptr;
    // Threads of the pass, the reading one included: 0 for one per core, no
    // more than there are jobs (the sector check and each hash); 1 does
    // everything in the calling thread.
    unsigned threads = 0;
};

// Reads the file once in large blocks: the sector check for a raw image and
// the hashes asked for. Every job sees every block in order; with more than
// one thread, the reading thread keeps a small ring of blocks filled and
// each free thread takes the job furthest behind.
[[nodiscard]] ImageFileCheck check_image_file(const char* path, const ImageFileCheckOptions& options = {});
