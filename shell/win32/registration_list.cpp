#include "shell/win32/registration_list.h"

#include <commdlg.h>
#include <shellapi.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "resources/resource_ids.h"
#include "shell/registration.h"
#include "shell/win32/main_window.h"
#include "ui/win32/messages.h"

namespace {

HWND list_of(HWND window)
{
    return GetDlgItem(window, IDC_MAIN_LIST);
}

int list_count(const void* context)
{
    LRESULT n = SendMessageA(list_of(static_cast<HWND>(const_cast<void*>(context))), LB_GETCOUNT, 0, 0);
    return n == LB_ERR ? 0 : static_cast<int>(n);
}

void list_get(const void* context, int index, char* buffer, size_t capacity)
{
    if (capacity == 0)
        return;
    buffer[0] = 0;
    HWND list = list_of(static_cast<HWND>(const_cast<void*>(context)));
    LRESULT length = SendMessageA(list, LB_GETTEXTLEN, index, 0);
    if (length == LB_ERR)
        return;
    // LB_GETTEXT knows no capacity: fetch into a buffer of the line's size
    // and hand over no more than the caller holds.
    std::vector<char> line(static_cast<size_t>(length) + 1, 0);
    if (SendMessageA(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(line.data())) == LB_ERR)
        return;
    size_t n = std::strlen(line.data());
    if (n > capacity - 1)
        n = capacity - 1;
    std::memcpy(buffer, line.data(), n);
    buffer[n] = 0;
}

void add_one(HWND window, const char* path, std::wstring& refusals)
{
    char line[line_capacity];
    Measurement measurement;
    if (!add_registration(path, line, measurement)) {
        BuildProblem problem{measurement.problem, measurement.problem_path.empty() ? path : measurement.problem_path,
                             ""};
        refusals += from_utf8("登録できません: ") + from_ansi(path) + L"\r\n  " + problem_text(problem) + L"\r\n";
        return;
    }
    SendMessageA(list_of(window), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
}

bool open_file_dialog(HWND owner, DWORD flags, char* path, size_t capacity)
{
    path[0] = 0;
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.hwndOwner = owner;
    dialog.lpstrFile = path;
    dialog.nMaxFile = static_cast<DWORD>(capacity);
    dialog.Flags = flags;
    return GetOpenFileNameA(&dialog) != FALSE;
}

}  // namespace

LineSource list_line_source(HWND window)
{
    LineSource source;
    source.context = window;
    source.count = list_count;
    source.get = list_get;
    return source;
}

bool is_drive_root(const char* path)
{
    unsigned char letter = static_cast<unsigned char>(path[0]);
    bool is_letter = (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
    if (!is_letter || path[1] != ':')
        return false;
    return path[2] == 0 || (path[2] == '\\' && path[3] == 0);
}

bool cut_at_last_backslash(char* path)
{
    char* last = nullptr;
    for (char* p = path; *p; p = const_cast<char*>(platform::char_next(p)))
        if (*p == '\\')
            last = p;
    if (!last)
        return false;
    *last = 0;
    return true;
}

void register_path(HWND window, const char* path, std::wstring& refusals)
{
    if (!is_drive_root(path)) {
        add_one(window, path, refusals);
        return;
    }
    // A drive root has no name of its own on the disc: its top-level items
    // are registered one line each, as if each had been dropped.
    char root[4] = {path[0], ':', '\\', 0};
    std::vector<std::string> items;
    // A root that cannot be listed registers nothing.
    (void)list_root_items(root, items);
    for (const std::string& item : items) {
        if (item.size() >= line_capacity) {
            BuildProblem problem{ProblemKind::path_too_long, item, ""};
            refusals +=
                from_utf8("登録できません: ") + from_ansi(item.c_str()) + L"\r\n  " + problem_text(problem) + L"\r\n";
            continue;
        }
        add_one(window, item.c_str(), refusals);
    }
}

void report_refusals(HWND window, const std::wstring& refusals)
{
    if (!refusals.empty())
        show_warning(window, refusals);
}

void register_file_command(HWND window)
{
    char path[512];
    if (!open_file_dialog(window, OFN_FILEMUSTEXIST, path, sizeof path))
        return;
    std::wstring refusals;
    register_path(window, path, refusals);
    report_refusals(window, refusals);
    refresh_estimate(window);
}

void register_directory_command(HWND window)
{
    // There is no folder chooser: the user opens the folder in the file
    // dialog and picks or types any name in it; the folder is what remains
    // after the last backslash is cut.
    char path[512];
    if (!open_file_dialog(window, 0, path, sizeof path))
        return;
    cut_at_last_backslash(path);
    std::wstring refusals;
    register_path(window, path, refusals);
    report_refusals(window, refusals);
    refresh_estimate(window);
}

void drop_on_main_window(HWND window, HDROP drop)
{
    UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    std::wstring refusals;
    for (UINT i = 0; i < count; ++i) {
        UINT length = DragQueryFileA(drop, i, nullptr, 0);
        if (length >= line_capacity) {
            // Fetching it into the 512-byte buffer would cut it to another path.
            std::vector<char> name(length + 1, 0);
            DragQueryFileA(drop, i, name.data(), length + 1);
            BuildProblem problem{ProblemKind::path_too_long, name.data(), ""};
            refusals +=
                from_utf8("登録できません: ") + from_ansi(name.data()) + L"\r\n  " + problem_text(problem) + L"\r\n";
            continue;
        }
        char path[512] = {};
        DragQueryFileA(drop, i, path, sizeof path);
        register_path(window, path, refusals);
    }
    DragFinish(drop);
    report_refusals(window, refusals);
    refresh_estimate(window);
}

void delete_command(HWND window)
{
    LRESULT selected = SendMessageA(list_of(window), LB_GETCURSEL, 0, 0);
    if (selected != LB_ERR)
        SendMessageA(list_of(window), LB_DELETESTRING, selected, 0);
    refresh_estimate(window);
}

void clear_command(HWND window)
{
    for (int i = list_count(window) - 1; i >= 0; --i)
        SendMessageA(list_of(window), LB_DELETESTRING, i, 0);
    refresh_estimate(window);
}

void measure_list_line(HWND window, MEASUREITEMSTRUCT* item)
{
    HDC dc = GetDC(window);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(window, WM_GETFONT, 0, 0)));
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    item->itemHeight = static_cast<UINT>(metrics.tmHeight + 2);
}

void draw_list_line(const DRAWITEMSTRUCT* item)
{
    HDC dc = item->hDC;
    RECT area = item->rcItem;
    bool selected = (item->itemState & ODS_SELECTED) != 0;
    if (item->itemID != static_cast<UINT>(-1)) {
        FillRect(dc, &area, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
        LRESULT length = SendMessageA(item->hwndItem, LB_GETTEXTLEN, item->itemID, 0);
        if (length != LB_ERR) {
            std::vector<char> line(static_cast<size_t>(length) + 1, 0);
            SendMessageA(item->hwndItem, LB_GETTEXT, item->itemID, reinterpret_cast<LPARAM>(line.data()));
            // 0x09 is never a trail byte in the double-byte code pages.
            for (char& c : line)
                if (c == '\t')
                    c = ' ';
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
            RECT text = area;
            text.left += 2;
            DrawTextA(dc, line.data(), -1, &text, DT_SINGLELINE | DT_NOPREFIX | DT_VCENTER);
        }
    }
    if (item->itemState & ODS_FOCUS)
        DrawFocusRect(dc, &area);
}

void refresh_estimate(HWND window)
{
    int32_t total = estimate_sectors(list_line_source(window));
    char format[256] = {};
    LoadStringA(app_instance, IDS_ESTIMATE, format, sizeof format);
    char text[512];
    wsprintfA(text, format, static_cast<int>(total / 512), static_cast<int>(total));
    SetDlgItemTextA(window, IDC_MAIN_STATUS, text);
}

void show_build_progress()
{
    if (!main_window)
        return;
    const BuildProgress& build_progress = window_build.progress;
    char format[256] = {};
    LoadStringA(app_instance, IDS_ESTIMATE + build_progress.stage, format, sizeof format);
    char text[512];
    if (build_progress.stage == 4)
        wsprintfA(text, format, static_cast<int>(build_progress.counter),
                  static_cast<unsigned>(build_progress.sectors_written),
                  static_cast<unsigned>(build_progress.total_sectors));
    else
        wsprintfA(text, format, static_cast<int>(build_progress.counter));
    SetDlgItemTextA(main_window, IDC_MAIN_STATUS, text);
}
