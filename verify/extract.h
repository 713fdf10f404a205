// Taking the files of an image out into a folder. The image is input from
// strangers: every name is checked before it is used, every entry is made
// relative to its folder held open and never through a symbolic link (made
// by the image or there before), each file, link or node is written under a
// temporary name and renamed into place once complete, and an entry of a
// path met twice (two records, or names the file system does not tell
// apart) is refused rather than written over the first.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "verify/image_files.h"

struct ExtractOptions {
    std::vector<std::string> paths;  // items of the tree to take (with what lies below); empty: all
    bool boot = false;               // also the boot entries' images, as boot-N-PLATFORM.img
    bool overwrite = false;          // replace existing files (never a folder)
    bool same_owner = false;         // set owners, and keep set-id bits (root only)
    bool devices = false;            // make device nodes (root only)
};

struct ExtractOutcome {
    std::string failure;  // the folder could not be opened: nothing was done
    uint64_t folders = 0, files = 0, links = 0, nodes = 0, bytes = 0;
    uint64_t refused = 0;  // items named through `report` and not extracted
    bool stopped = false;
};

// The data all files may write together: an image's files may share data
// (hard links, or extents that overlap in a hostile image), but more than
// this many times the image's size is refused.
inline constexpr uint64_t extract_budget_factor = 4;
inline constexpr uint64_t extract_budget_floor = uint64_t(64) << 20;

// Extracts `files` (a view of `reading`, read from `source`) below `folder`,
// made when missing. Each item not extracted is named through `report`
// ("PATH: why"). `stop`, when given, is looked at between items and pieces of
// data; a stopped extraction removes its temporary entry.
ExtractOutcome extract_image(ImageSource& source, const ImageReading& reading, const ImageFiles& files,
                             const char* folder, const ExtractOptions& options,
                             const std::function<void(const std::string&)>& report,
                             const volatile int32_t* stop = nullptr);
