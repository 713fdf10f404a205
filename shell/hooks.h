// The process-wide items through which the drive tools stay responsive and
// learn that the user wants them to stop. One thread only, so plain globals
// without locks.
#pragma once

#include <cstdint>

// Stop flag of the drive tools: set by closing the Tool window, cleared by the
// disk-image and CD-image commands before their copy loops.
extern int32_t tool_stop_requested;

// The message pump that long loops call at fixed intervals. The Windows
// program installs its real pump in message_pump; on the command line there is
// no queue and the call returns at once.
extern void (*message_pump)();
void process_pending_messages();
