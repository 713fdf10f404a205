// The image build: from the registration lines and the three settings windows
// to one image file, stage by stage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "settings/control_store.h"

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
    // The build fails.
    output_not_created,
    write_failed,
    // The image is complete but damaged; the layout stays as planned.
    source_unreadable,     // sectors written as zeros
    source_shrunk,         // the missing tail written as zeros
    source_grown,          // cut to its planned size
    source_gone,           // a registered path missing at build time (detail: why)
    folder_unreadable,     // a folder that cannot be listed: entered without contents
    special_registered,    // a socket, FIFO or device registered itself: entered empty
    size_unreported,       // a file of /proc or /sys that reports no size: entered empty
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

struct BuildOutcome {
    bool written = false;   // the output exists and holds every planned sector
    bool aborted = false;
    uint32_t total_sectors = 0;
    std::vector<BuildProblem> problems;
    // True when the image is complete and sound (notices allowed).
    bool clean() const;
};

// Files the scan leaves out, with a notice, wherever it meets them below a
// registered folder: the command line's own outputs (an image from an earlier
// run may lie in the folder being imaged). Empty in the Windows program.
struct LeftOutFile {
    platform::FileIdentity identity;
    uint64_t size = 0;
};
extern std::vector<LeftOutFile> files_left_out;
// True when the scanned item (found with `info`) is one of files_left_out.
bool is_left_out(const char* path, const platform::FileInfo& info);

// The whole build of one image; reads the three settings windows (volume,
// boot, directory record, in that order), scans the registered paths (lines
// read from the last to the first), builds and writes. raw_output of the
// image writer decides 2048- or 2352-byte sectors. Refuses to start while
// another build runs (build_running()).
BuildOutcome create_iso(const ControlReader& volume_dialog, const ControlReader& boot_dialog,
                        const ControlReader& dir_record_dialog, const LineSource& lines,
                        const char* output_path);

// True while create_iso runs; a create command seen meanwhile must be refused.
bool build_running();
