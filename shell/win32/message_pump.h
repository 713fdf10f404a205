// The message pump that long operations call through process_pending_messages,
// and the keyboard handling of the modeless settings windows.
#pragma once

#include <windows.h>

// Dispatches every message in the queue and returns once it is empty. A quit
// request stays in the queue for the main loop, so closing the main window
// during a build ends the program once the build has stopped.
void pump_messages();

// Tab and the other dialog keys inside the modeless settings windows. True when
// the message was taken.
bool settings_dialog_message(MSG& message);
