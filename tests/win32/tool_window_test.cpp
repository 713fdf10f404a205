// The Tool window: its drive lists and defaults, closing and showing again,
// files dropped on it, the CD-ROM commands against a simulated drive (TOC,
// identification, ranges, unreadable sectors, stop on close), and under Wine
// the disk image of drive A: mapped to a floppy image file.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gui_harness.h"
#include "drivetools/win32/tool_window.h"
#include "resources/resource_ids.h"
#include "shell/win32/main_window.h"
#include "tests/simulated_drive.h"

namespace {

// The simulated CD-ROM drive; its READ TOC fails until a test gives it tracks.
SimulatedDrive drive;
platform::DeviceBackend simulated;

void reset_drive()
{
    drive = SimulatedDrive{};
    drive.toc_fails = true;
    drive.identification = "TARNWICKSIMULATED DRIVE 1.00";
    drive.fail_at = 0;  // volume reads fail
    simulated = drive.backend();
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(written, bytes.size());
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

void click(int id)
{
    SendMessageA(tool_dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

std::string output_box()
{
    return control_text_utf8(tool_dialog, tool_ids::output);
}

class ToolWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_drive();
        open_program();
        ASSERT_NE(tool_dialog, nullptr);
        set_tool_device_backend(&simulated);
        menu_command(CMD_SHOW_TOOL);
    }
    void TearDown() override
    {
        set_tool_device_backend(nullptr);
        EXPECT_EQ(pending_modal_actions(), 0u) << "a modal window that was expected never came";
        EXPECT_FALSE(modal_action_timed_out());
        close_program();
    }
    TempTree tree;
};

TEST_F(ToolWindow, ListsHoldAToZWithAAndQSelectedAndTheRangeBoxesTheirDefaults)
{
    EXPECT_TRUE(IsWindowVisible(tool_dialog));
    for (auto [id, selected] : {std::pair{tool_ids::disk_drive, 0}, std::pair{tool_ids::cd_drive, 16}}) {
        SCOPED_TRACE(id);
        HWND list = GetDlgItem(tool_dialog, id);
        ASSERT_EQ(SendMessageA(list, CB_GETCOUNT, 0, 0), 26);
        for (int i = 0; i < 26; ++i) {
            char item[16] = {};
            SendMessageA(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
            EXPECT_EQ(std::string(item), std::string(1, char('A' + i)) + ":");
        }
        EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), selected);
    }
    EXPECT_EQ(control_text_utf8(tool_dialog, tool_ids::first_sector), "0");
    EXPECT_EQ(control_text_utf8(tool_dialog, tool_ids::last_sector), "332999");
    EXPECT_EQ(output_box(), "");
}

TEST_F(ToolWindow, CloseHidesSetsTheStopFlagAndShowingAgainKeepsEveryValue)
{
    SendDlgItemMessageA(tool_dialog, tool_ids::disk_drive, CB_SETCURSEL, 3, 0);
    SendDlgItemMessageA(tool_dialog, tool_ids::cd_drive, CB_SETCURSEL, 25, 0);
    type_text(tool_dialog, tool_ids::first_sector, "150");
    type_text(tool_dialog, tool_ids::last_sector, "9000");
    type_text(tool_dialog, tool_ids::output, ansi_from_utf8("メモ"));
    tool_stop_requested = 0;

    SendMessageA(tool_dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    pump_for(20);
    EXPECT_TRUE(IsWindow(tool_dialog));
    EXPECT_FALSE(IsWindowVisible(tool_dialog));
    EXPECT_EQ(tool_stop_requested, 1);

    HWND before = tool_dialog;
    menu_command(CMD_SHOW_TOOL);
    EXPECT_EQ(tool_dialog, before);
    EXPECT_TRUE(IsWindowVisible(tool_dialog));
    EXPECT_EQ(SendDlgItemMessageA(tool_dialog, tool_ids::disk_drive, CB_GETCURSEL, 0, 0), 3);
    EXPECT_EQ(SendDlgItemMessageA(tool_dialog, tool_ids::cd_drive, CB_GETCURSEL, 0, 0), 25);
    EXPECT_EQ(control_text_utf8(tool_dialog, tool_ids::first_sector), "150");
    EXPECT_EQ(control_text_utf8(tool_dialog, tool_ids::last_sector), "9000");
    EXPECT_EQ(output_box(), "メモ");
}

// A plain image becomes FILE.iso of 2352-byte sectors, and that one back the
// original bytes; a file of neither form is named as not converted and gets
// no output, without keeping the next file of the same drop from converting.
TEST_F(ToolWindow, DroppedFilesAreConvertedEachAndEveryOneIsAccountedFor)
{
    const size_t sectors = 20;
    std::vector<uint8_t> plain(sectors * 2048);
    for (size_t i = 16 * 2048; i < plain.size(); ++i)
        plain[i] = static_cast<uint8_t>(i * 13);
    std::string image = tree.path("disc.img");
    write_file(image, plain);
    std::string text = tree.file_of_size("notes.txt", 5000);  // starts with a non-zero byte

    type_text(tool_dialog, tool_ids::output, "FILE \"edited.bin\" BINARY");
    drop_paths(tool_dialog, {text, image});
    std::string report = output_box();
    EXPECT_EQ(report.rfind("FILE \"edited.bin\" BINARY\r\n", 0), 0u) << "the edited text stays first: " << report;
    EXPECT_TRUE(contains(report, utf8_from_ansi(text) + ": 変換しませんでした")) << report;
    EXPECT_TRUE(contains(report, utf8_from_ansi(image) + " → " + utf8_from_ansi(image) +
                                     ".iso: "
                                     "2048バイトのセクタを2352バイトのセクタに変換しました"))
        << report;
    EXPECT_EQ(file_size_of(text + ".iso"), -1);
    EXPECT_EQ(file_size_of(image + ".iso"), static_cast<long long>(sectors * 2352));

    drop_paths(tool_dialog, {image + ".iso"});
    EXPECT_TRUE(contains(output_box(), "2352バイトのセクタを2048バイトのセクタに変換しました")) << output_box();
    EXPECT_EQ(file_bytes(image + ".iso.iso"), plain);
}

TEST_F(ToolWindow, GetTocShowsTheCueSheetAndSetsTheRangeToTheWholeDisc)
{
    drive.toc = {{4, 1, 0}, {0, 2, 200000}, {4, 0xAA, 250000}};
    drive.toc_fails = false;
    click(tool_ids::get_toc);
    EXPECT_EQ(drive.last_device, "\\\\.\\Q:");
    EXPECT_EQ(output_box(),
              "FILE \"?\" BINARY\r\n"
              "TRACK 01 MODE?/2352\r\n"
              "  INDEX 01 00:00:00 // 0\r\n"
              "TRACK 02 AUDIO\r\n"
              "  INDEX 00 44:24:50\r\n"
              "  INDEX 01 44:26:50 // 200000\r\n"
              " // 250000\r\n");
    EXPECT_EQ(control_text_utf8(tool_dialog, tool_ids::first_sector), "0");
    EXPECT_EQ(control_text_utf8(tool_dialog, tool_ids::last_sector), "249999");
}

// Failures are said in the output box and leave the range boxes alone.
TEST_F(ToolWindow, FailingCommandsSayWhyAndKeepTheRange)
{
    type_text(tool_dialog, tool_ids::first_sector, "7");
    type_text(tool_dialog, tool_ids::last_sector, "70");
    struct Case {
        bool opens;
        int button;
        const char* says;
    };
    const Case cases[] = {
        {true, tool_ids::get_toc, "TOCを読み取れません"},
        {false, tool_ids::get_toc, "ドライブ \\\\.\\Q: を開けません (No such device)"},
        {false, tool_ids::get_drive_id, "ドライブ \\\\.\\Q: を開けません (No such device)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        drive.openable = c.opens;
        SetDlgItemTextA(tool_dialog, tool_ids::output, "before");
        click(c.button);
        EXPECT_TRUE(contains(output_box(), c.says)) << output_box();
        EXPECT_EQ(control_text_utf8(tool_dialog, tool_ids::first_sector), "7");
        EXPECT_EQ(control_text_utf8(tool_dialog, tool_ids::last_sector), "70");
    }
}

TEST_F(ToolWindow, DriveIdComesFromTheCdRomList)
{
    SendDlgItemMessageA(tool_dialog, tool_ids::cd_drive, CB_SETCURSEL, 4, 0);
    click(tool_ids::get_drive_id);
    EXPECT_EQ(drive.last_device, "\\\\.\\E:");
    EXPECT_EQ(output_box(), "TARNWICKSIMULATED DRIVE 1.00");
}

// A range that runs backwards is refused before the file dialog; first - 1
// is the empty range and still makes its (empty) file.
TEST_F(ToolWindow, BackwardRangeIsRefusedWithoutAskingForAFile)
{
    drive.disc = make_disc(1000);
    type_text(tool_dialog, tool_ids::first_sector, "10");
    type_text(tool_dialog, tool_ids::last_sector, "8");
    click(tool_ids::cd_create);
    EXPECT_EQ(output_box(), "最終セクタ (8) が先頭セクタ (10) - 1 より小さいため、作成しません");
    EXPECT_EQ(drive.last_device, "");

    type_text(tool_dialog, tool_ids::last_sector, "9");
    std::string empty = tree.path("empty.bin");
    answer_file_dialog(tool_dialog, empty);
    click(tool_ids::cd_create);
    EXPECT_EQ(file_size_of(empty), 0);
    EXPECT_EQ(output_box(), "");
}

// A range reaching past the end of the disc: every sector at its offset, the
// missing ones zero, and the box says how many and from where. The cue sheet
// goes beside the dump; the first sector's mode byte (250 * 31 + 106) names
// no mode, which the box says too.
TEST_F(ToolWindow, CdImageKeepsUnreadableSectorsInPlaceAndReportsThem)
{
    drive.disc = make_disc(300);
    drive.toc_fails = false;
    drive.toc = {{4, 1, 0}, {0, 2, 290}, {4, 0xAA, 300}};
    type_text(tool_dialog, tool_ids::first_sector, "250");
    type_text(tool_dialog, tool_ids::last_sector, " 349");
    std::string out = tree.path("raw.bin");
    answer_file_dialog(tool_dialog, out);
    click(tool_ids::cd_create);
    std::vector<unsigned char> bytes = file_bytes(out);
    ASSERT_EQ(bytes.size(), 100u * 2352);
    for (uint32_t n = 0; n < 100; ++n) {
        uint32_t lba = 250 + n;
        for (size_t i : {size_t(0), size_t(2351)})
            ASSERT_EQ(bytes[n * 2352 + i], lba < 300 ? drive.sector(lba)[i] : 0) << lba;
    }
    EXPECT_TRUE(contains(output_box(), "50 / 100 セクタを読み取れませんでした (最初はセクタ 300)")) << output_box();
    std::vector<unsigned char> sheet = file_bytes(tree.path("raw.cue"));
    EXPECT_EQ(std::string(sheet.begin(), sheet.end()),
              "FILE \"raw.bin\" BINARY\r\n  TRACK 01 MODE1/2352\r\n    INDEX 01 00:00:00\r\n"
              "  TRACK 02 AUDIO\r\n    INDEX 01 00:00:40\r\n");
    EXPECT_TRUE(contains(output_box(), "\r\nトラック 01 の先頭セクタ")) << output_box();
}

// Closing the window while a copy runs ends it at the next pump, within 256
// sectors, with whole sectors in the file and the box saying it stopped.
TEST_F(ToolWindow, ClosingTheWindowStopsACdImageWithin256Sectors)
{
    drive.disc = make_disc(4096);
    drive.before_read_cd = [](uint32_t lba) {
        if (lba == 300)
            PostMessageA(tool_dialog, WM_CLOSE, 0, 0);
    };
    // A range of its own keeps a run that failed to stop small.
    type_text(tool_dialog, tool_ids::last_sector, "4095");
    std::string out = tree.path("stopped.bin");
    answer_file_dialog(tool_dialog, out);
    click(tool_ids::cd_create);
    EXPECT_EQ(file_size_of(out), 512LL * 2352);
    EXPECT_FALSE(IsWindowVisible(tool_dialog));
    EXPECT_TRUE(contains(output_box(), "512 セクタで中断しました")) << output_box();
}

// Runs a unix command line from inside Wine and waits for its marker file:
// Wine starts unix programs without a process handle to wait on.
bool run_unix(const std::string& command, const std::string& marker_windows, const char* marker_unix)
{
    DeleteFileA(marker_windows.c_str());
    std::string line = "/bin/sh -c \"" + command + " && : > '" + marker_unix + "'\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back(0);
    if (!CreateProcessA("Z:\\bin\\sh", buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    if (process.hProcess)
        CloseHandle(process.hProcess);
    if (process.hThread)
        CloseHandle(process.hThread);
    for (int i = 0; i < 250; ++i) {
        if (GetFileAttributesA(marker_windows.c_str()) != INVALID_FILE_ATTRIBUTES)
            return true;
        Sleep(20);
    }
    return false;
}

std::string unix_name(const std::string& windows_path)
{
    using UnixName = char*(CDECL*)(const WCHAR*);
    auto convert = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
    if (!convert)
        return std::string();
    std::wstring wide = wide_from_utf8(utf8_from_ansi(windows_path));
    char* name = convert(wide.c_str());
    if (!name)
        return std::string();
    std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

// Wine opens "\\.\A:" as the file that $WINEPREFIX/dosdevices/a:: points to;
// the test maps it to a floppy image for the time of the copy, and only when
// the prefix has no drive A: of its own.
TEST_F(ToolWindow, DiskImageOfDriveAIsAByteCopyOfTheFloppy)
{
    const char* prefix = std::getenv("WINEPREFIX");
    std::string floppy = tree.path("floppy.img");
    std::vector<uint8_t> medium(1474560);
    for (size_t i = 0; i < medium.size(); ++i)
        medium[i] = static_cast<uint8_t>((i >> 9) * 31 + i);
    write_file(floppy, medium);
    std::string floppy_unix = unix_name(floppy);
    std::string marker = tree.path("mapped");
    std::string marker_unix = unix_name(marker);
    if (!prefix || floppy_unix.empty() || marker_unix.empty())
        GTEST_SKIP() << "needs Wine: drive A: is mapped through the prefix's dosdevices";
    std::string link = std::string(prefix) + "/dosdevices/a::";
    if (!run_unix("! [ -e '" + link + "' ] && ! [ -L '" + link + "' ] && ln -s '" + floppy_unix + "' '" + link + "'",
                  marker, marker_unix.c_str()))
        GTEST_SKIP() << "could not map drive A: to " << floppy_unix << " (" << link
                     << " exists already, or Wine cannot run /bin/sh)";

    set_tool_device_backend(nullptr);
    std::string out = tree.path("copy.img");
    answer_file_dialog(tool_dialog, out);
    click(tool_ids::disk_create);
    std::string box = output_box();

    std::string unmapped = tree.path("unmapped");
    EXPECT_TRUE(run_unix("[ \\\"$(readlink '" + link + "')\\\" = '" + floppy_unix + "' ] && rm '" + link + "'",
                         unmapped, unix_name(unmapped).c_str()));
    EXPECT_EQ(box, "");
    EXPECT_EQ(file_bytes(out), medium);
}

// Not a test of its own: with TW_SHOTS_DIR set (by tests/wine/screenshots.sh)
// the Tool window is shown with the cue sheet of a mixed-mode disc in its
// output box, and the script takes its picture ("tool.ready" holds the window
// rectangle, the script answers with "tool.done").
TEST(Screenshots, ToolWindowWithACueSheet)
{
    const char* dir = std::getenv("TW_SHOTS_DIR");
    if (!dir)
        GTEST_SKIP() << "run by screenshots.sh";
    reset_drive();
    drive.toc = {{4, 1, 0}, {0, 2, 18750}, {0, 3, 41250}, {0, 4, 63000}, {4, 0xAA, 90000}};
    drive.toc_fails = false;
    open_program();
    set_tool_device_backend(&simulated);
    menu_command(CMD_SHOW_TOOL);
    click(tool_ids::get_toc);
    set_tool_device_backend(nullptr);
    SetWindowPos(tool_dialog, nullptr, 40, 40, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
    pump_for(300);
    RedrawWindow(tool_dialog, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    pump_for(200);

    RECT r;
    GetWindowRect(tool_dialog, &r);
    std::string ready = std::string(dir) + "\\tool.ready";
    std::string done = std::string(dir) + "\\tool.done";
    std::string temp = ready + ".tmp";
    char text[64];
    int n = wsprintfA(text, "%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    write_file(temp, std::vector<uint8_t>(text, text + n));
    MoveFileA(temp.c_str(), ready.c_str());
    for (int waited = 0; GetFileAttributesA(done.c_str()) == INVALID_FILE_ATTRIBUTES && waited < 600; ++waited)
        pump_for(50);
    EXPECT_NE(GetFileAttributesA(done.c_str()), INVALID_FILE_ATTRIBUTES);
    close_program();
}

}  // namespace
