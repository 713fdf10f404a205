// The main window of the Windows program: entry steps, the window procedure,
// its layout and the menu commands, and the handles of the settings windows it
// owns. One user-interface thread; plain process-wide handles.
#pragma once

#include <windows.h>

#include <cstdint>

#include "mastering/build_link.h"

extern HINSTANCE app_instance;
extern HWND main_window;
extern HWND volume_dialog;
extern HWND boot_dialog;
extern HWND dir_record_dialog;
// Null until the drive tools provide their window; command 267 then does nothing.
extern HWND tool_dialog;

// The build the main window runs, one at a time: a create command from its
// message pump meanwhile is refused with a beep.
struct WindowBuild {
    bool running = false;
    // File > Abort, or the window closing: the build stops at its next test
    // point. Cleared by the create commands.
    bool abort = false;
    OutputSectors form = OutputSectors::plain;  // of the last build started
    BuildProgress progress;                     // as last shown
    // Shows `progress` in the status bar; a test may put its own in.
    void (*show)() = nullptr;
};
extern WindowBuild window_build;

// Entry steps up to the window: stores the instance and creates the main
// window (hidden) with its settings windows.
// Returns the main window, or null when the template cannot be loaded.
HWND start_program(HINSTANCE instance);

INT_PTR CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void init_main_window(HWND window);
// Width and height are the client size in pixels.
void layout_main_window(HWND window, int width, int height);
// Carries out one menu command (CMD_FIRST..CMD_LAST); other ids are ignored.
void run_menu_command(HWND window, int id);

// The create commands: refused while a build runs; otherwise asks for the
// output path and builds in sectors of the `form`.
void create_command(HWND window, OutputSectors form);

// The message loop of the program; returns the quit code.
int run_message_loop();
