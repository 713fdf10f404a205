// Not a test of its own: with TW_SHOTS_DIR set (by tests/wine/screenshots.sh)
// it arranges each window as a user would see it and waits while the script
// takes its picture. "<name>.ready" holds the window rectangle; the script
// answers with "<name>.done".
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "gui_harness.h"
#include "resources/resource_ids.h"
#include "settings/dialog_ids.h"
#include "shell/win32/help_about.h"
#include "shell/win32/main_window.h"

namespace {

std::string shots_dir;

bool exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Announces the window and pumps until the picture is taken.
void shoot(HWND window, const char* name)
{
    pump_for(300);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    pump_for(200);
    RECT r;
    GetWindowRect(window, &r);
    std::string ready = shots_dir + "\\" + name + ".ready";
    std::string done = shots_dir + "\\" + name + ".done";
    std::string temp = ready + ".tmp";
    HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    char text[64];
    int n = wsprintfA(text, "%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    DWORD written = 0;
    WriteFile(file, text, n, &written, nullptr);
    CloseHandle(file);
    MoveFileA(temp.c_str(), ready.c_str());
    for (int waited = 0; !exists(done) && waited < 600; ++waited)
        pump_for(50);
    EXPECT_TRUE(exists(done)) << name;
}

// Opens Help or About through the menu and shoots it while it is open.
void shoot_modal(int command, const char* name)
{
    on_next_modal(main_window, [name](HWND dialog) {
        shoot(dialog, name);
        PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    });
    menu_command(command);
}

INT_PTR CALLBACK plain_dialog_proc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message == WM_CLOSE)
        ShowWindow(dialog, SW_HIDE);
    return FALSE;
}

TEST(Screenshots, EveryWindow)
{
    const char* dir = std::getenv("TW_SHOTS_DIR");
    if (!dir)
        GTEST_SKIP() << "run by screenshots.sh";
    shots_dir = dir;

    TempTree tree;
    open_program();
    tree.folder(ansi_from_utf8("写真"));
    tree.file_of_size(ansi_from_utf8("写真\\2003年12月.jpg"), 150000);
    tree.file_of_size(ansi_from_utf8("写真\\表紙.png"), 40000);
    std::string readme = tree.file_of_size("readme.txt", 1200);
    std::string data = tree.file_of_size(ansi_from_utf8("データ.bin"), 3 << 20);
    drop_paths(main_window, {tree.path(ansi_from_utf8("写真")), readme, data});
    SetWindowPos(main_window, nullptr, 24, 24, 560, 300, SWP_NOZORDER);
    shoot(main_window, "main");

    type_text(volume_dialog, volume_ids::system_primary, "TARNWICK");
    type_text(volume_dialog, volume_ids::system_joliet, "TARNWICK");
    type_text(volume_dialog, volume_ids::volume_primary, "PHOTOS_2003");
    type_text(volume_dialog, volume_ids::volume_joliet, ansi_from_utf8("写真 2003"));
    menu_command(CMD_SHOW_VOLUME);
    shoot(volume_dialog, "volume");
    SendMessageA(volume_dialog, WM_CLOSE, 0, 0);

    SendDlgItemMessageA(boot_dialog, boot_ids::enabled, BM_CLICK, 0, 0);
    drop_paths(boot_dialog, {tree.file_of_size("boot144.img", 1474560)});
    menu_command(CMD_SHOW_BOOT);
    shoot(boot_dialog, "boot");
    SendMessageA(boot_dialog, WM_CLOSE, 0, 0);

    menu_command(CMD_SHOW_DIR_RECORD);
    shoot(dir_record_dialog, "dir-record");
    SendMessageA(dir_record_dialog, WM_CLOSE, 0, 0);

    // The template of the Tool window, shown with a stand-in procedure.
    HWND tool = CreateDialogParamA(GetModuleHandleA(nullptr), "TOOL", main_window, plain_dialog_proc, 0);
    ASSERT_NE(tool, nullptr);
    ShowWindow(tool, SW_SHOW);
    shoot(tool, "tool-template");
    DestroyWindow(tool);

    help_open_count = 2;
    about_open_count = 2;
    shoot_modal(CMD_HELP, "help");
    shoot_modal(CMD_HELP, "help-picture");
    shoot_modal(CMD_ABOUT, "about");
    shoot_modal(CMD_ABOUT, "about-picture");
    EXPECT_EQ(pending_modal_actions(), 0u);
    close_program();
}

}  // namespace
