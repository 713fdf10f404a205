#include "gui_harness.h"

#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <deque>

#include "drivetools/win32/tool_window.h"
#include "shell/win32/main_window.h"
#include "shell/win32/message_pump.h"

namespace {

struct PendingStep {
    HWND owner;
    ModalAction action;
    HWND dialog = nullptr;
    int ticks = 0;
};

std::deque<PendingStep> pending;
UINT_PTR modal_timer = 0;
bool timed_out = false;
const int tick_milliseconds = 20;
const int ticks_before_forcing = 500;  // 10 seconds on one window

struct Search {
    HWND owner;
    HWND found;
};

BOOL CALLBACK find_modal(HWND window, LPARAM parameter)
{
    Search* search = reinterpret_cast<Search*>(parameter);
    if (!IsWindowVisible(window) || GetWindow(window, GW_OWNER) != search->owner)
        return TRUE;
    if (window == volume_dialog || window == boot_dialog || window == dir_record_dialog || window == tool_dialog ||
        window == main_window)
        return TRUE;
    char name[32] = {};
    GetClassNameA(window, name, sizeof name);
    if (std::strcmp(name, "#32770") != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

int idle_ticks = 0;
HWND idle_dialog = nullptr;

void CALLBACK modal_tick(HWND, UINT, UINT_PTR, DWORD)
{
    if (pending.empty()) {
        // A modal window that no step is waiting for would block the test
        // for ever: close it after a while and flag the test.
        Search search{main_window, nullptr};
        if (main_window)
            EnumThreadWindows(GetCurrentThreadId(), find_modal, reinterpret_cast<LPARAM>(&search));
        if (!search.found || search.found != idle_dialog) {
            idle_dialog = search.found;
            idle_ticks = 0;
            return;
        }
        if (++idle_ticks > ticks_before_forcing) {
            timed_out = true;
            EndDialog(search.found, IDCANCEL);
            idle_ticks = 0;
        }
        return;
    }
    PendingStep& step = pending.front();
    Search search{step.owner, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), find_modal, reinterpret_cast<LPARAM>(&search));
    if (!search.found)
        return;
    if (step.dialog != search.found) {
        step.dialog = search.found;
        step.ticks = 0;
    }
    if (++step.ticks > ticks_before_forcing) {
        timed_out = true;
        EndDialog(search.found, IDCANCEL);
        PostMessageA(search.found, WM_COMMAND, IDCANCEL, 0);
        pending.pop_front();
        return;
    }
    // The action may run a nested loop in which this timer fires again; take
    // the step out first so that it does not run twice.
    PendingStep current = std::move(step);
    pending.pop_front();
    if (!current.action(search.found))
        pending.push_front(std::move(current));
}

HWND file_name_control(HWND dialog)
{
    HWND name = GetDlgItem(dialog, 0x47C);  // cmb13: the combo of the file name
    if (!name)
        name = GetDlgItem(dialog, 0x480);  // edt1 of the old-style dialog
    return name;
}

}  // namespace

HWND open_program()
{
    HWND window = start_program(GetModuleHandleA(nullptr));
    EXPECT_NE(window, nullptr);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    if (!modal_timer)
        modal_timer = SetTimer(nullptr, 0, tick_milliseconds, modal_tick);
    timed_out = false;
    pump_for(50);
    return window;
}

void close_program()
{
    if (main_window && IsWindow(main_window))
        DestroyWindow(main_window);
    main_window = nullptr;
    clear_modal_actions();
    MSG message;
    for (int rounds = 0; rounds < 1000; ++rounds) {
        if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            break;
        if (message.message == WM_QUIT)
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    window_build.abort = false;
    tool_stop_requested = 0;
}

void pump_for(int milliseconds)
{
    DWORD start = GetTickCount();
    do {
        pump_messages();
        MSG message;
        if (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE) && message.message == WM_QUIT)
            return;
        Sleep(5);
    } while (static_cast<int>(GetTickCount() - start) < milliseconds);
}

std::string utf8_from_wide(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring wide_from_utf8(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string ansi_from_utf8(const std::string& text)
{
    std::wstring wide = wide_from_utf8(text);
    if (wide.empty())
        return std::string();
    int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::string utf8_from_ansi(const std::string& text)
{
    if (text.empty())
        return std::string();
    int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), wide.data(), n);
    return utf8_from_wide(wide);
}

std::string window_text_utf8(HWND window)
{
    int n = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    GetWindowTextW(window, text.data(), n + 1);
    text.resize(static_cast<size_t>(n));
    return utf8_from_wide(text);
}

std::string control_text_utf8(HWND dialog, int id)
{
    return window_text_utf8(GetDlgItem(dialog, id));
}

std::string status_text()
{
    return control_text_utf8(main_window, 129);
}

std::vector<std::string> list_lines_utf8()
{
    std::vector<std::string> lines;
    HWND list = GetDlgItem(main_window, 128);
    int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        int n = static_cast<int>(SendMessageW(list, LB_GETTEXTLEN, i, 0));
        std::wstring line(static_cast<size_t>(n) + 1, L'\0');
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line.data()));
        line.resize(static_cast<size_t>(n));
        lines.push_back(utf8_from_wide(line));
    }
    return lines;
}

void type_text(HWND dialog, int id, const std::string& ansi_text)
{
    HWND control = GetDlgItem(dialog, id);
    char name[32] = {};
    GetClassNameA(control, name, sizeof name);
    if (_stricmp(name, "ComboBox") == 0) {
        SendMessageA(control, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        control = FindWindowExA(control, nullptr, "Edit", nullptr);
    }
    SendMessageA(control, EM_SETSEL, 0, -1);
    SendMessageA(control, WM_CHAR, VK_BACK, 0);
    // One character message per character; double-byte characters go as
    // their UTF-16 unit, since a lead byte sent alone is not kept for its
    // trail byte.
    std::wstring wide;
    if (!ansi_text.empty()) {
        int n = MultiByteToWideChar(CP_ACP, 0, ansi_text.c_str(), static_cast<int>(ansi_text.size()), nullptr, 0);
        wide.resize(static_cast<size_t>(n));
        MultiByteToWideChar(CP_ACP, 0, ansi_text.c_str(), static_cast<int>(ansi_text.size()), wide.data(), n);
    }
    for (wchar_t c : wide)
        SendMessageW(control, WM_CHAR, c, 1);
}

void drop_paths(HWND target, const std::vector<std::string>& ansi_paths)
{
    size_t bytes = sizeof(DROPFILES) + 1;
    for (const std::string& path : ansi_paths)
        bytes += path.size() + 1;
    HGLOBAL memory = GlobalAlloc(GHND, bytes);
    ASSERT_NE(memory, nullptr);
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = FALSE;
    char* names = reinterpret_cast<char*>(drop) + sizeof(DROPFILES);
    for (const std::string& path : ansi_paths) {
        std::memcpy(names, path.c_str(), path.size() + 1);
        names += path.size() + 1;
    }
    GlobalUnlock(memory);
    ASSERT_TRUE(PostMessageA(target, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0));
    // The window frees the handle with DragFinish once it has read it.
    pump_for(30);
}

void menu_command(int id)
{
    SendMessageA(main_window, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

void on_next_modal(HWND owner, ModalAction action)
{
    pending.push_back(PendingStep{owner, std::move(action)});
}

void answer_file_dialog(HWND owner, const std::string& ansi_name)
{
    on_next_modal(owner, [ansi_name](HWND dialog) {
        HWND name = file_name_control(dialog);
        if (!name)
            return false;
        SetWindowTextA(name, ansi_name.c_str());
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
        return true;
    });
}

void cancel_file_dialog(HWND owner)
{
    on_next_modal(owner, [](HWND dialog) {
        if (!file_name_control(dialog))
            return false;
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
        return true;
    });
}

void answer_message_box(HWND owner, std::string* text_utf8)
{
    on_next_modal(owner, [text_utf8](HWND dialog) {
        HWND text = GetDlgItem(dialog, 0xFFFF);  // the message text of a message box
        if (!text)
            return false;
        if (text_utf8)
            *text_utf8 = window_text_utf8(text);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
        return true;
    });
}

size_t pending_modal_actions()
{
    return pending.size();
}
void clear_modal_actions()
{
    pending.clear();
}
bool modal_action_timed_out()
{
    return timed_out;
}

long long file_size_of(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::vector<unsigned char> file_bytes(const std::string& path)
{
    std::vector<unsigned char> bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    unsigned char block[65536];
    DWORD got = 0;
    while (ReadFile(file, block, sizeof block, &got, nullptr) && got > 0)
        bytes.insert(bytes.end(), block, block + got);
    CloseHandle(file);
    return bytes;
}

bool file_is_closed(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}
