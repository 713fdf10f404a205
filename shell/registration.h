// The registration list: one line per registered path, formatted as
// "%s\t    %d\t    %d\t    %s" (display name, entry count, estimated sectors,
// full path), measured once when the path is registered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "mastering/entries.h"
#include "mastering/problems.h"

inline constexpr size_t line_capacity = 512;  // at most 511 characters
inline constexpr int32_t estimate_base_sectors = 746;

struct Measurement {
    int32_t entries = 0;
    int32_t sectors = 0;
    uint32_t folders = 0;  // entered so far; more than 65535 are refused
    // Set with `refused` when the user asked the walk to stop.
    bool stopped = false;
    // Set when the path cannot be registered: the item and why.
    bool refused = false;
    ProblemKind problem = ProblemKind::path_too_long;
    std::string problem_path;
};

// What the walk of a registration is told by whoever registers. Each may be
// empty; the Windows program gives none.
struct RegistrationWalk {
    bool dot_files = false;    // names beginning with a dot are walked too
    bool large_files = false;  // files of 4 GiB or more are taken (the command line)
    // Symbolic links are looked at as links (Rock Ridge keeps them so).
    platform::Links links = platform::Links::follow;
    // Each folder's listing is kept here for the build's scan.
    FolderListings* listings = nullptr;
    // Asked at every folder entered; true refuses the registration as
    // stopped. A stop already asked for when the walk starts is not meant
    // for it (left from a stopped build) and is not asked again.
    std::function<bool()> stop_requested;
    std::function<void(uint32_t folders, const char* path)> walked;
};

// Walks the path as the build will scan it: entry count and rough sectors.
[[nodiscard]] Measurement measure_path(const char* path, const RegistrationWalk& walk = {});

// The paths of the top-level items of a drive or file-system root (`root`
// ends in a separator: "C:\\", "/"), each to be registered on a line of its
// own: every name the root lists but "." and "..". False when the root cannot
// be listed.
[[nodiscard]] bool list_root_items(const char* root, std::vector<std::string>& paths);

// Measures the path and formats its line into `line` (line_capacity bytes).
// False, with the reason in `measurement`, when the registration is refused
// (a line over 511 characters, an item that cannot be measured).
[[nodiscard]] bool add_registration(const char* path, char* line, Measurement& measurement,
                                    const RegistrationWalk& walk = {});

// Column readers. Column 2 and 3 follow the first and second TAB plus four
// spaces; column 4 follows the last TAB plus four spaces. Never read beyond
// the line's terminator; a malformed line gives 0 and an empty path.
int32_t line_entry_count(const char* line);
int32_t line_sectors(const char* line);
const char* line_path(const char* line);

// 746 + the sum of column 3 over all lines, read from the last to the first.
int32_t estimate_sectors(const LineSource& lines);
