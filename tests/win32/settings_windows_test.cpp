// The three settings windows: their controls as the shared readers expect
// them, the opening steps, values kept while hidden, the boot image chooser
// and drop, and keys that must not close them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "gui_harness.h"
#include "mastering/descriptors.h"
#include "resources/resource_ids.h"
#include "settings/dialog_ids.h"
#include "settings/readers.h"
#include "settings/win32/dialog_reader.h"
#include "shell/win32/main_window.h"
#include "shell/win32/message_pump.h"

namespace {

class SettingsWindows : public ::testing::Test {
protected:
    void SetUp() override { open_program(); }
    void TearDown() override
    {
        EXPECT_EQ(pending_modal_actions(), 0u);
        EXPECT_FALSE(modal_action_timed_out());
        close_program();
    }
    TempTree tree;
};

std::string class_of(HWND control)
{
    char name[64] = {};
    GetClassNameA(control, name, sizeof name);
    return name;
}

// Every control id the readers and the dialog code use, with its class.
TEST_F(SettingsWindows, ControlsTheReadersUseExistWithTheirKinds)
{
    struct Control {
        HWND* window;
        int id;
        const char* kind;
    };
    std::vector<Control> controls = {
        {&volume_dialog, volume_ids::joliet, "Button"},
        {&boot_dialog, boot_ids::enabled, "Button"},
        {&boot_dialog, boot_ids::platform, "ComboBox"},
        {&boot_dialog, boot_ids::id_string, "Edit"},
        {&boot_dialog, boot_ids::media, "ComboBox"},
        {&boot_dialog, boot_ids::load_segment, "Edit"},
        {&boot_dialog, boot_ids::system_type, "Edit"},
        {&boot_dialog, boot_ids::sector_count, "Edit"},
        {&boot_dialog, boot_ids::choose_image, "Button"},
        {&boot_dialog, boot_ids::image_path, "Edit"},
        {&dir_record_dialog, dir_record_ids::use_date, "Button"},
        {&dir_record_dialog, dir_record_ids::date, "Edit"},
        {&dir_record_dialog, dir_record_ids::zone, "Edit"},
    };
    for (int id = volume_ids::system_primary; id <= volume_ids::effective_zone; ++id) {
        bool label = (id - volume_ids::system_primary) % 3 == 2;
        controls.push_back({&volume_dialog, id, label ? "Static" : "Edit"});
    }
    for (const Control& c : controls) {
        SCOPED_TRACE(c.id);
        HWND control = GetDlgItem(*c.window, c.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(class_of(control), c.kind);
    }
}

TEST_F(SettingsWindows, OpeningStepsPresetJolietDatesAndComboBoxes)
{
    EXPECT_EQ(IsDlgButtonChecked(volume_dialog, volume_ids::joliet), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(boot_dialog, boot_ids::enabled), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dir_record_dialog, dir_record_ids::use_date), BST_UNCHECKED);

    SYSTEMTIME now;
    GetLocalTime(&now);
    char year[8];
    wsprintfA(year, "%04d", now.wYear);
    for (auto [dialog, id] :
         {std::pair{volume_dialog, volume_ids::creation_date}, std::pair{volume_dialog, volume_ids::modification_date},
          std::pair{dir_record_dialog, dir_record_ids::date}}) {
        std::string text = control_text_utf8(dialog, id);
        EXPECT_EQ(text.size(), 16u) << text;
        EXPECT_EQ(text.substr(0, 4), year);
    }
    EXPECT_EQ(control_text_utf8(volume_dialog, volume_ids::expiration_date), "0000000000000000");
    EXPECT_EQ(control_text_utf8(volume_dialog, volume_ids::effective_zone), "0");
    EXPECT_EQ(control_text_utf8(volume_dialog, volume_ids::system_primary), "");

    const std::vector<std::string> platforms = {"80x86", "Power PC", "Mac"};
    const std::vector<std::string> media = {"カスタム", "1.2MB フロッピー ディスク", "1.44MB フロッピー ディスク",
                                            "2.88MB フロッピー ディスク", "ハード ディスク"};
    struct Combo {
        int id;
        const std::vector<std::string>* items;
        int selected;
    };
    for (const Combo& combo : {Combo{boot_ids::platform, &platforms, 0}, Combo{boot_ids::media, &media, 2}}) {
        HWND box = GetDlgItem(boot_dialog, combo.id);
        ASSERT_EQ(SendMessageW(box, CB_GETCOUNT, 0, 0), static_cast<LRESULT>(combo.items->size()));
        for (size_t i = 0; i < combo.items->size(); ++i) {
            wchar_t item[256] = {};
            SendMessageW(box, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
            EXPECT_EQ(utf8_from_wide(item), (*combo.items)[i]);
        }
        EXPECT_EQ(SendMessageW(box, CB_GETCURSEL, 0, 0), combo.selected);
    }
    EXPECT_EQ(control_text_utf8(boot_dialog, boot_ids::load_segment), "0");
    EXPECT_EQ(control_text_utf8(boot_dialog, boot_ids::sector_count), "1");
}

// Typed texts reach the descriptors through the window reader: single and
// double-byte characters, a check box and a combo box left without selection.
TEST_F(SettingsWindows, TypedValuesReachTheReaders)
{
    type_text(volume_dialog, volume_ids::volume_primary, "CDROM");
    type_text(volume_dialog, volume_ids::volume_joliet, "CDROM");
    type_text(volume_dialog, volume_ids::system_primary, ansi_from_utf8("あ"));
    ImageSettings settings;
    init_image_settings(settings);
    read_volume_dialog(dialog_reader(volume_dialog), settings);
    EXPECT_TRUE(settings.joliet);
    EXPECT_EQ(std::memcmp(settings.descriptors.primary + descriptor_offset::volume_id,
                          "CDROM                           ", 32),
              0);
    EXPECT_EQ(std::memcmp(settings.descriptors.supplementary + descriptor_offset::volume_id, "\0C\0D\0R\0O\0M\0 ", 12),
              0);
    if (GetACP() == 932) {
        EXPECT_EQ(settings.descriptors.primary[descriptor_offset::system_id], 0x82);
        EXPECT_EQ(settings.descriptors.primary[descriptor_offset::system_id + 1], 0xA0);
    }

    SendDlgItemMessageA(boot_dialog, boot_ids::enabled, BM_CLICK, 0, 0);
    SendDlgItemMessageA(boot_dialog, boot_ids::platform, CB_SETCURSEL, 2, 0);
    type_text(boot_dialog, boot_ids::media, "typed over");  // no selection: 1.44 MB
    type_text(boot_dialog, boot_ids::load_segment, "07C0");
    type_text(boot_dialog, boot_ids::sector_count, "70000");
    read_boot_dialog(dialog_reader(boot_dialog), settings);
    EXPECT_TRUE(settings.boot.boot_enabled);
    EXPECT_EQ(settings.boot_catalog[catalog_offset::platform_id], 2);
    EXPECT_EQ(settings.boot_catalog[catalog_offset::media_type], 2);
    EXPECT_EQ(settings.boot_catalog[catalog_offset::load_segment], 7);
    EXPECT_EQ(settings.boot_catalog[catalog_offset::sector_count], 4464 & 0xFF);
    EXPECT_EQ(settings.boot_catalog[catalog_offset::sector_count + 1], 4464 >> 8);
}

TEST_F(SettingsWindows, ClosedWindowsKeepTheirValuesWhenShownAgain)
{
    struct Window {
        HWND* dialog;
        int command;
        int edit;
        int check;
    };
    const Window windows[] = {
        {&volume_dialog, CMD_SHOW_VOLUME, volume_ids::publisher_joliet, volume_ids::joliet},
        {&boot_dialog, CMD_SHOW_BOOT, boot_ids::id_string, boot_ids::enabled},
        {&dir_record_dialog, CMD_SHOW_DIR_RECORD, dir_record_ids::date, dir_record_ids::use_date},
    };
    for (const Window& w : windows) {
        SCOPED_TRACE(w.command);
        HWND dialog = *w.dialog;
        menu_command(w.command);
        EXPECT_TRUE(IsWindowVisible(dialog));
        type_text(dialog, w.edit, ansi_from_utf8("値 kept"));
        SendDlgItemMessageA(dialog, w.check, BM_CLICK, 0, 0);
        UINT checked = IsDlgButtonChecked(dialog, w.check);

        SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);  // the close box
        pump_for(20);
        EXPECT_TRUE(IsWindow(dialog));
        EXPECT_FALSE(IsWindowVisible(dialog));

        menu_command(w.command);
        EXPECT_TRUE(IsWindowVisible(dialog));
        EXPECT_EQ(*w.dialog, dialog);
        EXPECT_EQ(control_text_utf8(dialog, w.edit), "値 kept");
        EXPECT_EQ(IsDlgButtonChecked(dialog, w.check), checked);
    }
}

TEST_F(SettingsWindows, EscapeAndReturnLeaveASettingsWindowOpen)
{
    menu_command(CMD_SHOW_VOLUME);
    HWND edit = GetDlgItem(volume_dialog, volume_ids::volume_primary);
    SetFocus(edit);
    for (WPARAM key : {VK_ESCAPE, VK_RETURN}) {
        PostMessageA(edit, WM_KEYDOWN, key, 1);
        PostMessageA(edit, WM_KEYUP, key, 0xC0000001);
        pump_for(50);
        EXPECT_TRUE(IsWindowVisible(volume_dialog)) << key;
    }
}

TEST_F(SettingsWindows, BootImageChooserFillsThePathAndCancelKeepsIt)
{
    std::string image = tree.file_of_size("boot.img", 2049);
    menu_command(CMD_SHOW_BOOT);
    answer_file_dialog(boot_dialog, image);
    SendMessageA(boot_dialog, WM_COMMAND, MAKEWPARAM(boot_ids::choose_image, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(boot_dialog, boot_ids::choose_image)));
    EXPECT_EQ(control_text_utf8(boot_dialog, boot_ids::image_path), utf8_from_ansi(image));

    cancel_file_dialog(boot_dialog);
    SendMessageA(boot_dialog, WM_COMMAND, MAKEWPARAM(boot_ids::choose_image, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(boot_dialog, boot_ids::choose_image)));
    EXPECT_EQ(control_text_utf8(boot_dialog, boot_ids::image_path), utf8_from_ansi(image));

    ImageSettings settings;
    read_boot_dialog(dialog_reader(boot_dialog), settings);
    EXPECT_EQ(settings.boot.boot_image_size, 2049u);
    EXPECT_EQ(settings.boot.boot_image_sectors, 2u);
}

TEST_F(SettingsWindows, FilesDroppedOnTheBootWindowLeaveTheLastPathAndRegisterNothing)
{
    std::string first = tree.file_of_size("one.img", 1);
    std::string second = tree.file_of_size("two.img", 1);
    std::string third = tree.file_of_size("three.img", 1);
    drop_paths(boot_dialog, {first, second, third});
    EXPECT_EQ(control_text_utf8(boot_dialog, boot_ids::image_path), utf8_from_ansi(third));
    EXPECT_TRUE(list_lines_utf8().empty());

    // A name too long for the path buffer is refused with a message, not cut.
    std::string said;
    answer_message_box(boot_dialog, &said);
    drop_paths(boot_dialog, {tree.root + "\\" + std::string(200, 'x') + "\\" + std::string(400, 'y')});
    EXPECT_EQ(control_text_utf8(boot_dialog, boot_ids::image_path), utf8_from_ansi(third));
    EXPECT_NE(said.find("511"), std::string::npos) << said;
    EXPECT_NE(said.find(std::string(400, 'y')), std::string::npos) << said;
}

}  // namespace
