// What a build does when its sources or its output misbehave: the layout
// stays as planned, missing bytes are zeros, and every such file is named.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <filesystem>
#include <string>

#include "cli/line_list.h"
#include "mastering/build.h"
#include "mastering/entries.h"
#include "mastering/writer.h"
#include "sector/mode1.h"
#include "settings/dialog_ids.h"
#include "settings/readers.h"
#include "shell/registration.h"
#include "shell/build_job.h"
#include "test_support.h"
#include "verify/image_reader.h"
#include "verify/read_back.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace {

bool has_problem(const BuildOutcome& outcome, ProblemKind kind, const std::string& path_part = "")
{
    for (const BuildProblem& p : outcome.problems)
        if (p.kind == kind && p.path.find(path_part) != std::string::npos)
            return true;
    return false;
}

// A build of registration lines with the settings, straight into `output`.
BuildOutcome build_lines(const Settings& settings, const LineSource& lines, const std::string& output,
                         FolderListings* listings = nullptr, const BuildHooks& hooks = {})
{
    BuildRequest request;
    request.lines = lines;
    request.volume = reader_of(settings.volume);
    request.boot = reader_of(settings.boot);
    request.dir_record = reader_of(settings.dir_record);
    request.listings = listings;
    return create_iso(build_input(request, output), hooks);
}

// A stop asked for by the status hook once `when` holds.
BuildHooks stop_when(std::function<bool(const BuildProgress&)> when)
{
    auto asked = std::make_shared<bool>(false);
    BuildHooks hooks;
    hooks.status = [asked, when](const BuildProgress& p) { *asked = *asked || when(p); };
    hooks.job.stop_requested = [asked] { return *asked; };
    return hooks;
}

// Bytes that differ from sector to sector, so that data landing at the wrong
// place shows.
std::string pattern(size_t n, char seed)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = char(seed + i * 7 % 251 + i / 2048);
    return s;
}

struct ChangeCase {
    const char* name;
    size_t original_size;
    std::function<void(const TempTree&)> change;
    ProblemKind expected;
    std::string expected_data;  // what lands in the file's planned sectors
    uint32_t change_after = 0;  // sectors written before the change
};

// The user data of a raw image, each sector checked to be the Mode 1 sector
// of its data and place: a sector half encoded from a vanished page shows.
std::string user_data_of_raw(const std::string& raw)
{
    std::string data;
    uint8_t again[raw_sector_size];
    for (size_t s = 0; (s + 1) * raw_sector_size <= raw.size(); ++s) {
        const auto* sector = reinterpret_cast<const uint8_t*>(raw.data()) + s * raw_sector_size;
        encode_mode1_sector(again, sector + 16, uint32_t(s));
        EXPECT_EQ(0, std::memcmp(again, sector, raw_sector_size)) << "raw sector " << s;
        data.append(reinterpret_cast<const char*>(sector) + 16, 2048);
    }
    return data;
}

TEST(Faults, SourcesChangedAfterTheScanKeepTheLayout)
{
    // The large rows go through the whole-batch copy of plain output and the
    // mapped source of raw output, the shrunk one ending inside a sector in
    // the middle of a batch. The file cut while it is copied loses it after
    // its first 234 sectors (sectors 22 to 255 of the image).
    constexpr size_t large = 2048 * 600 + 5, large_planned = 2048 * 601;
    const ChangeCase cases[] = {
        {"shrunk", 5000, [](const TempTree& t) { t.file("d/f.bin", std::string(3000, 'B')); },
         ProblemKind::source_shrunk, std::string(3000, 'B') + std::string(6144 - 3000, '\0')},
        {"grown", 5000, [](const TempTree& t) { t.file("d/f.bin", std::string(9000, 'C')); }, ProblemKind::source_grown,
         std::string(5000, 'C') + std::string(6144 - 5000, '\0')},
        {"large shrunk", large, [](const TempTree& t) { t.file("d/f.bin", pattern(2048 * 300 + 100, 'B')); },
         ProblemKind::source_shrunk,
         pattern(2048 * 300 + 100, 'B') + std::string(large_planned - 2048 * 300 - 100, '\0')},
        {"large grown", large, [](const TempTree& t) { t.file("d/f.bin", pattern(2048 * 700, 'C')); },
         ProblemKind::source_grown, pattern(large, 'C') + std::string(large_planned - large, '\0')},
        {"grown from whole sectors", 4096, [](const TempTree& t) { t.file("d/f.bin", std::string(4097, 'C')); },
         ProblemKind::source_grown, std::string(4096, 'C')},
#ifndef _WIN32
        // Windows lets no other program cut a file the build holds open.
        {"large cut while copied", large, [](const TempTree& t) { t.file("d/f.bin", ""); }, ProblemKind::source_shrunk,
         std::string(234 * 2048, 'A') + std::string(large_planned - 234 * 2048, '\0'), 256},
        {"deleted", 5000, [](const TempTree& t) { fs::remove(t.path("d/f.bin")); }, ProblemKind::source_unreadable,
         std::string(6144, '\0')},
        {"now a folder", 5000,
         [](const TempTree& t) {
             fs::remove(t.path("d/f.bin"));
             fs::create_directory(t.path("d/f.bin"));
         },
         ProblemKind::source_unreadable, std::string(6144, '\0')},
#endif
    };
    for (const bool raw : {false, true}) {
        for (const ChangeCase& c : cases) {
            const std::string name = std::string(c.name) + (raw ? " (raw)" : "");
            TempTree tree;
            tree.file("d/f.bin", std::string(c.original_size, 'A'));
            tree.file("d/g.bin", std::string(100, 'G'));
            Settings settings;
            set_check(settings.volume, volume_ids::joliet, false);
            // The change is made when the output stage begins, or once
            // change_after sectors have been written (the hook runs every 128).
            bool changed = false;
            BuildHow how;
            how.raw = raw;
            how.hooks.status = [&](const BuildProgress& p) {
                if (p.stage == 4 && p.sectors_written >= c.change_after && !changed) {
                    c.change(tree);
                    changed = true;
                }
            };
            BuiltImage image = build_paths({tree.path("d")}, settings, tree.path("out.iso"), how);
            if (raw)
                image.bytes = user_data_of_raw(image.bytes);
            EXPECT_FALSE(image.outcome.clean()) << name;
            EXPECT_TRUE(image.outcome.written) << name;
            EXPECT_TRUE(has_problem(image.outcome, c.expected, "f.bin")) << name;
            // 16 + pvd + terminator + 2 path tables + root + d = sector 22 for f.bin, then g.bin.
            const uint32_t f_sectors = uint32_t((c.original_size + 2047) / 2048);
            ASSERT_EQ(image.sector_count(), 22u + f_sectors + 2) << name;
            EXPECT_TRUE(std::string(reinterpret_cast<const char*>(image.sector(22)), f_sectors * 2048) ==
                        c.expected_data)
                << name;
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.sector(22 + f_sectors)), 100),
                      std::string(100, 'G'))
                << name;
        }
    }
}

TEST(Faults, RegisteredPathGoneAtBuildTimeIsAnEmptyFileDatedLikeTheRoot)
{
    TempTree tree;
    tree.file("gone.txt", "soon gone");
    // Registered while present (the line below), gone when the build scans it.
    fs::remove(tree.path("gone.txt"));
    Settings again;
    set_check(again.volume, volume_ids::joliet, false);
    set_text(again.dir_record, dir_record_ids::date, "2001020304050600");
    set_text(again.dir_record, dir_record_ids::zone, "0");
    struct Lines {
        std::string line;
    } lines{"gone.txt\t    1\t    1\t    " + tree.path("gone.txt")};
    LineSource source;
    source.context = &lines;
    source.count = [](const void*) { return 1; };
    source.get = [](const void* c, int, char* buffer, size_t capacity) {
        std::snprintf(buffer, capacity, "%s", static_cast<const Lines*>(c)->line.c_str());
    };
    BuildOutcome outcome = build_lines(again, source, tree.path("out2.iso"));
    EXPECT_TRUE(outcome.written);
    EXPECT_FALSE(outcome.clean());
    EXPECT_TRUE(has_problem(outcome, ProblemKind::source_gone, "gone.txt"));
    std::string bytes = read_whole_file(tree.path("out2.iso"));
    ASSERT_EQ(bytes.size(), 22u * 2048);
    const uint8_t* root = reinterpret_cast<const uint8_t*>(bytes.data()) + 20 * 2048;
    const uint8_t* record = root + 68;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(record) + 33, record[32]), "GONE.TXT;1");
    EXPECT_EQ(record[25], 0) << "not hidden, not a directory";
    const uint8_t expected_date[7] = {101, 2, 3, 4, 5, 6, 0};
    EXPECT_EQ(0, std::memcmp(record + 18, expected_date, 7));
    EXPECT_EQ(0, std::memcmp(root + 18, expected_date, 7)) << "the root's date";
}

#ifndef _WIN32
// Rock Ridge with links followed: a dangling link is a gone source (named,
// an empty file with the attributes of one), a link to a file its target's
// copy; the image reads clean and verifies.
TEST(Faults, RockRidgeFollowingLinksKeepsGoneTargetsNamed)
{
    TempTree tree;
    tree.file("d/target.txt", "target");
    fs::create_symlink("target.txt", tree.path("d/to-file"));
    fs::create_symlink("nowhere", tree.path("d/dangling"));
    Settings settings;
    BuildHow how;
    how.rock_ridge.enabled = how.rock_ridge.follow_links = how.keep_built_files = true;
    const BuiltImage image = build_paths({tree.path("d")}, settings, tree.path("out.iso"), how);
    EXPECT_TRUE(image.outcome.written);
    EXPECT_TRUE(has_problem(image.outcome, ProblemKind::source_gone, "dangling"));
    const StructureReport report =
        check_image_bytes(reinterpret_cast<const uint8_t*>(image.bytes.data()), image.bytes.size());
    EXPECT_TRUE(report.faults.empty()) << report.faults.front();
    EXPECT_NE(report.summary.find("Rock Ridge"), std::string::npos);
    EXPECT_TRUE(compare_with_sources(tree.path("out.iso").c_str(), image.outcome, nullptr).empty());
}
#endif

// The command line's scan takes the listings its registration made a moment
// before, each once: a file gone in between is named and its planned room is
// zeros; one added in between waits for the next scan.
TEST(Faults, KeptListingsServeOneScan)
{
    TempTree tree;
    tree.file("d/f.bin", std::string(5000, 'A'));
    tree.file("d/g.bin", std::string(100, 'G'));
    Settings settings;
    set_check(settings.volume, volume_ids::joliet, false);
    LineList list;
    FolderListings listings;
    RegistrationWalk walk;
    walk.listings = &listings;
    ASSERT_TRUE(register_path(list, tree.path("d").c_str(), walk));
    fs::remove(tree.path("d/f.bin"));
    tree.file("d/new.bin", "late");
    auto build = [&](const char* name) {
        return build_lines(settings, line_source_of(list), tree.path(name), &listings);
    };
    const BuildOutcome first = build("one.iso");
    const BuildOutcome second = build("two.iso");
    EXPECT_TRUE(first.written);
    EXPECT_TRUE(has_problem(first, ProblemKind::source_unreadable, "f.bin"));
    EXPECT_EQ(read_whole_file(tree.path("one.iso")).size(), (22u + 3 + 2) * 2048) << "f.bin and g.bin";
    EXPECT_TRUE(second.clean());
    EXPECT_EQ(read_whole_file(tree.path("two.iso")).size(), (22u + 1 + 2) * 2048) << "g.bin and new.bin";
}

#ifndef _WIN32
TEST(Faults, FailedWriteFailsTheBuildWithTheReason)
{
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    TempTree tree;
    tree.file_of_size("f.bin", 600000);
    Settings settings;
    BuiltImage image = build_paths({tree.path("f.bin")}, settings, "/dev/full");
    EXPECT_FALSE(image.outcome.written);
    EXPECT_FALSE(image.outcome.clean());
    ASSERT_TRUE(has_problem(image.outcome, ProblemKind::write_failed));
    for (const BuildProblem& p : image.outcome.problems) {
        if (p.kind == ProblemKind::write_failed) {
            EXPECT_NE(p.detail.find("space"), std::string::npos) << p.detail;
        }
    }
}

TEST(Faults, OutputThatCannotBeCreatedIsNamed)
{
    TempTree tree;
    Settings settings;
    BuiltImage image = build_paths({}, settings, tree.path("no/such/folder/out.iso"));
    EXPECT_FALSE(image.outcome.written);
    EXPECT_TRUE(has_problem(image.outcome, ProblemKind::output_not_created, "out.iso"));
}

TEST(Faults, OversizedItemsRefuseTheBuildBeforeTheOutputExists)
{
    TempTree tree;
    // A sparse file of exactly 4 GiB.
    {
        std::string path = tree.path("big/huge.bin");
        fs::create_directories(tree.path("big"));
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(0, fseeko(f, (off_t(1) << 32) - 1, SEEK_SET));
        std::fputc(0, f);
        std::fclose(f);
    }
    tree.file("existing.iso", "keep me");
    Settings settings;
    // The registration itself refuses the 4 GiB file.
    char line[512];
    Measurement m;
    EXPECT_FALSE(add_registration(tree.path("big").c_str(), line, m));
    EXPECT_EQ(m.problem, ProblemKind::file_too_large);
    EXPECT_NE(m.problem_path.find("huge.bin"), std::string::npos);

    // A file that grew past the limit after registration: the build refuses.
    tree.file("later/small.bin", "x");
    struct Lines {
        std::string line;
    } lines{"later\t    2\t    3\t    " + tree.path("later")};
    LineSource source;
    source.context = &lines;
    source.count = [](const void*) { return 1; };
    source.get = [](const void* c, int, char* buffer, size_t capacity) {
        std::snprintf(buffer, capacity, "%s", static_cast<const Lines*>(c)->line.c_str());
    };
    fs::rename(tree.path("big/huge.bin"), tree.path("later/huge.bin"));
    BuildOutcome outcome = build_lines(settings, source, tree.path("existing.iso"));
    EXPECT_FALSE(outcome.written);
    EXPECT_TRUE(has_problem(outcome, ProblemKind::file_too_large, "huge.bin"));
    EXPECT_EQ(read_whole_file(tree.path("existing.iso")), "keep me");

    // A boot image path longer than the field holds is refused, not cut.
    set_check(settings.boot, boot_ids::enabled, true);
    set_text(settings.boot, boot_ids::image_path, tree.path(std::string(600, 'b')));
    outcome = build_lines(settings, source, tree.path("existing.iso"));
    EXPECT_TRUE(has_problem(outcome, ProblemKind::path_too_long, "bbbb"));
    EXPECT_EQ(read_whole_file(tree.path("existing.iso")), "keep me");

    // A path longer than 511 bytes below a registered folder.
    std::string deep = "long";
    while (tree.path(deep).size() < 520)
        deep.append("/").append(60, 'n');
    tree.file(deep + "/x.txt", "x");
    EXPECT_FALSE(add_registration(tree.path("long").c_str(), line, m));
    EXPECT_EQ(m.problem, ProblemKind::path_too_long);
}

TEST(Faults, ScanGrowsTheTableBeyondTheRegisteredCount)
{
    TempTree tree;
    for (int i = 0; i < 300; ++i)
        tree.file("grow/f" + std::to_string(i), "");
    Settings settings;
    struct Lines {
        std::string line;
    } lines{"grow\t    1\t    2\t    " + tree.path("grow")};  // registered when it was empty
    LineSource source;
    source.context = &lines;
    source.count = [](const void*) { return 1; };
    source.get = [](const void* c, int, char* buffer, size_t capacity) {
        std::snprintf(buffer, capacity, "%s", static_cast<const Lines*>(c)->line.c_str());
    };
    BuildOutcome outcome = build_lines(settings, source, tree.path("out.iso"));
    ASSERT_TRUE(outcome.clean());
    if (!have_program("isoinfo"))
        GTEST_SKIP() << "isoinfo (package genisoimage) is not installed to count the files";
    std::string out;
    ASSERT_EQ(run_command("isoinfo -l -i " + tree.path("out.iso") + " | grep -c ';1'", &out), 0);
    EXPECT_EQ(std::stoi(out), 300);
}

TEST(Faults, SpecialFilesAndLoopsAreLeftOutAndNamed)
{
    TempTree tree;
    tree.file("t/a.txt", "a");
    ASSERT_EQ(0, mkfifo(tree.path("t/pipe").c_str(), 0600));
    fs::create_directory_symlink(tree.path("t"), tree.path("t/loop"));
    Settings settings;
    BuiltImage image = build_paths({tree.path("t")}, settings, tree.path("out.iso"));
    EXPECT_TRUE(image.outcome.clean()) << "notices only";
    EXPECT_TRUE(has_problem(image.outcome, ProblemKind::special_file_skipped, "pipe"));
    EXPECT_TRUE(has_problem(image.outcome, ProblemKind::directory_loop, "loop"));
}
#endif

TEST(Faults, AbortDuringOutputKeepsTheSectorsWrittenBeforeIt)
{
    // The file starts on an odd sector in one tree and on an even one in the
    // other, so plain output stops both inside reading and inside a
    // whole-batch copy; raw output stops inside a mapped file and inside a
    // batch of its own. Room set aside for the whole image is given back.
    const struct {
        const char* name;
        const char* registered;
        bool joliet;
        bool raw;
    } trees[] = {{"f.bin", "f.bin", true, false}, {"d/f.bin", "d", false, false}, {"d/f.bin", "d", false, true}};
    for (const auto& [name, registered, joliet, raw] : trees) {
        TempTree tree;
        tree.file_of_size(name, 2048 * 1000);
        Settings settings;
        set_check(settings.volume, volume_ids::joliet, joliet);
        BuildHow how;
        how.raw = raw;
        how.hooks = stop_when([](const BuildProgress& p) { return p.stage == 4 && p.sectors_written >= 256; });
        BuiltImage image = build_paths({tree.path(registered)}, settings, tree.path("out.iso"), how);
        EXPECT_TRUE(image.outcome.aborted) << name;
        EXPECT_FALSE(image.outcome.written) << name;
        EXPECT_EQ(image.bytes.size(), 256u * (raw ? 2352 : 2048)) << name;
#ifndef _WIN32
        struct stat st {};
        ASSERT_EQ(0, stat(tree.path("out.iso").c_str(), &st));
        EXPECT_LE(uint64_t(st.st_blocks) * 512, image.bytes.size() + 65536) << name;
#endif
        Settings again;
        BuiltImage next = build_paths({tree.path(registered)}, again, tree.path("out.iso"));
        EXPECT_TRUE(next.outcome.clean()) << "the next build starts clean";
        EXPECT_GT(next.bytes.size(), 1000u * 2048) << name;
    }
}

TEST(Faults, AbortDuringOrderingCreatesAnEmptyOutput)
{
    TempTree tree;
    tree.file("a", "a");
    tree.file("b", "b");
    tree.file("out.iso", "old contents");
    Settings settings;
    BuildHow how;
    how.hooks = stop_when([](const BuildProgress& p) { return p.stage == 1; });
    BuiltImage image = build_paths({tree.path("a"), tree.path("b")}, settings, tree.path("out.iso"), how);
    EXPECT_TRUE(image.outcome.aborted);
    EXPECT_EQ(image.bytes.size(), 0u);
}

// A build holds all its state itself: one started from inside another's
// hooks (as a front end's pump might) leaves the running one undisturbed,
// and each writes its own whole image.
TEST(Faults, NestedBuildsKeepTheirOwnState)
{
    TempTree tree;
    tree.file_of_size("f.bin", 2048 * 300);
    tree.file("g.txt", "nested");
    Settings settings;
    BuiltImage nested;
    bool started = false;
    BuildHow how;
    how.hooks.status = [&](const BuildProgress& p) {
        if (p.stage == 4 && p.sectors_written == 128 && !started) {
            started = true;
            Settings other;
            set_text(other.volume, volume_ids::volume_primary, "NESTED");
            nested = build_paths({tree.path("g.txt")}, other, tree.path("nested.iso"), true);
        }
    };
    BuiltImage image = build_paths({tree.path("f.bin")}, settings, tree.path("out.iso"), how);
    ASSERT_TRUE(started);
    EXPECT_TRUE(nested.outcome.clean());
    EXPECT_TRUE(image.outcome.clean()) << "the running build goes on undisturbed";
    Settings alone;
    EXPECT_EQ(image.bytes, build_paths({tree.path("f.bin")}, alone, tree.path("alone.iso")).bytes);
    Settings other;
    set_text(other.volume, volume_ids::volume_primary, "NESTED");
    EXPECT_EQ(nested.bytes, build_paths({tree.path("g.txt")}, other, tree.path("nested-alone.iso"), true).bytes);
}

}  // namespace
