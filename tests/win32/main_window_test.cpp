// The main window: the estimate in the status line, the registration
// commands through the real file dialogs and drops, delete and clear, refused
// registrations, drive roots, the layout and the menu.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui_harness.h"
#include "resources/resource_ids.h"
#include "shell/win32/main_window.h"
#include "shell/win32/registration_list.h"

namespace {

std::string estimate_text(int megabytes, int sectors)
{
    // Appended piece by piece: GCC 12 at -O3 takes `literal + std::string&&`
    // (an insert at the front) for an overlapping copy and warns.
    std::string text = "予想容量 ";
    text += std::to_string(megabytes);
    text += "メガ(";
    text += std::to_string(sectors);
    text += "セクタ)";
    return text;
}

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override { open_program(); }
    void TearDown() override
    {
        EXPECT_EQ(pending_modal_actions(), 0u) << "a modal window that was expected never came";
        EXPECT_FALSE(modal_action_timed_out());
        close_program();
    }
    TempTree tree;
};

TEST_F(MainWindow, FreshStartShowsEmptyListAndEstimateOf746Sectors)
{
    EXPECT_TRUE(list_lines_utf8().empty());
    EXPECT_EQ(status_text(), estimate_text(1, 746));
}

// Lines, each registered item's line and the estimate after each step.
TEST_F(MainWindow, RegisterDeleteAndClearKeepTheEstimateInStep)
{
    std::string file = tree.file_of_size("five.dat", 5000);  // 3 sectors
    tree.folder("box");
    tree.file_of_size("box\\inner.dat", 5000);  // folder: 2 + 3 sectors, 2 entries

    answer_file_dialog(main_window, file);
    menu_command(CMD_REGISTER_FILE);
    ASSERT_EQ(list_lines_utf8().size(), 1u);
    EXPECT_EQ(list_lines_utf8()[0], "five.dat\t    1\t    3\t    " + file);
    EXPECT_EQ(status_text(), estimate_text(1, 749));

    // The folder command: pick any name inside the folder, even one that
    // does not exist; the folder is what is registered.
    answer_file_dialog(main_window, tree.path("box\\no-such-name"));
    menu_command(CMD_REGISTER_DIRECTORY);
    std::vector<std::string> lines = list_lines_utf8();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "box\t    2\t    5\t    " + tree.path("box"));
    EXPECT_EQ(status_text(), estimate_text(1, 754));

    // Delete removes the selected line only.
    SendDlgItemMessageA(main_window, IDC_MAIN_LIST, LB_SETCURSEL, 0, 0);
    menu_command(CMD_DELETE);
    lines = list_lines_utf8();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(0, 9), "five.dat\t");
    EXPECT_EQ(status_text(), estimate_text(1, 749));

    // Delete without a selection changes nothing.
    SendDlgItemMessageA(main_window, IDC_MAIN_LIST, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    menu_command(CMD_DELETE);
    EXPECT_EQ(list_lines_utf8().size(), 1u);

    menu_command(CMD_CLEAR);
    EXPECT_TRUE(list_lines_utf8().empty());
    EXPECT_EQ(status_text(), estimate_text(1, 746));
}

TEST_F(MainWindow, CancelledFileDialogsRegisterNothing)
{
    cancel_file_dialog(main_window);
    menu_command(CMD_REGISTER_FILE);
    cancel_file_dialog(main_window);
    menu_command(CMD_REGISTER_DIRECTORY);
    EXPECT_TRUE(list_lines_utf8().empty());
    EXPECT_EQ(status_text(), estimate_text(1, 746));
}

TEST_F(MainWindow, DroppedItemsAreSortedByDisplayNameAndCountedTwiceWhenDroppedTwice)
{
    std::string c = tree.file_of_size("charlie.bin", 2049);  // 2 sectors
    std::string a = tree.file_of_size("alpha.bin", 1);       // 1 sector
    std::string b = tree.folder("bravo");                    // 2 sectors
    drop_paths(main_window, {c, a, b});
    std::vector<std::string> lines = list_lines_utf8();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].substr(0, 6), "alpha.");
    EXPECT_EQ(lines[1].substr(0, 6), "bravo\t");
    EXPECT_EQ(lines[2].substr(0, 8), "charlie.");
    EXPECT_EQ(status_text(), estimate_text(1, 751));

    drop_paths(main_window, {a});
    EXPECT_EQ(list_lines_utf8().size(), 4u);
    EXPECT_EQ(status_text(), estimate_text(1, 752));
}

TEST_F(MainWindow, EstimateCountsWholeMegabytesOf512Sectors)
{
    // 746 + 278 = 1024 sectors: 2 megabytes.
    drop_paths(main_window, {tree.file_of_size("big.bin", 278 * 2048)});
    EXPECT_EQ(status_text(), estimate_text(2, 1024));
}

TEST_F(MainWindow, DoubleByteNameKeepsItsWholeLastComponent)
{
    if (GetACP() != 932)
        GTEST_SKIP() << "needs the ANSI code page 932";
    // 表 is 0x95 0x5C in code page 932: its trail byte is the backslash code.
    std::string name = ansi_from_utf8("表示.txt");
    ASSERT_EQ(static_cast<unsigned char>(name[1]), 0x5C);
    std::string path = tree.file_of_size(name, 10);
    drop_paths(main_window, {path});
    std::vector<std::string> lines = list_lines_utf8();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "表示.txt\t    1\t    1\t    " + utf8_from_ansi(path));
}

TEST_F(MainWindow, RefusedRegistrationIsToldAndAddsNoLine)
{
    // A 300-character name in a 316-character path: the line would pass 511
    // characters.
    std::string path = tree.root + "\\" + std::string(300, 'n');
    std::string said;
    answer_message_box(main_window, &said);
    drop_paths(main_window, {path, tree.file_of_size("kept.txt", 1)});
    pump_for(200);
    EXPECT_NE(said.find("登録できません"), std::string::npos) << said;
    std::vector<std::string> lines = list_lines_utf8();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(0, 9), "kept.txt\t");
    EXPECT_EQ(status_text(), estimate_text(1, 747));
}

TEST_F(MainWindow, DropLongerThanTheNameBufferIsRefusedNotCut)
{
    std::string path =
        tree.root + "\\" + std::string(200, 'd') + "\\" + std::string(200, 'e') + "\\" + std::string(200, 'f');
    std::string said;
    answer_message_box(main_window, &said);
    drop_paths(main_window, {path});
    pump_for(200);
    EXPECT_NE(said.find("登録できません"), std::string::npos);
    EXPECT_TRUE(list_lines_utf8().empty());
}

// Drive T: is mapped by the test runner to a scratch folder.
TEST_F(MainWindow, DriveRootRegistersEachTopLevelItem)
{
    if (GetFileAttributesA("T:\\") == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "drive T: is not mapped";
    CreateDirectoryA("T:\\folder", nullptr);
    HANDLE file = CreateFileA("T:\\top.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);

    struct Case {
        const char* how;
        bool through_menu;
        const char* path;
    };
    const Case cases[] = {
        {"dropped with backslash", false, "T:\\"},
        {"dropped bare", false, "T:"},
        {"file dialog in the root", true, "T:\\any-name"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        menu_command(CMD_CLEAR);
        if (c.through_menu) {
            answer_file_dialog(main_window, c.path);
            menu_command(CMD_REGISTER_DIRECTORY);
        } else {
            drop_paths(main_window, {c.path});
        }
        std::vector<std::string> lines = list_lines_utf8();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], "folder\t    1\t    2\t    T:\\folder");
        EXPECT_EQ(lines[1], "top.txt\t    1\t    0\t    T:\\top.txt");
    }
    DeleteFileA("T:\\top.txt");
    RemoveDirectoryA("T:\\folder");
}

TEST_F(MainWindow, MainWindowIsNotTopmostButSettingsWindowsAre)
{
    EXPECT_FALSE(GetWindowLongA(main_window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    for (HWND dialog : {volume_dialog, boot_dialog, dir_record_dialog}) {
        ASSERT_NE(dialog, nullptr);
        // Windows puts a system-modal template in the topmost band; Wine keeps
        // only the style.
        EXPECT_TRUE((GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST) ||
                    (GetWindowLongA(dialog, GWL_STYLE) & DS_SYSMODAL));
        EXPECT_FALSE(IsWindowVisible(dialog));
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), main_window);
    }
}

TEST_F(MainWindow, ExitCommandEndsLikeTheCloseBox)
{
    HWND window = main_window;
    menu_command(CMD_EXIT);
    EXPECT_FALSE(IsWindow(window));
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 0u);
}

// Path helpers of the register commands.
TEST(RegistrationPaths, CutAtLastBackslashAndDriveRoots)
{
    struct Case {
        const char* path;
        const char* cut;
        bool drive_root;
    };
    const Case cases[] = {
        {"C:\\dir\\file.txt", "C:\\dir", false},
        {"C:\\file.txt", "C:", false},
        {"C:", "C:", true},
        {"c:\\", "c:", true},
        {"C:\\\\", "C:\\", false},
        {"name", "name", false},
        {"1:\\", "1:", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        char buffer[512];
        lstrcpyA(buffer, c.path);
        cut_at_last_backslash(buffer);
        EXPECT_STREQ(buffer, c.cut);
        EXPECT_EQ(is_drive_root(c.path), c.drive_root);
    }
}

}  // namespace
