// The main window of the Windows program: entry steps, the window procedure,
// its layout and the menu commands, and the handles of the settings windows it
// owns. One user-interface thread; plain process-wide handles.
#pragma once

#include <windows.h>

#include <cstdint>

#include "mastering/writer.h"

extern HINSTANCE app_instance;
extern HWND main_window;
extern HWND volume_dialog;
extern HWND boot_dialog;
extern HWND dir_record_dialog;
// Null until the drive tools provide their window; command 267 then does nothing.
extern HWND tool_dialog;

// Entry steps up to the window: stores the instance, fills the descriptor
// templates and creates the main window (hidden) with its settings windows.
// Returns the main window, or null when the template cannot be loaded.
HWND start_program(HINSTANCE instance);

INT_PTR CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void init_main_window(HWND window);
// Width and height are the client size in pixels.
void layout_main_window(HWND window, int width, int height);
// Carries out one menu command (CMD_FIRST..CMD_LAST); other ids are ignored.
void run_menu_command(HWND window, int id);

// The create commands: refused while a build runs; otherwise asks for the
// output path and builds with raw_output set to `form`.
void create_command(HWND window, OutputSectors form);

// The message loop of the program; returns the quit code.
int run_message_loop();
