// The Help and About windows: the picture on every fourth opening with
// counters of their own, the help text exactly as its UTF-8 source, and the
// keys that close them or do not.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gui_harness.h"
#include "resources/resource_ids.h"
#include "shell/win32/help_about.h"
#include "shell/win32/main_window.h"

namespace {

class HelpAbout : public ::testing::Test {
protected:
    void SetUp() override
    {
        open_program();
        // The values at program start.
        help_open_count = 2;
        about_open_count = 2;
    }
    void TearDown() override
    {
        EXPECT_EQ(pending_modal_actions(), 0u);
        EXPECT_FALSE(modal_action_timed_out());
        close_program();
    }
};

struct Opening {
    bool picture = false;
    bool icon = false;
};

// Opens the window through its menu command and notes which of the two
// images shows, then closes it with the close box.
Opening open_and_look(int command)
{
    Opening seen;
    on_next_modal(main_window, [&seen](HWND dialog) {
        seen.picture = IsWindowVisible(GetDlgItem(dialog, IDC_PICTURE)) != FALSE;
        seen.icon = IsWindowVisible(GetDlgItem(dialog, IDC_PROGRAM_ICON)) != FALSE;
        PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    });
    menu_command(command);
    return seen;
}

TEST_F(HelpAbout, PictureShowsOnTheSecondAndSixthOpeningOnly)
{
    for (int command : {CMD_HELP, CMD_ABOUT}) {
        SCOPED_TRACE(command);
        for (int opening = 1; opening <= 6; ++opening) {
            Opening seen = open_and_look(command);
            bool expected = opening == 2 || opening == 6;
            EXPECT_EQ(seen.picture, expected) << "opening " << opening;
            EXPECT_EQ(seen.icon, !expected) << "opening " << opening;
        }
    }
}

TEST_F(HelpAbout, CountersAreSeparate)
{
    open_and_look(CMD_HELP);
    EXPECT_TRUE(open_and_look(CMD_HELP).picture);
    EXPECT_FALSE(open_and_look(CMD_ABOUT).picture);
    EXPECT_TRUE(open_and_look(CMD_ABOUT).picture);
    EXPECT_FALSE(open_and_look(CMD_HELP).picture);
}

std::string read_source_help_text()
{
    // The sources are reached through Wine's drive Z:.
    std::string path = std::string("Z:") + TW_SOURCE_DIR + "/resources/help.txt";
    for (char& c : path)
        if (c == '/')
            c = '\\';
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string crlf;
    for (char c : text.str()) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    return crlf;
}

TEST_F(HelpAbout, HelpShowsTheWholeTextOfItsSourceAndNothingAfterIt)
{
    std::string source = read_source_help_text();
    ASSERT_FALSE(source.empty());
    std::string shown;
    on_next_modal(main_window, [&shown](HWND dialog) {
        shown = control_text_utf8(dialog, IDC_HELP_TEXT);
        PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    });
    menu_command(CMD_HELP);
    EXPECT_EQ(shown, source);
    for (const char* heading :
         {"■TarnwickISOの概要", "■基本的な使い方", "■長いファイル名を記録するには", "■ブータブル化するには",
          "■日時の入力方法", "■既存の問題", "■技術的な話", "■更新履歴", "■免責等"})
        EXPECT_NE(shown.find(std::string(heading) + "\r\n"), std::string::npos) << heading;
}

TEST_F(HelpAbout, HelpOpensAtTheFirstLineWithNothingSelected)
{
    int ticks = 0;
    DWORD selection = 1;
    LRESULT first_line = -1;
    on_next_modal(main_window, [&](HWND dialog) {
        if (++ticks < 5)
            return false;  // let the activation and the posted reset run
        selection = static_cast<DWORD>(SendDlgItemMessageA(dialog, IDC_HELP_TEXT, EM_GETSEL, 0, 0));
        first_line = SendDlgItemMessageA(dialog, IDC_HELP_TEXT, EM_GETFIRSTVISIBLELINE, 0, 0);
        PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    });
    menu_command(CMD_HELP);
    EXPECT_EQ(LOWORD(selection), HIWORD(selection));
    EXPECT_EQ(first_line, 0);
}

TEST(HelpResources, TextIsCodePage932FollowedByAOneByteZero)
{
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC text = FindResourceA(module, "TEXT_HELP", MAKEINTRESOURCEA(10));
    HRSRC zero = FindResourceA(module, "TEXT_HELP_", MAKEINTRESOURCEA(10));
    ASSERT_NE(text, nullptr);
    ASSERT_NE(zero, nullptr);
    ASSERT_EQ(SizeofResource(module, zero), 1u);
    EXPECT_EQ(*static_cast<const char*>(LockResource(LoadResource(module, zero))), 0);
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(module, text)));
    std::string cp932(bytes, SizeofResource(module, text));
    EXPECT_NE(cp932.back(), 0);
    int n = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, cp932.data(), static_cast<int>(cp932.size()), nullptr, 0);
    ASSERT_GT(n, 0) << "not valid code page 932";
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(932, 0, cp932.data(), static_cast<int>(cp932.size()), wide.data(), n);
    EXPECT_EQ(utf8_from_wide(wide), read_source_help_text());
}

// Escape, and Return while nothing has the focus, leave both windows open;
// Return on the OK button closes About; the close box closes both.
TEST_F(HelpAbout, KeysThatCloseAndKeysThatDoNot)
{
    for (int command : {CMD_HELP, CMD_ABOUT}) {
        SCOPED_TRACE(command);
        int step = 0;
        bool open_after_keys = false;
        on_next_modal(main_window, [&](HWND dialog) {
            HWND target = command == CMD_HELP ? GetDlgItem(dialog, IDC_HELP_TEXT) : dialog;
            if (command == CMD_HELP)
                SetFocus(target);
            switch (step++) {
            case 0:
                PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 1);
                PostMessageA(target, WM_KEYUP, VK_ESCAPE, 0xC0000001);
                return false;
            case 1:
                PostMessageA(target, WM_KEYDOWN, VK_RETURN, 1);
                PostMessageA(target, WM_KEYUP, VK_RETURN, 0xC0000001);
                return false;
            case 2: return false;  // one more tick for the keys to be handled
            default:
                open_after_keys = IsWindowVisible(dialog) != FALSE;
                if (command == CMD_ABOUT) {
                    // Tab takes the focus to the button, then Return presses it.
                    PostMessageA(dialog, WM_KEYDOWN, VK_TAB, 1);
                    PostMessageA(dialog, WM_KEYUP, VK_TAB, 0xC0000001);
                    PostMessageA(dialog, WM_KEYDOWN, VK_RETURN, 1);
                    PostMessageA(dialog, WM_KEYUP, VK_RETURN, 0xC0000001);
                } else {
                    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
                }
                return true;
            }
        });
        menu_command(command);
        EXPECT_TRUE(open_after_keys);
    }
}

}  // namespace
