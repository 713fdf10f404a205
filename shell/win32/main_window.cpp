#include "shell/win32/main_window.h"

#include <commdlg.h>
#include <shellapi.h>

#include <cstddef>

#include "drivetools/win32/tool_window.h"
#include "mastering/build.h"
#include "shell/build_job.h"
#include "resources/resource_ids.h"
#include "settings/win32/dialog_reader.h"
#include "settings/win32/settings_windows.h"
#include "shell/win32/help_about.h"
#include "shell/win32/message_pump.h"
#include "ui/win32/messages.h"
#include "shell/win32/registration_list.h"

HINSTANCE app_instance = nullptr;
HWND main_window = nullptr;
HWND volume_dialog = nullptr;
HWND boot_dialog = nullptr;
HWND dir_record_dialog = nullptr;
HWND tool_dialog = nullptr;
WindowBuild window_build;

// The file dialogs use the structure as it was before the Windows 2000
// members: 76 bytes in a 32-bit program.
static_assert(offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR) == 76 || sizeof(void*) != 4,
              "OPENFILENAME_SIZE_VERSION_400A");

HWND start_program(HINSTANCE instance)
{
    app_instance = instance;
    main_window = CreateDialogParamA(instance, "MAIN", nullptr, main_window_proc, 0);
    return main_window;
}

void init_main_window(HWND window)
{
    main_window = window;
    HICON icon = LoadIconA(app_instance, "ICON");
    SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    // The template is system-modal, which makes it topmost; the main window is
    // an ordinary top-level window.
    SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    RECT client;
    GetClientRect(window, &client);
    layout_main_window(window, client.right - client.left, client.bottom - client.top);
    refresh_estimate(window);

    volume_dialog = CreateDialogParamA(app_instance, "PVDSVD", window, volume_dialog_proc, 0);
    boot_dialog = CreateDialogParamA(app_instance, "BRBC", window, boot_dialog_proc, 0);
    dir_record_dialog = CreateDialogParamA(app_instance, "DR", window, dir_record_dialog_proc, 0);
    tool_dialog = CreateDialogParamA(app_instance, "TOOL", window, tool_dialog_proc, 0);

    window_build.show = show_build_progress;
    set_tool_message_pump(pump_messages);
    DragAcceptFiles(window, TRUE);
}

void layout_main_window(HWND window, int width, int height)
{
    const int status_height = 16;
    int list_height = height > status_height ? height - status_height : 0;
    MoveWindow(GetDlgItem(window, IDC_MAIN_LIST), 0, 0, width, list_height, TRUE);
    MoveWindow(GetDlgItem(window, IDC_MAIN_STATUS), 0, height - status_height, width, status_height, TRUE);
}

static void show_settings_window(HWND dialog)
{
    if (!dialog)
        return;
    ShowWindow(dialog, SW_SHOW);
    SetActiveWindow(dialog);
}

void create_command(HWND window, OutputSectors form)
{
    // The entry table and the output file of a build are single; a second
    // build started from inside the running one's message pump would pull
    // them away under it.
    if (window_build.running) {
        MessageBeep(MB_ICONEXCLAMATION);
        return;
    }
    window_build.abort = false;

    char path[512] = {};
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.hwndOwner = window;
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof path;
    if (!GetSaveFileNameA(&dialog))
        return;

    window_build.form = form;
    // The build writes under a temporary name beside the chosen file and
    // puts the image in place only once it is complete: a stopped or failed
    // build, or a damaged one where an older file stands, leaves that file
    // as it was.
    BuildRequest request;
    request.lines = list_line_source(window);
    request.volume = dialog_reader(volume_dialog);
    request.boot = dialog_reader(boot_dialog);
    request.dir_record = dialog_reader(dir_record_dialog);
    request.output = path;
    request.raw = form == OutputSectors::raw;
    BuildHooks hooks;
    hooks.job.pump = pump_messages;
    hooks.job.stop_requested = [] { return window_build.abort; };
    hooks.status = [](const BuildProgress& progress) {
        window_build.progress = progress;
        if (window_build.show)
            window_build.show();
    };
    window_build.running = true;
    BuildJobOutcome job = run_build_job(request, hooks);
    window_build.running = false;
    BuildOutcome& outcome = job.build;
    if (!job.commit_failure.empty())
        outcome.problems.push_back({ProblemKind::write_failed, path, job.commit_failure});
    // The window may have been closed while the build ran; the program is
    // then on its way out and nobody is left to tell.
    if (!IsWindow(window))
        return;
    std::wstring report = build_report(outcome, path);
    if (!report.empty())
        show_warning(window, report);
    refresh_estimate(window);
}

void run_menu_command(HWND window, int id)
{
    switch (id) {
    case CMD_REGISTER_FILE: register_file_command(window); break;
    case CMD_REGISTER_DIRECTORY: register_directory_command(window); break;
    case CMD_CREATE_ISO: create_command(window, OutputSectors::plain); break;
    case CMD_CREATE_RAW_ISO: create_command(window, OutputSectors::raw); break;
    case CMD_ABORT: window_build.abort = true; break;
    case CMD_EXIT: SendMessageA(window, WM_CLOSE, 0, 0); break;
    case CMD_DELETE: delete_command(window); break;
    case CMD_CLEAR: clear_command(window); break;
    case CMD_SHOW_VOLUME: show_settings_window(volume_dialog); break;
    case CMD_SHOW_BOOT: show_settings_window(boot_dialog); break;
    case CMD_SHOW_DIR_RECORD: show_settings_window(dir_record_dialog); break;
    case CMD_SHOW_TOOL: show_settings_window(tool_dialog); break;
    case CMD_HELP: run_help_window(window); break;
    case CMD_ABOUT: run_about_window(window); break;
    default: break;
    }
}

INT_PTR CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_INITDIALOG: init_main_window(window); break;
    case WM_SIZE: layout_main_window(window, LOWORD(lparam), HIWORD(lparam)); break;
    case WM_CLOSE:
        // A build or a drive operation running underneath stops at its next
        // test point; its output keeps what was written and is closed.
        window_build.abort = true;
        tool_stop_requested = 1;
        DestroyWindow(window);
        return TRUE;
    case WM_DESTROY:
        if (window == main_window) {
            main_window = nullptr;
            volume_dialog = boot_dialog = dir_record_dialog = tool_dialog = nullptr;
        }
        PostQuitMessage(0);
        break;
    case WM_COMMAND: {
        int id = LOWORD(wparam);
        if (id >= CMD_FIRST && id <= CMD_LAST)
            run_menu_command(window, id);
        break;
    }
    case WM_DROPFILES: drop_on_main_window(window, reinterpret_cast<HDROP>(wparam)); break;
    case WM_MEASUREITEM:
        if (wparam == IDC_MAIN_LIST) {
            measure_list_line(window, reinterpret_cast<MEASUREITEMSTRUCT*>(lparam));
            return TRUE;
        }
        break;
    case WM_DRAWITEM:
        if (wparam == IDC_MAIN_LIST) {
            draw_list_line(reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
            return TRUE;
        }
        break;
    default: break;
    }
    return FALSE;
}

int run_message_loop()
{
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (settings_dialog_message(message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
