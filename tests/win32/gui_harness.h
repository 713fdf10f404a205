// Helpers of the GUI tests: the program's windows created in process, the
// queue pumped, texts typed and files dropped, and modal windows (file
// dialogs, message boxes, Help, About) answered from a timer while the
// command that opened them runs.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "../temp_tree.h"

// Creates the main window with its settings windows, shown, as the program
// does at start; closes it again and drains the queue (the quit request
// included).
HWND open_program();
void close_program();

// Runs the program's pump for the given time.
void pump_for(int milliseconds);

// Texts as UTF-8, whatever the ANSI code page.
std::string window_text_utf8(HWND window);
std::string control_text_utf8(HWND dialog, int id);
std::string status_text();
std::vector<std::string> list_lines_utf8();
std::string utf8_from_wide(const std::wstring& text);
std::wstring wide_from_utf8(const std::string& text);
// UTF-8 to the ANSI code page, for paths and typed texts.
std::string ansi_from_utf8(const std::string& text);
std::string utf8_from_ansi(const std::string& text);

// Types the text into an edit (or a combo box's edit) as character messages,
// replacing what it held.
void type_text(HWND dialog, int id, const std::string& ansi_text);

// Drops the paths on the window through a real drop handle and waits until
// the window has taken them.
void drop_paths(HWND target, const std::vector<std::string>& ansi_paths);

// Sends a menu command to the main window, as choosing it does.
void menu_command(int id);

// A step run against the next modal window owned by `owner`; it is called on
// every timer tick with that window until it returns true.
using ModalAction = std::function<bool(HWND dialog)>;
void on_next_modal(HWND owner, ModalAction action);
// Answers the next file dialog owned by owner with the name, or cancels it.
void answer_file_dialog(HWND owner, const std::string& ansi_name);
void cancel_file_dialog(HWND owner);
// Presses OK on the next message box owned by owner and keeps its text.
void answer_message_box(HWND owner, std::string* text_utf8);
// Steps still waiting for their window; clear_modal_actions drops them.
size_t pending_modal_actions();
void clear_modal_actions();
// Set when a step had to be forced closed after waiting too long.
bool modal_action_timed_out();

// Size of a file, -1 when it cannot be found.
long long file_size_of(const std::string& path);
std::vector<unsigned char> file_bytes(const std::string& path);
// True when nobody holds the file open any more.
bool file_is_closed(const std::string& path);
