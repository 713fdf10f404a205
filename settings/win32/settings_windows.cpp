#include "settings/win32/settings_windows.h"

#include <commdlg.h>
#include <shellapi.h>

#include <string>

#include "settings/date_field.h"
#include "resources/resource_ids.h"
#include "settings/dialog_ids.h"
#include "ui/win32/messages.h"

namespace {

HINSTANCE instance_of(HWND dialog)
{
    return reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
}

void preset_date_field(HWND dialog, int date_id, int zone_id)
{
    char date[64] = {};
    char zone[64] = {};
    set_date_field_to_now(date, zone);
    SetDlgItemTextA(dialog, date_id, date);
    SetDlgItemTextA(dialog, zone_id, zone);
}

// Appends the strings first_id, first_id + 1, ... up to the first id without
// a string, then selects `selected`.
void fill_combo(HWND dialog, int combo_id, int first_id, int selected)
{
    HINSTANCE instance = instance_of(dialog);
    for (int id = first_id;; ++id) {
        char text[256] = {};
        if (LoadStringA(instance, id, text, sizeof text) <= 0)
            break;
        SendDlgItemMessageA(dialog, combo_id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
    SendDlgItemMessageA(dialog, combo_id, CB_SETCURSEL, selected, 0);
}

// The close request of every settings window: hide, keep the controls.
bool hide_on_close(HWND dialog, UINT message)
{
    if (message != WM_CLOSE)
        return false;
    ShowWindow(dialog, SW_HIDE);
    return true;
}

}  // namespace

void open_volume_dialog(HWND dialog)
{
    CheckDlgButton(dialog, volume_ids::joliet, BST_CHECKED);
    preset_date_field(dialog, volume_ids::creation_date, volume_ids::creation_zone);
    preset_date_field(dialog, volume_ids::modification_date, volume_ids::modification_zone);
}

void open_boot_dialog(HWND dialog)
{
    fill_combo(dialog, boot_ids::platform, IDS_PLATFORM_80X86, 0);
    fill_combo(dialog, boot_ids::media, IDS_MEDIA_CUSTOM, 2);
    DragAcceptFiles(dialog, TRUE);
}

void open_dir_record_dialog(HWND dialog)
{
    preset_date_field(dialog, dir_record_ids::date, dir_record_ids::zone);
}

void choose_boot_image(HWND dialog)
{
    char path[512] = {};
    OPENFILENAMEA chooser = {};
    chooser.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    chooser.hwndOwner = dialog;
    chooser.lpstrFile = path;
    chooser.nMaxFile = sizeof path;
    chooser.Flags = OFN_FILEMUSTEXIST;
    if (GetOpenFileNameA(&chooser))
        SetDlgItemTextA(dialog, boot_ids::image_path, path);
}

void drop_boot_image(HWND dialog, HDROP drop)
{
    UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        // A name too long for the 512-byte buffer would arrive cut to some
        // other path; the field keeps what it held and the user is told.
        UINT length = DragQueryFileA(drop, i, nullptr, 0);
        if (length >= 512) {
            std::string name(length + 1, '\0');
            DragQueryFileA(drop, i, name.data(), length + 1);
            name.resize(length);
            show_warning(dialog, problem_text({ProblemKind::path_too_long, name, {}}));
            continue;
        }
        char path[512] = {};
        DragQueryFileA(drop, i, path, sizeof path);
        SetDlgItemTextA(dialog, boot_ids::image_path, path);
    }
    DragFinish(drop);
}

INT_PTR CALLBACK volume_dialog_proc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG)
        open_volume_dialog(dialog);
    hide_on_close(dialog, message);
    return FALSE;
}

INT_PTR CALLBACK boot_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: open_boot_dialog(dialog); break;
    case WM_COMMAND:
        if (LOWORD(wparam) == boot_ids::choose_image)
            choose_boot_image(dialog);
        break;
    case WM_DROPFILES: drop_boot_image(dialog, reinterpret_cast<HDROP>(wparam)); break;
    default: hide_on_close(dialog, message); break;
    }
    return FALSE;
}

INT_PTR CALLBACK dir_record_dialog_proc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG)
        open_dir_record_dialog(dialog);
    hide_on_close(dialog, message);
    return FALSE;
}
