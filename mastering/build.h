// The image build: from the registration lines and the three settings windows
// to one image file, stage by stage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "mastering/problems.h"
#include "platform/platform.h"
#include "settings/control_store.h"

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
