// The registration list of the main window (list control 128), the capacity
// estimate and the build progress in the status line (control 129).
#pragma once

#include <windows.h>

#include <string>

#include "mastering/problems.h"

// The list control as the build's source of registration lines.
LineSource list_line_source(HWND window);

// Registers one path chosen or dropped by the user. A drive root ("C:" or
// "C:\") registers each of its top-level items instead. A refused path adds
// no line and its reason is appended to `refusals` (UTF-16, one per line).
// Does not refresh the estimate.
void register_path(HWND window, const char* path, std::wstring& refusals);
// Shows the collected refusals in one message box owned by the window.
void report_refusals(HWND window, const std::wstring& refusals);

void register_file_command(HWND window);
void register_directory_command(HWND window);
void drop_on_main_window(HWND window, HDROP drop);
void delete_command(HWND window);
void clear_command(HWND window);

// 746 + column 3 of every line, shown as string 1000 in the status line.
void refresh_estimate(HWND window);
// The progress text of the current build stage, in the main window's status
// line; installed as status_callback.
void show_build_progress();

// The list draws its own lines: a line as stored, with each TAB shown as a
// blank (some fonts draw a TAB as a box).
void measure_list_line(HWND window, MEASUREITEMSTRUCT* item);
void draw_list_line(const DRAWITEMSTRUCT* item);

// Removes the last path component in place: everything from the last
// backslash on, stepping by ANSI characters. Returns false when the path has
// no backslash.
bool cut_at_last_backslash(char* path);
// True for "X:" and "X:\" (a drive letter, a colon, an optional backslash).
bool is_drive_root(const char* path);
