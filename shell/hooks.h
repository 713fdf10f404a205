// The process-wide items through which long operations stay responsive, learn
// that the user wants them to stop, and report progress. One thread only, so
// plain globals without locks.
#pragma once

#include <cstdint>

// Stop flag of the image build: set by File > Abort, cleared by the create
// commands and by create_iso just before the build proper.
extern int32_t abort_requested;
// Stop flag of the drive tools: set by closing the Tool window, cleared by the
// disk-image and CD-image commands before their copy loops.
extern int32_t tool_stop_requested;

struct BuildProgress {
    int32_t stage = 0;             // 1 identifiers, 2 positions, 3 other settings, 4 output
    int32_t counter = 0;           // stage 1: ordering passes; stage 4: percent written
    uint32_t sectors_written = 0;  // the image writer's count
    uint32_t total_sectors = 0;    // the volume space size of the image being built
};
extern BuildProgress build_progress;

// Called by the build after its progress changed; null until a front end
// installs its progress display.
extern void (*status_callback)();

// The message pump that long loops call at fixed intervals. The Windows
// program installs its real pump in message_pump; on the command line there is
// no queue and the call returns at once.
extern void (*message_pump)();
void process_pending_messages();
