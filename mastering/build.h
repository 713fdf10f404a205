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

// The whole build of one image; reads the three settings windows (volume,
// boot, directory record, in that order), scans the registered paths (lines
// read from the last to the first), builds and writes. raw_output of the
// image writer decides 2048- or 2352-byte sectors. Refuses to start while
// another build runs (build_running()).
BuildOutcome create_iso(const ControlReader& volume_dialog, const ControlReader& boot_dialog,
                        const ControlReader& dir_record_dialog, const LineSource& lines, const char* output_path);

// True while create_iso runs; a create command seen meanwhile must be refused.
bool build_running();

// Set by the command line before a build that is to be read back: the build
// then lists its files in the outcome. Off in the Windows program.
extern bool keep_built_files;
