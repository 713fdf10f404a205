// Builds started from the main window: the image, the progress texts in the
// status line, abort, refused nested builds, closing during a build, and the
// Japanese report of a damaged build.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gui_harness.h"
#include "verify/image_reader.h"
#include "mastering/writer.h"
#include "resources/resource_ids.h"
#include "settings/dialog_ids.h"
#include "shell/win32/main_window.h"
#include "shell/win32/registration_list.h"

namespace {

void build_through_menu(int command, const std::string& output)
{
    answer_file_dialog(main_window, output);
    menu_command(command);
}

bool starts_with(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool is_estimate(const std::string& text)
{
    return starts_with(text, "予想容量 ");
}

class Build : public ::testing::Test {
protected:
    void SetUp() override
    {
        open_program();
        saved_callback = window_build.show;
    }
    void TearDown() override
    {
        window_build.show = saved_callback;
        EXPECT_EQ(pending_modal_actions(), 0u) << "a modal window that was expected never came";
        EXPECT_FALSE(modal_action_timed_out());
        close_program();
    }
    void (*saved_callback)() = nullptr;
    TempTree tree;
};

// Texts seen in the status line, one per progress report.
std::vector<std::string> seen;
void record_status()
{
    show_build_progress();
    seen.push_back(status_text());
}

TEST_F(Build, PlainAndRawImagesCarryTheSameSectors)
{
    drop_paths(main_window, {tree.file_of_size("hello.txt", 5000)});
    std::string plain = tree.path("plain.iso");
    std::string raw = tree.path("raw.bin");
    build_through_menu(CMD_CREATE_ISO, plain);
    EXPECT_TRUE(is_estimate(status_text())) << status_text();
    build_through_menu(CMD_CREATE_RAW_ISO, raw);
    EXPECT_EQ(window_build.form, OutputSectors::raw);

    std::vector<unsigned char> p = file_bytes(plain);
    std::vector<unsigned char> r = file_bytes(raw);
    ASSERT_GT(p.size(), 17u * 2048);
    ASSERT_EQ(p.size() % 2048, 0u);
    ASSERT_EQ(r.size(), p.size() / 2048 * 2352);
    EXPECT_EQ(std::memcmp(p.data() + 16 * 2048,
                          "\x01"
                          "CD001",
                          6),
              0);
    static const unsigned char sync[12] = {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
    for (size_t i = 0; i < p.size() / 2048; ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(std::memcmp(r.data() + i * 2352, sync, 12), 0);
        ASSERT_EQ(r[i * 2352 + 15], 1);  // mode 1
        ASSERT_EQ(std::memcmp(r.data() + i * 2352 + 16, p.data() + i * 2048, 2048), 0);
    }
}

TEST_F(Build, StageTextsOneToFourAppearInTheStatusLine)
{
    drop_paths(main_window, {tree.file_of_size("a.bin", 1 << 20), tree.file_of_size("b.bin", 3000)});
    seen.clear();
    window_build.show = record_status;
    build_through_menu(CMD_CREATE_ISO, tree.path("out.iso"));

    const std::string stage_texts[4] = {"ファイル識別子の設定 ", "データ位置の設定", "そのほかの設定",
                                        "ファイルの出力 "};
    int last_stage = 0;
    bool stage_seen[4] = {};
    for (const std::string& text : seen) {
        int stage = 0;
        for (int s = 0; s < 4; ++s)
            if (starts_with(text, stage_texts[s]))
                stage = s + 1;
        ASSERT_NE(stage, 0) << text;
        EXPECT_GE(stage, last_stage) << text;
        stage_seen[stage - 1] = true;
        if (stage == 2 || stage == 3) {
            EXPECT_EQ(text, stage_texts[stage - 1]);
        }
        // The report that opens the output stage still shows the counts left
        // from before (the core resets them once the output is open).
        bool opening_report = stage == 4 && last_stage < 4;
        if (stage == 4 && !opening_report) {
            unsigned percent = 0, written = 0, total = 0;
            std::string rest = text.substr(stage_texts[3].size());
            ASSERT_EQ(std::sscanf(rest.c_str(), "%u%%(%u/%u", &percent, &written, &total), 3) << text;
            EXPECT_TRUE(text.size() > 9 && text.compare(text.size() - 10, 10, "セクタ)") == 0) << text;
            EXPECT_LE(written, total);
            EXPECT_EQ(written % 128, 0u);
            EXPECT_EQ(percent, written * 100ull / total);
        }
        last_stage = stage;
    }
    for (int s = 0; s < 4; ++s)
        EXPECT_TRUE(stage_seen[s]) << "stage " << s + 1;
    EXPECT_TRUE(is_estimate(status_text())) << status_text();
}

// The abort command posted from a progress report runs in the next pump
// call; a marker message posted behind it notes how far the output was then.
uint32_t sectors_at_abort = 0;
HWND marker_window = nullptr;
bool abort_posted = false;
LRESULT CALLBACK marker_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_APP)
        sectors_at_abort = window_build.progress.sectors_written;
    return DefWindowProcA(window, message, wparam, lparam);
}
void abort_at_256_sectors()
{
    show_build_progress();
    if (window_build.progress.stage == 4 && window_build.progress.sectors_written >= 256 && !abort_posted) {
        abort_posted = true;
        PostMessageA(main_window, WM_COMMAND, CMD_ABORT, 0);
        PostMessageA(marker_window, WM_APP, 0, 0);
    }
}

void register_abort_marker()
{
    WNDCLASSA marker = {};
    marker.lpfnWndProc = marker_proc;
    marker.hInstance = GetModuleHandleA(nullptr);
    marker.lpszClassName = "TwAbortMarker";
    RegisterClassA(&marker);
    marker_window = CreateWindowA("TwAbortMarker", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, marker.hInstance, nullptr);
}

// The names in a folder, "." and ".." left out.
std::vector<std::string> names_in(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
        if (std::strcmp(found.cFileName, ".") != 0 && std::strcmp(found.cFileName, "..") != 0)
            names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

TEST_F(Build, AbortDuringOutputLeavesNoFileAndTheNextBuildIsClean)
{
    register_abort_marker();
    ASSERT_NE(marker_window, nullptr);

    drop_paths(main_window, {tree.file_of_size("big.bin", 4 << 20)});
    std::string full = tree.path("full.iso");
    build_through_menu(CMD_CREATE_ISO, full);
    long long full_size = file_size_of(full);
    ASSERT_GT(full_size, 2048ll * 2048);

    std::string out = tree.folder("out");
    abort_posted = false;
    sectors_at_abort = 0;
    window_build.progress.sectors_written = 0;  // left from the first build until the output opens
    window_build.show = abort_at_256_sectors;
    build_through_menu(CMD_CREATE_ISO, out + "\\cut.iso");
    window_build.show = saved_callback;
    ASSERT_TRUE(abort_posted);
    EXPECT_GE(sectors_at_abort, 256u);
    // The part written before the stop went with its temporary file.
    EXPECT_EQ(names_in(out), std::vector<std::string>{});
    EXPECT_TRUE(is_estimate(status_text()));

    std::string again = tree.path("again.iso");
    build_through_menu(CMD_CREATE_ISO, again);
    EXPECT_EQ(file_bytes(again), file_bytes(full));
    DestroyWindow(marker_window);
}

// A build that stops half way, cannot put its image in place, or completes
// damaged leaves the older image of its name as it was, and nothing else.
TEST_F(Build, StoppedFailedOrDamagedBuildKeepsTheOlderImage)
{
    register_abort_marker();
    ASSERT_NE(marker_window, nullptr);
    enum class Fault { stopped, locked, damaged };
    const struct {
        Fault fault;
        const char* said;  // in the message box; null: none
    } rows[] = {
        {Fault::stopped, nullptr},
        {Fault::locked, "ISOファイルの作成に失敗しました"},
        {Fault::damaged, "gone.bin"},
    };
    std::string big = tree.file_of_size("big.bin", 4 << 20);
    std::string gone = tree.path("gone.bin");
    for (const auto& row : rows) {
        SCOPED_TRACE(int(row.fault));
        SendMessageA(main_window, WM_COMMAND, CMD_CLEAR, 0);
        std::string out = tree.folder("out" + std::to_string(int(row.fault)));
        std::string older = out + "\\image.iso";
        const std::vector<unsigned char> older_bytes =
            file_bytes(tree.file_of_size(older.substr(tree.root.size() + 1), 70001));
        std::vector<std::string> paths{big};
        if (row.fault == Fault::damaged) {
            tree.file_of_size("gone.bin", 5000);
            paths.push_back(gone);
        }
        drop_paths(main_window, paths);
        if (row.fault == Fault::damaged)
            DeleteFileA(gone.c_str());
        // Another program holds the older image open, sharing neither
        // writing nor deletion.
        HANDLE held = row.fault == Fault::locked ? CreateFileA(older.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                               OPEN_EXISTING, 0, nullptr)
                                                 : INVALID_HANDLE_VALUE;
        abort_posted = row.fault != Fault::stopped;
        window_build.progress.sectors_written = 0;
        window_build.show = abort_at_256_sectors;
        std::string said;
        answer_file_dialog(main_window, older);
        if (row.said)
            answer_message_box(main_window, &said);
        menu_command(CMD_CREATE_ISO);
        window_build.show = saved_callback;
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        EXPECT_TRUE(abort_posted);
        if (row.said) {
            EXPECT_NE(said.find(row.said), std::string::npos) << said;
        }
        EXPECT_EQ(names_in(out), std::vector<std::string>{"image.iso"});
        EXPECT_TRUE(file_bytes(older) == older_bytes);
        EXPECT_TRUE(is_estimate(status_text()));
    }
    DestroyWindow(marker_window);
}

TEST_F(Build, AbortWhileIdleDoesNotStopTheNextBuild)
{
    drop_paths(main_window, {tree.file_of_size("x.bin", 600 * 1024)});
    std::string first = tree.path("first.iso");
    build_through_menu(CMD_CREATE_ISO, first);
    menu_command(CMD_ABORT);
    EXPECT_TRUE(window_build.abort);
    std::string second = tree.path("second.iso");
    build_through_menu(CMD_CREATE_ISO, second);
    EXPECT_EQ(file_bytes(second), file_bytes(first));
}

bool nested_tried = false;
void create_again_during_output()
{
    show_build_progress();
    if (window_build.progress.stage == 4 && !nested_tried) {
        nested_tried = true;
        SendMessageA(main_window, WM_COMMAND, CMD_CREATE_RAW_ISO, 0);
    }
}

TEST_F(Build, CreateCommandDuringABuildIsRefusedAndTheBuildGoesOn)
{
    drop_paths(main_window, {tree.file_of_size("data.bin", 2 << 20)});
    std::string reference = tree.path("reference.iso");
    build_through_menu(CMD_CREATE_ISO, reference);

    std::string outer = tree.path("outer.iso");
    nested_tried = false;
    window_build.show = create_again_during_output;
    answer_file_dialog(main_window, outer);
    // A save dialog for the nested command would be answered with this name.
    answer_file_dialog(main_window, tree.path("nested.iso"));
    menu_command(CMD_CREATE_ISO);
    window_build.show = saved_callback;
    ASSERT_TRUE(nested_tried);
    EXPECT_EQ(pending_modal_actions(), 1u) << "the nested command opened a save dialog";
    clear_modal_actions();
    EXPECT_EQ(file_size_of(tree.path("nested.iso")), -1);
    EXPECT_EQ(window_build.form, OutputSectors::plain);
    EXPECT_EQ(file_bytes(outer), file_bytes(reference));
}

bool close_posted = false;
void close_during_output()
{
    show_build_progress();
    if (window_build.progress.stage == 4 && window_build.progress.sectors_written >= 256 && !close_posted) {
        close_posted = true;
        PostMessageA(main_window, WM_CLOSE, 0, 0);
    }
}

TEST_F(Build, ClosingTheMainWindowStopsTheBuildAndEndsWithCodeZero)
{
    drop_paths(main_window, {tree.file_of_size("data.bin", 4 << 20)});
    std::string output = tree.path("closing.iso");
    HWND window = main_window;
    close_posted = false;
    window_build.progress.sectors_written = 0;
    window_build.show = close_during_output;
    build_through_menu(CMD_CREATE_ISO, output);
    window_build.show = saved_callback;
    ASSERT_TRUE(close_posted);
    EXPECT_FALSE(IsWindow(window));
    // The part written before the close went with its temporary file.
    EXPECT_EQ(file_size_of(output), -1);
    // The quit request waits in the queue for the main loop.
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 0u);
}

TEST_F(Build, CancelledSaveDialogStartsNothingAndKeepsTheSectorForm)
{
    drop_paths(main_window, {tree.file_of_size("a.txt", 10)});
    window_build.form = OutputSectors::raw;
    std::string before = status_text();
    cancel_file_dialog(main_window);
    menu_command(CMD_CREATE_ISO);
    EXPECT_EQ(window_build.form, OutputSectors::raw);
    EXPECT_EQ(status_text(), before);
    window_build.form = OutputSectors::plain;
}

TEST_F(Build, ExistingOutputIsReplaced)
{
    drop_paths(main_window, {tree.file_of_size("a.txt", 10)});
    std::string reference = tree.path("reference.iso");
    build_through_menu(CMD_CREATE_ISO, reference);
    std::string output = tree.file_of_size("old.iso", 3 << 20);
    build_through_menu(CMD_CREATE_ISO, output);
    EXPECT_EQ(file_bytes(output), file_bytes(reference));
}

TEST_F(Build, DamagedImageIsReportedInJapaneseThenTheEstimateShows)
{
    std::string kept = tree.file_of_size("kept.txt", 100);
    std::string gone = tree.file_of_size("gone.txt", 100);
    drop_paths(main_window, {kept, gone});
    std::string estimate = status_text();
    DeleteFileA(gone.c_str());

    std::string said;
    answer_file_dialog(main_window, tree.path("damaged.iso"));
    answer_message_box(main_window, &said);
    menu_command(CMD_CREATE_ISO);
    EXPECT_NE(said.find("内容に問題があります"), std::string::npos) << said;
    EXPECT_NE(said.find(utf8_from_ansi(gone)), std::string::npos) << said;
    EXPECT_EQ(status_text(), estimate);
}

TEST_F(Build, CleanBuildShowsNoMessage)
{
    drop_paths(main_window, {tree.file_of_size("fine.txt", 100)});
    // A message box would stay open with nobody to answer it; the harness
    // would force it closed after ten seconds and flag the test.
    std::string said;
    answer_file_dialog(main_window, tree.path("fine.iso"));
    answer_message_box(main_window, &said);
    menu_command(CMD_CREATE_ISO);
    EXPECT_EQ(pending_modal_actions(), 1u);
    clear_modal_actions();
    EXPECT_TRUE(said.empty());
}

// Builds the cases that tests/wine/compare-builds.sh repeats with the
// command line; the script compares the images byte for byte.
TEST(BuildComparison, WindowBuildsOfTheComparisonCases)
{
    const char* tree_env = std::getenv("TW_COMPARE_TREE");
    const char* out_env = std::getenv("TW_COMPARE_OUT");
    const char* boot_env = std::getenv("TW_COMPARE_BOOT");
    if (!tree_env || !out_env || !boot_env)
        GTEST_SKIP() << "run by compare-builds.sh";
    std::string tree = tree_env, out = out_env, boot = boot_env;

    struct Case {
        const char* name;
        bool raw, joliet, boot, no_emulation, recorded_date;
    };
    // Keep in step with the table in compare-builds.sh.
    const Case cases[] = {
        {"plain-joliet", false, true, false, false, false},  {"plain-nojoliet", false, false, false, false, false},
        {"raw-joliet", true, true, false, false, false},     {"raw-nojoliet", true, false, false, false, false},
        {"plain-boot", false, true, true, false, false},     {"raw-boot-noemul", true, true, true, true, false},
        {"plain-recorded", false, true, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        open_program();
        type_text(volume_dialog, volume_ids::system_primary, "TARNWICK");
        type_text(volume_dialog, volume_ids::system_joliet, "TARNWICK");
        type_text(volume_dialog, volume_ids::volume_primary, "DISC_01");
        type_text(volume_dialog, volume_ids::volume_joliet, "DISC_01");
        type_text(volume_dialog, volume_ids::publisher_primary, "Tarn Publishing");
        type_text(volume_dialog, volume_ids::publisher_joliet, "Tarn Publishing");
        type_text(volume_dialog, volume_ids::creation_date, "2003120908050345");
        type_text(volume_dialog, volume_ids::creation_zone, "36");
        type_text(volume_dialog, volume_ids::modification_date, "2003120908050345");
        type_text(volume_dialog, volume_ids::modification_zone, "36");
        type_text(dir_record_dialog, dir_record_ids::date, "2003120908050300");
        type_text(dir_record_dialog, dir_record_ids::zone, "36");
        if (!c.joliet)
            SendDlgItemMessageA(volume_dialog, volume_ids::joliet, BM_CLICK, 0, 0);
        if (c.recorded_date)
            SendDlgItemMessageA(dir_record_dialog, dir_record_ids::use_date, BM_CLICK, 0, 0);
        if (c.boot) {
            SendDlgItemMessageA(boot_dialog, boot_ids::enabled, BM_CLICK, 0, 0);
            drop_paths(boot_dialog, {boot});
            if (c.no_emulation) {
                SendDlgItemMessageA(boot_dialog, boot_ids::media, CB_SETCURSEL, 0, 0);
                type_text(boot_dialog, boot_ids::sector_count, "4");
                type_text(boot_dialog, boot_ids::id_string, "TW BOOT");
            }
        }

        // Every top-level item of the tree, dropped at once.
        std::vector<std::string> items;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((tree + "\\*").c_str(), &found);
        ASSERT_NE(search, INVALID_HANDLE_VALUE);
        do {
            if (std::strcmp(found.cFileName, ".") != 0 && std::strcmp(found.cFileName, "..") != 0)
                items.push_back(tree + "\\" + found.cFileName);
        } while (FindNextFileA(search, &found));
        FindClose(search);
        drop_paths(main_window, items);
        ASSERT_EQ(list_lines_utf8().size(), items.size());

        build_through_menu(c.raw ? CMD_CREATE_RAW_ISO : CMD_CREATE_ISO,
                           out + "\\" + c.name + (c.raw ? ".bin" : ".iso"));
        EXPECT_EQ(pending_modal_actions(), 0u);
        EXPECT_TRUE(is_estimate(status_text()));
        close_program();
    }
}

}  // namespace

namespace {

// Two folders of one name dropped on the window: in each tree, each folder
// holds its own file and only that (one of them under a counted-up name).
TEST_F(Build, TwoDroppedFoldersOfOneNameKeepTheirOwnFiles)
{
    for (const char* folder : {"p1", "p1\\docs", "p2", "p2\\docs"})
        tree.folder(folder);
    tree.file_of_size("p1\\docs\\a.txt", 100);
    tree.file_of_size("p2\\docs\\b.txt", 200);
    drop_paths(main_window, {tree.path("p1\\docs"), tree.path("p2\\docs")});
    const std::string output = tree.path("docs.iso");
    build_through_menu(CMD_CREATE_ISO, output);
    ImageSource source;
    std::string why;
    ASSERT_TRUE(open_image_source(output.c_str(), source, why)) << why;
    const ImageReading reading = read_image(source);
    EXPECT_TRUE(reading.faults.empty());
    for (const ImageTree* t : {&reading.primary, &reading.joliet}) {
        ASSERT_EQ(t->directories.size(), 3u);
        ASSERT_EQ(t->files.size(), 2u);
        EXPECT_NE(t->files[0].directory, t->files[1].directory);
        for (const TreeFile& f : t->files)
            EXPECT_EQ(std::toupper(static_cast<unsigned char>(f.name[0])), f.size == 100 ? 'A' : 'B')
                << file_path(*t, f);
    }
}

}  // namespace
