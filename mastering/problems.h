// What a build or a registration reports about the items it could not take
// as they were, the outcome of a build, and where the build reads its
// registration lines from. Only the standard library lies below this header,
// so that every part of the core and both front ends can name a problem
// without depending on the build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Where the build takes its registration lines from: the Windows list control
// or the command line's sorted list. Lines are read by index, 0 first.
struct LineSource {
    const void* context = nullptr;
    int (*count)(const void* context) = nullptr;
    // Copies line `index` into buffer (capacity bytes, terminated).
    void (*get)(const void* context, int index, char* buffer, size_t capacity) = nullptr;
};

enum class ProblemKind {
    // The build is refused before the output is created.
    file_too_large,        // a file of 4 GiB or more
    too_many_directories,  // more than 65535 directories
    path_too_long,         // a path longer than 511 bytes
    key_too_long,          // an ordering key longer than 511 bytes
    line_too_long,         // a registration line longer than 511 bytes
    output_path_too_long,
    output_is_input,       // the output, a file of the user's, lies below a registered folder
    volume_too_large,      // more sectors than a volume can number (detail: how many)
    link_target_too_long,  // Rock Ridge: a symbolic link's target over 1023 bytes (detail: its length)
    name_too_long,         // Rock Ridge: a name over 255 bytes (detail: its length)
    boot_path_unusable,    // --boot-path: the path in the image (detail: why it cannot boot)
    graft_clash,           // two graft points' sources at one path in the image (detail: both)
    // The build fails.
    output_not_created,
    write_failed,
    // The image is complete but damaged; the layout stays as planned.
    source_unreadable,   // sectors written as zeros
    source_shrunk,       // the missing tail written as zeros
    source_grown,        // cut to its planned size
    source_gone,         // a registered path missing at build time (detail: why)
    folder_unreadable,   // a folder that cannot be listed: entered without contents
    special_registered,  // a socket, FIFO or device registered itself: entered empty
    size_unreported,     // a file of /proc or /sys that reports no size: entered empty
    // Notices: the image is sound, something was left out.
    directory_loop,        // entered without children
    special_file_skipped,  // socket, FIFO or device below a folder
    output_left_out,       // an output of this run found below a folder
};

enum class ProblemSeverity { refused, failed, damaged, notice };

struct BuildProblem {
    ProblemKind kind;
    std::string path;    // the item concerned, empty when none
    std::string detail;  // the system's reason, when there is one
};

ProblemSeverity severity_of(ProblemKind kind);
// One line of English for the command line: "cannot read /x/y: Permission denied".
std::string describe_problem(const BuildProblem& problem);

// What Rock Ridge is to give of a built file or folder: the name as the file
// system holds it, the mode as the image gives it, a link's target.
struct BuiltPosix {
    bool present = false;
    std::string name;
    uint32_t mode = 0;
    std::string link_target;
    bool link = false;
};

// A file of a finished build: the sectors its data took and the source it
// was copied from. The boot image is one too, outside the trees.
struct BuiltFile {
    std::string source;
    uint32_t extent = 0;
    uint64_t size = 0;  // a file of 4 GiB or more: its extents follow one another
    bool boot_image = false;
    // Its place in each tree (ISO 9660, Joliet): the identifiers on the way
    // from the root, as path_key_append gives them. Empty for a boot image.
    std::string place[2];
    // A symbolic link, a device node, a FIFO or a socket (Rock Ridge): its
    // record holds no data.
    bool no_data = false;
    BuiltPosix posix;
    // The image's copy holds the boot information table over bytes 8..63.
    bool boot_info_table = false;
};

// A folder of a finished build and its place in each tree.
struct BuiltFolder {
    std::string source;
    std::string place[2];
    BuiltPosix posix;
};

// A place in a tree, one identifier after the other: each one's length in a
// byte, then its bytes as recorded. Distinct paths give distinct keys.
inline void path_key_append(std::string& key, const void* identifier, size_t length)
{
    key.push_back(char(uint8_t(length)));
    key.append(static_cast<const char*>(identifier), length);
}

// A name the image's trees do not hold as the file system gives it: its
// source and its path in the Joliet tree (UTF-8 or the code page of names).
struct NameNotKept {
    std::string source;
    std::string joliet_path;
};
inline constexpr size_t names_not_kept_shown = 20;

struct BuildOutcome {
    bool written = false;  // the output exists and holds every planned sector
    bool aborted = false;
    uint32_t total_sectors = 0;
    // Zero sectors and the backup partition table of a hybrid image after the
    // volume's trailing sector; 0 otherwise.
    uint32_t padding_sectors = 0;
    std::vector<BuildProblem> problems;
    // Filled when the input's keep_built_files (build.h) is set: every file of the image
    // in table order, and whether the image has a Joliet tree.
    std::vector<BuiltFile> files;
    std::vector<BuiltFolder> folders;  // below the root, in table order
    // Folders the build made in the ISO 9660 tree alone (where Rock Ridge
    // relocates deep directories), by place.
    std::vector<std::string> primary_only_places;
    bool joliet = false;
    // Names beginning with a dot that the scan left out: how many, and the
    // paths of the first few.
    uint32_t dot_names_left_out = 0;
    std::vector<std::string> first_dot_names_left_out;
    // With Joliet and without Rock Ridge: the names the Joliet tree holds
    // cut, with characters replaced or counted apart from a sibling's (the
    // ISO 9660 tree's names are short by design): how many, the first few.
    uint32_t names_not_kept = 0;
    std::vector<NameNotKept> first_names_not_kept;
    // True when the image is complete and sound (notices allowed).
    bool clean() const;
};
