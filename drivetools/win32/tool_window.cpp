#include "drivetools/win32/tool_window.h"

#include <commdlg.h>
#include <shellapi.h>

#include <cstring>
#include <string>

#include "drivetools/drive_access.h"
#include "drivetools/drive_tools.h"
#include "sector/convert.h"
#include "settings/date_field.h"
#include "ui/win32/messages.h"

namespace {

using drivetools::Language;

const int drive_count = 26;
const int default_disk_drive = 0;  // A:
const int default_cd_drive = 16;   // Q:

const platform::DeviceBackend* chosen_backend = nullptr;
void (*tool_pump)() = nullptr;

JobHooks copy_hooks()
{
    JobHooks hooks;
    if (tool_pump)
        hooks.pump = tool_pump;
    hooks.stop_requested = [] { return tool_stop_requested != 0; };
    return hooks;
}

const platform::DeviceBackend& backend()
{
    return chosen_backend ? *chosen_backend : platform::system_device_backend();
}

void set_output(HWND dialog, const std::wstring& text)
{
    SetDlgItemTextW(dialog, tool_ids::output, text.c_str());
}

void set_output_utf8(HWND dialog, const std::string& text)
{
    set_output(dialog, from_utf8(text.c_str()));
}

// The copy loops' progress ("16", "256/332745") and their closing empty text.
void show_progress(void* context, const char* text)
{
    SetDlgItemTextA(static_cast<HWND>(context), tool_ids::output, text);
}

// The drive path of a drive list: "\\.\X:" with X the selected letter. A list
// without selection (its edit field typed over) is read by its text, "X" or
// "X:"; any other text names no drive and gives false.
bool selected_drive(HWND dialog, int list_id, char (&path)[7])
{
    LRESULT index = SendDlgItemMessageA(dialog, list_id, CB_GETCURSEL, 0, 0);
    if (index >= 0 && index < drive_count) {
        drivetools::drive_path_for_selection(static_cast<int>(index), path);
        return true;
    }
    char text[256] = {};
    GetDlgItemTextA(dialog, list_id, text, sizeof text);
    char letter = text[0];
    if (letter >= 'a' && letter <= 'z')
        letter = static_cast<char>(letter - 'a' + 'A');
    if (letter < 'A' || letter > 'Z' || !(text[1] == 0 || (text[1] == ':' && text[2] == 0)))
        return false;
    drivetools::drive_path_for_selection(letter - 'A', path);
    return true;
}

bool drive_or_say_so(HWND dialog, int list_id, char (&path)[7])
{
    if (selected_drive(dialog, list_id, path))
        return true;
    set_output_utf8(dialog, "ドライブを A: から Z: の中から選んでください");
    return false;
}

// The system's save-file dialog as the image commands use it: a 512-byte name
// buffer starting empty, no filter, title, flags or default extension.
bool choose_output(HWND dialog, char (&path)[512])
{
    path[0] = 0;
    OPENFILENAMEA chooser = {};
    chooser.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    chooser.hwndOwner = dialog;
    chooser.lpstrFile = path;
    chooser.nMaxFile = sizeof path;
    return GetSaveFileNameA(&chooser) != FALSE;
}

int32_t sector_box(HWND dialog, int id)
{
    char text[512] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text_to_integer(text);
}

const char* conversion_text(ConversionResult result)
{
    switch (result) {
    case ConversionResult::raw_to_plain: return "2352バイトのセクタを2048バイトのセクタに変換しました";
    case ConversionResult::plain_to_raw: return "2048バイトのセクタを2352バイトのセクタに変換しました";
    case ConversionResult::unknown_form:
        return "変換しませんでした (2048バイトセクタのイメージでも2352バイトセクタのイメージでも"
               "ありません)";
    case ConversionResult::too_short: return "変換しませんでした (1セクタに満たないファイルです)";
    case ConversionResult::cannot_open_input: return "変換しませんでした (ファイルを開けません)";
    case ConversionResult::cannot_create_output: return "変換しませんでした (出力ファイルを作成できません)";
    case ConversionResult::output_name_too_long: return "変換しませんでした (出力ファイル名が長すぎます)";
    case ConversionResult::read_failed:
        return "変換を中止しました (ファイルを読み取れません)。出力ファイルは不完全です";
    case ConversionResult::write_failed:
        return "変換を中止しました (出力ファイルに書き込めません)。出力ファイルは不完全です";
    case ConversionResult::output_is_input: return "変換しませんでした (出力ファイルが入力ファイルと同じになります)";
    case ConversionResult::stopped: return "変換を中止しました。出力ファイルは不完全です";
    }
    return "変換しませんでした";
}

bool converted(ConversionResult result)
{
    return result == ConversionResult::raw_to_plain || result == ConversionResult::plain_to_raw;
}

}  // namespace

int32_t tool_stop_requested = 0;

void set_tool_message_pump(void (*pump)())
{
    tool_pump = pump;
}

void set_tool_device_backend(const platform::DeviceBackend* backend)
{
    chosen_backend = backend;
}

void init_tool_dialog(HWND dialog)
{
    char name[256] = "A:";
    for (int i = 0; i < drive_count; ++i) {
        SendDlgItemMessageA(dialog, tool_ids::disk_drive, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
        SendDlgItemMessageA(dialog, tool_ids::cd_drive, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
        ++name[0];
    }
    SendDlgItemMessageA(dialog, tool_ids::disk_drive, CB_SETCURSEL, default_disk_drive, 0);
    SendDlgItemMessageA(dialog, tool_ids::cd_drive, CB_SETCURSEL, default_cd_drive, 0);
    DragAcceptFiles(dialog, TRUE);
}

void make_disk_image(HWND dialog)
{
    char path[512];
    if (!choose_output(dialog, path))
        return;
    char device[7];
    if (!drive_or_say_so(dialog, tool_ids::disk_drive, device))
        return;
    tool_stop_requested = 0;
    drivetools::ProgressDisplay progress{show_progress, dialog};
    drivetools::DiskImageResult result = drivetools::create_disk_image(backend(), device, path, progress, copy_hooks());
    set_output_utf8(dialog, drivetools::output_text(result, Language::japanese));
}

void make_cd_image(HWND dialog)
{
    char device[7];
    if (!drive_or_say_so(dialog, tool_ids::cd_drive, device))
        return;
    int32_t first = sector_box(dialog, tool_ids::first_sector);
    int32_t last = sector_box(dialog, tool_ids::last_sector);
    // A range that runs backwards would count down from about four thousand
    // million sectors; it is refused before anything is asked or written.
    if (!drivetools::cd_range_acceptable(first, last)) {
        drivetools::CdImageResult refused;
        refused.status = drivetools::ToolStatus::refused_range;
        refused.first = first;
        refused.last = last;
        set_output_utf8(dialog, drivetools::output_text(refused, Language::japanese));
        return;
    }
    char path[512];
    if (!choose_output(dialog, path))
        return;
    tool_stop_requested = 0;
    drivetools::ProgressDisplay progress{show_progress, dialog};
    drivetools::CdImageResult result =
        drivetools::create_cd_image(backend(), device, path, first, last, progress, copy_hooks());
    std::string text = drivetools::output_text(result, Language::japanese);
    // A dump that reached its end gets its cue sheet beside it (an empty one
    // has no track to list). The box stays empty when all went well.
    if (result.status == drivetools::ToolStatus::done && result.sectors > 0) {
        drivetools::DumpCueResult cue = drivetools::make_dump_cue_sheet(backend(), device, path, first, last);
        if (cue.status == drivetools::ToolStatus::done)
            drivetools::save_dump_cue_sheet(cue);
        std::string said = drivetools::output_text(cue, Language::japanese);
        if (!said.empty())
            text += (text.empty() ? "" : "\r\n") + said;
    }
    set_output_utf8(dialog, text);
}

void show_toc(HWND dialog)
{
    char device[7];
    if (!drive_or_say_so(dialog, tool_ids::cd_drive, device))
        return;
    drivetools::TocQuery toc = drivetools::query_toc(backend(), device);
    set_output_utf8(dialog, drivetools::output_text(toc, Language::japanese));
    // Only a TOC that was read gives a range; after a failure the boxes keep
    // what they held.
    if (toc.status != drivetools::ToolStatus::done)
        return;
    char number[16];
    wsprintfA(number, "%d", static_cast<int>(toc.cue.first_sector));
    SetDlgItemTextA(dialog, tool_ids::first_sector, number);
    wsprintfA(number, "%d", static_cast<int>(toc.cue.last_sector));
    SetDlgItemTextA(dialog, tool_ids::last_sector, number);
}

void show_drive_identification(HWND dialog)
{
    char device[7];
    if (!drive_or_say_so(dialog, tool_ids::cd_drive, device))
        return;
    drivetools::DriveIdentification id = drivetools::query_drive_identification(backend(), device);
    set_output_utf8(dialog, drivetools::output_text(id, Language::japanese));
}

void convert_dropped_files(HWND dialog, HDROP drop)
{
    // One line per file, in the order of the drop; a file that fails does
    // not keep the others from being converted. The lines go after what the
    // box holds (a cue sheet the user may have edited stays).
    std::wstring report;
    HWND box = GetDlgItem(dialog, tool_ids::output);
    int held = GetWindowTextLengthW(box);
    if (held > 0) {
        report.resize(static_cast<size_t>(held) + 1);
        report.resize(static_cast<size_t>(GetWindowTextW(box, report.data(), held + 1)));
        if (report.size() < 2 || report.compare(report.size() - 2, 2, L"\r\n") != 0)
            report += L"\r\n";
    }
    UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        UINT length = DragQueryFileA(drop, i, nullptr, 0);
        if (length >= converted_name_capacity) {
            wchar_t wide[32768] = {};
            DragQueryFileW(drop, i, wide, 32768);
            report += wide;
            report += L": " + from_utf8(conversion_text(ConversionResult::output_name_too_long));
            report += L"\r\n";
            continue;
        }
        char input[converted_name_capacity] = {};
        DragQueryFileA(drop, i, input, sizeof input);
        char output[converted_name_capacity] = {};
        ConversionResult result =
            make_converted_name(input, output) ? convert_image(input, output) : ConversionResult::output_name_too_long;
        report += from_ansi(input);
        if (converted(result))
            report += L" \u2192 " + from_ansi(output);
        report += L": " + from_utf8(conversion_text(result)) + L"\r\n";
        // Show the lines so far while the next file converts.
        set_output(dialog, report);
        UpdateWindow(GetDlgItem(dialog, tool_ids::output));
    }
    DragFinish(drop);
    set_output(dialog, report);
}

INT_PTR CALLBACK tool_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM)
{
    // Every message is left to the system's dialog handling as well, the
    // opening one included, so no control takes the focus by default.
    switch (message) {
    case WM_INITDIALOG: init_tool_dialog(dialog); break;
    case WM_CLOSE:
        tool_stop_requested = 1;
        ShowWindow(dialog, SW_HIDE);
        break;
    case WM_COMMAND:
        // Told apart by the control alone; list and edit notifications start
        // nothing since their ids are not among these.
        switch (LOWORD(wparam)) {
        case tool_ids::disk_create: make_disk_image(dialog); break;
        case tool_ids::cd_create: make_cd_image(dialog); break;
        case tool_ids::get_toc: show_toc(dialog); break;
        case tool_ids::get_drive_id: show_drive_identification(dialog); break;
        default: break;
        }
        break;
    case WM_DROPFILES: convert_dropped_files(dialog, reinterpret_cast<HDROP>(wparam)); break;
    default: break;
    }
    return FALSE;
}
