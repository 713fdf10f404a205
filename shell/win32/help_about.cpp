#include "shell/win32/help_about.h"

#include <string>

#include "resources/resource_ids.h"
#include "shell/win32/main_window.h"

int32_t help_open_count = 2;
int32_t about_open_count = 2;

namespace {

// The picture lies over the icon and covers it; it shows on every fourth
// opening, the icon on all others.
void show_picture_or_icon(HWND window, int32_t count)
{
    HWND picture = GetDlgItem(window, IDC_PICTURE);
    if (count % 4 != 0) {
        ShowWindow(picture, SW_HIDE);
        return;
    }
    ShowWindow(GetDlgItem(window, IDC_PROGRAM_ICON), SW_HIDE);
    SetWindowPos(picture, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

// The close box and the system menu end the window. Escape and Return give
// commands that neither window acts on, and the close request that a
// multi-line edit sends its dialog on Escape is not taken for the close box.
bool is_close_box(UINT message, WPARAM wparam)
{
    return message == WM_SYSCOMMAND && (wparam & 0xFFF0) == SC_CLOSE;
}

// Once the dialog manager has given the text the focus on the first
// activation (selecting it all and scrolling to its end), the view goes back
// to the first line with nothing selected.
const UINT show_text_start = WM_APP + 1;
bool help_text_at_start_pending = false;

}  // namespace

void init_help_window(HWND window)
{
    HRSRC found = FindResourceA(app_instance, "TEXT_HELP", MAKEINTRESOURCEA(10) /* RT_RCDATA */);
    if (found) {
        HGLOBAL loaded = LoadResource(app_instance, found);
        const char* data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
        DWORD size = SizeofResource(app_instance, found);
        if (data) {
            // The resource is not terminated itself; copy it with its size.
            std::string text(data, size);
            SetDlgItemTextA(window, IDC_HELP_TEXT, text.c_str());
        }
    }
    ++help_open_count;
    show_picture_or_icon(window, help_open_count);
    help_text_at_start_pending = true;
}

void init_about_window(HWND window)
{
    ++about_open_count;
    show_picture_or_icon(window, about_open_count);
}

INT_PTR CALLBACK help_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        init_help_window(window);
        return FALSE;
    }
    if (is_close_box(message, wparam)) {
        EndDialog(window, 1);
        return TRUE;
    }
    if (message == WM_ACTIVATE && LOWORD(wparam) != WA_INACTIVE && help_text_at_start_pending)
        PostMessageA(window, show_text_start, 0, 0);
    if (message == show_text_start) {
        help_text_at_start_pending = false;
        SendDlgItemMessageA(window, IDC_HELP_TEXT, EM_SETSEL, 0, 0);
        SendDlgItemMessageA(window, IDC_HELP_TEXT, EM_SCROLLCARET, 0, 0);
        return TRUE;
    }
    if (message == WM_CLOSE)
        return TRUE;
    return FALSE;
}

INT_PTR CALLBACK about_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: init_about_window(window); return FALSE;
    case WM_COMMAND:
        if (LOWORD(wparam) == IDC_ABOUT_OK)
            EndDialog(window, 1);
        return FALSE;
    case WM_CLOSE: return TRUE;
    default:
        if (is_close_box(message, wparam)) {
            EndDialog(window, 1);
            return TRUE;
        }
        return FALSE;
    }
}

void run_help_window(HWND owner)
{
    DialogBoxParamA(app_instance, "HELP", owner, help_window_proc, 0);
}

void run_about_window(HWND owner)
{
    DialogBoxParamA(app_instance, "ABOUT", owner, about_window_proc, 0);
}
