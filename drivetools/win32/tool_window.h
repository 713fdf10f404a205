// The Tool window (template TOOL): disk image of a floppy-style drive, raw
// CD-ROM image of a sector range, TOC as cue sheet text, drive
// identification, and conversion of image files dropped on it. Closing it
// only hides it and asks a running copy to stop.
#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/device.h"

namespace tool_ids {
inline constexpr int disk_drive = 130;
inline constexpr int disk_create = 131;
inline constexpr int cd_drive = 134;
inline constexpr int first_sector = 136;
inline constexpr int last_sector = 138;
inline constexpr int cd_create = 139;
inline constexpr int get_toc = 140;
inline constexpr int get_drive_id = 141;
inline constexpr int output = 142;
}  // namespace tool_ids

INT_PTR CALLBACK tool_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Set by closing the Tool window (or the main window): a running copy stops
// after the block or sector in hand. The image commands clear it before they
// start.
extern int32_t tool_stop_requested;
// The message pump the copies run every so often; the main window gives its
// own when it creates the window.
void set_tool_message_pump(void (*pump)());

// Opening step, run once when the main window creates the window.
void init_tool_dialog(HWND dialog);

// The drives the window talks to; the system's drives unless replaced (the
// tests plug in a simulated drive). Null restores the system's drives.
void set_tool_device_backend(const platform::DeviceBackend* backend);

// The button handlers. The two image commands ask for the output file first
// (the save-file dialog); the others need no input beyond the window. The
// CD-ROM image writes the dump's cue sheet beside it once the copy is whole.
void make_disk_image(HWND dialog);
void make_cd_image(HWND dialog);
void show_toc(HWND dialog);
void show_drive_identification(HWND dialog);

// Converts every dropped file to "<path>.iso" and says in the output box what
// became of each.
void convert_dropped_files(HWND dialog, HDROP drop);
