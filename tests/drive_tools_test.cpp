// The drive tools against the simulated MMC drive behind the device seam.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "drivetools/drive_access.h"
#include "drivetools/drive_tools.h"
#include "platform/scsi.h"
#include "simulated_drive.h"
#include "test_support.h"

using namespace drivetools;
using namespace scsi;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> progress_seen;
void record_progress(void*, const char* text)
{
    progress_seen.emplace_back(text);
}

// The fake pump "closes the Tool window" on its n-th call.
int pump_calls = 0;
int stop_on_call = 0;
bool stop_flag = false;
void fake_pump()
{
    if (++pump_calls == stop_on_call)
        stop_flag = true;
}

class DriveTools : public ::testing::Test {
protected:
    SimulatedDrive sim;
    platform::DeviceBackend backend = sim.backend();
    ProgressDisplay progress{record_progress, nullptr};
    JobHooks hooks{fake_pump, [] { return stop_flag; }};
    TempTree tree;
    fs::path folder{tree.root};
    std::string output = tree.path("out.bin");

    void SetUp() override
    {
        progress_seen.clear();
        pump_calls = 0;
        stop_on_call = 0;
        stop_flag = false;
    }
    std::vector<uint8_t> written() const
    {
        std::ifstream in(output, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }
    const uint8_t* disc_sector(uint32_t lba) const { return sim.sector(lba); }
};

bool is_zero(const uint8_t* p, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (p[i])
            return false;
    return true;
}

}  // namespace

TEST_F(DriveTools, TocBecomesCueSheetAndWholeDiscRange)
{
    sim.toc = {{4, 1, 0}, {0, 2, 200000}, {4, 0xAA, 250000}};
    TocQuery q = query_toc(backend, "Q:");
    ASSERT_EQ(q.status, ToolStatus::done);
    EXPECT_EQ(output_text(q, Language::japanese),
              "FILE \"?\" BINARY\r\nTRACK 01 MODE?/2352\r\n  INDEX 01 00:00:00 // 0\r\n"
              "TRACK 02 AUDIO\r\n  INDEX 00 44:24:50\r\n  INDEX 01 44:26:50 // 200000\r\n // 250000\r\n");
    EXPECT_EQ(q.cue.first_sector, 0);
    EXPECT_EQ(q.cue.last_sector, 249999);
    EXPECT_EQ(sim.mode, platform::DeviceMode::pass_through);
    EXPECT_EQ(sim.closes, sim.opens);
    ASSERT_EQ(sim.commands.size(), 1u);
    EXPECT_EQ(sim.commands[0], (std::vector<uint8_t>{0x43, 0, 0, 0, 0, 0, 0, 0x09, 0x30, 0, 0, 0}));
}

TEST_F(DriveTools, TocFailuresAreSaid)
{
    struct Case {
        const char* name;
        bool openable, fails;
        ToolStatus status;
        const char* english;
    } cases[] = {
        {"no drive", false, false, ToolStatus::open_failed, "cannot open drive /dev/sr9 (No such device)"},
        {"no disc", true, true, ToolStatus::read_failed, "cannot read the table of contents of /dev/sr9"},
        {"empty answer", true, false, ToolStatus::no_tracks, "lists no tracks"},
    };
    for (const Case& c : cases) {
        sim.openable = c.openable;
        sim.toc_fails = c.fails;
        TocQuery q = query_toc(backend, "/dev/sr9");
        EXPECT_EQ(q.status, c.status) << c.name;
        EXPECT_NE(output_text(q, Language::english).find(c.english), std::string::npos) << c.name;
        EXPECT_FALSE(output_text(q, Language::japanese).empty()) << c.name;
    }
}

TEST_F(DriveTools, IdentificationRunsTheThreeFieldsTogether)
{
    sim.identification = "QEMU    QEMU DVD-ROM    2.5+";
    DriveIdentification id = query_drive_identification(backend, "Q:");
    EXPECT_EQ(id.status, ToolStatus::done);
    EXPECT_EQ(output_text(id, Language::english), "QEMU    QEMU DVD-ROM    2.5+");

    sim.inquiry_fails = true;
    id = query_drive_identification(backend, "Q:");
    EXPECT_EQ(id.status, ToolStatus::read_failed);
    EXPECT_EQ(id.text, "");
    EXPECT_EQ(output_text(id, Language::japanese), "ドライブIDを取得できません");
    EXPECT_EQ(sim.closes, sim.opens);
}

TEST_F(DriveTools, CdImageCopiesTheRangeWithProgressEvery256thAddress)
{
    sim.disc = make_disc(1000);
    struct Case {
        int32_t first, last;
        std::vector<std::string> progress;
    } cases[] = {
        {0, 255, {"256/1", ""}},
        {100, 355, {"256/101", ""}},
        {0, 599, {"256/345", "512/89", ""}},
        {7, 7, {""}},
        {8, 7, {""}},
    };
    for (const Case& c : cases) {
        progress_seen.clear();
        CdImageResult r = create_cd_image(backend, "Q:", output.c_str(), c.first, c.last, progress, hooks);
        EXPECT_TRUE(is_clean_copy(r)) << c.first << ".." << c.last;
        EXPECT_EQ(output_text(r, Language::english), "");
        EXPECT_EQ(progress_seen, c.progress) << c.first << ".." << c.last;
        std::vector<uint8_t> file = written();
        size_t count = size_t(c.last - c.first + 1);
        ASSERT_EQ(file.size(), count * raw_sector_size);
        if (count) {
            EXPECT_EQ(0, std::memcmp(file.data(), disc_sector(uint32_t(c.first)), file.size()));
        }
    }
}

TEST_F(DriveTools, CdImageStopsWithinOnePumpIntervalOfTheClose)
{
    sim.disc = make_disc(1000);
    const std::pair<int, std::vector<std::string>> cases[] = {
        {1, {"256/332745", ""}},
        {3, {"256/332745", "512/332489", "768/332233", ""}},
    };
    for (const auto& [call, expected] : cases) {
        progress_seen.clear();
        pump_calls = 0;
        stop_on_call = call;
        stop_flag = false;
        CdImageResult r = create_cd_image(backend, "Q:", output.c_str(), 0, 332999, progress, hooks);
        EXPECT_EQ(r.status, ToolStatus::stopped);
        EXPECT_EQ(progress_seen, expected);
        EXPECT_EQ(r.sectors, 256u * unsigned(call));
        std::vector<uint8_t> file = written();
        ASSERT_EQ(file.size(), r.sectors * raw_sector_size);
        EXPECT_EQ(0, std::memcmp(file.data(), sim.disc.data(), file.size()));
        EXPECT_NE(output_text(r, Language::english).find("stopped after"), std::string::npos);
    }
}

TEST_F(DriveTools, UnreadableSectorsStayZeroAtTheirPlacesAndAreCounted)
{
    sim.disc = make_disc(300);  // shorter than the range
    sim.unreadable = {5, 17};
    CdImageResult r = create_cd_image(backend, "Q:", output.c_str(), 0, 309, progress, hooks);
    EXPECT_EQ(r.status, ToolStatus::done);
    EXPECT_FALSE(is_clean_copy(r));
    EXPECT_EQ(r.unreadable, 12u);
    EXPECT_EQ(r.first_unreadable, 5);
    std::vector<uint8_t> file = written();
    ASSERT_EQ(file.size(), 310 * raw_sector_size);
    for (uint32_t s = 0; s < 310; ++s) {
        const uint8_t* got = file.data() + size_t(s) * raw_sector_size;
        if (s == 5 || s == 17 || s >= 300) {
            EXPECT_TRUE(is_zero(got, raw_sector_size)) << s;
        } else {
            EXPECT_EQ(0, std::memcmp(got, disc_sector(s), raw_sector_size)) << s;
        }
    }
    EXPECT_EQ(output_text(r, Language::english),
              "12 of 310 sectors could not be read, the first at sector 5; they are zero-filled in " + output +
                  ", which is not a clean copy");
    EXPECT_EQ(output_text(r, Language::japanese),
              "12 / 310 セクタを読み取れませんでした (最初はセクタ 5)。"
              "そのセクタは 0 で埋めてあり、完全な複製ではありません");
}

TEST_F(DriveTools, NegativeAddressesReachTheDriveAsTwosComplement)
{
    sim.disc = make_disc(10);
    CdImageResult r = create_cd_image(backend, "Q:", output.c_str(), -2, 1, progress, hooks);
    ASSERT_EQ(sim.commands.size(), 4u);
    EXPECT_EQ(get_be32(sim.commands[0].data() + 2), 0xFFFFFFFEu);
    EXPECT_EQ(r.unreadable, 2u);
    EXPECT_EQ(r.first_unreadable, -2);
    EXPECT_EQ(written().size(), 4 * raw_sector_size);
}

TEST_F(DriveTools, CdImageRefusalsLeaveNothingBehind)
{
    sim.disc = make_disc(10);
    struct Case {
        const char* name;
        int32_t first, last;
        bool openable;
        std::string out;
        ToolStatus status;
        std::string english;
    } cases[] = {
        {"range below first - 1", 10, 8, true, output, ToolStatus::refused_range,
         "last sector 8 is below first sector 10 minus 1; nothing was written"},
        {"extreme range", INT32_MAX, INT32_MIN, true, output, ToolStatus::refused_range,
         "last sector -2147483648 is below first sector 2147483647 minus 1; nothing was written"},
        {"drive does not open", 0, 5, false, output, ToolStatus::open_failed, "cannot open drive Q: (No such device)"},
        {"output cannot be created", 0, 5, true, (folder / "missing" / "out.bin").string(), ToolStatus::create_failed,
         "cannot create " + (folder / "missing" / "out.bin").string() + ": "},
    };
    for (const Case& c : cases) {
        sim.openable = c.openable;
        sim.opens = sim.closes = 0;
        CdImageResult r = create_cd_image(backend, "Q:", c.out.c_str(), c.first, c.last, progress, hooks);
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(output_text(r, Language::english).rfind(c.english, 0), 0u)
            << c.name << ": " << output_text(r, Language::english);
        EXPECT_FALSE(output_text(r, Language::japanese).empty());
        EXPECT_FALSE(fs::exists(c.out)) << c.name;
        EXPECT_EQ(sim.closes, sim.opens) << c.name;
        if (c.status == ToolStatus::refused_range) {
            EXPECT_EQ(sim.opens, 0) << c.name;
        }
    }
    CdImageResult refused;
    refused.status = ToolStatus::refused_range;
    refused.first = 10;
    refused.last = 8;
    EXPECT_EQ(output_text(refused, Language::japanese),
              "最終セクタ (8) が先頭セクタ (10) - 1 より小さいため、作成しません");
}

TEST_F(DriveTools, FloppyImageShowsEvery16thBlockAndThenNothing)
{
    sim.volume.resize(1474560);
    std::mt19937 random(5);
    for (auto& b : sim.volume)
        b = uint8_t(random());
    DiskImageResult r = create_disk_image(backend, "/dev/fd0", output.c_str(), progress, hooks);
    EXPECT_TRUE(is_clean_copy(r));
    EXPECT_EQ(r.blocks, 2880u);
    EXPECT_EQ(sim.mode, platform::DeviceMode::volume);
    std::vector<std::string> expected;
    for (int n = 16; n <= 2880; n += 16)
        expected.push_back(std::to_string(n));
    expected.push_back("");
    EXPECT_EQ(progress_seen, expected);
    EXPECT_EQ(written(), sim.volume);
    EXPECT_EQ(output_text(r, Language::english), "");
}

TEST_F(DriveTools, DiskImageCutShortSaysWhere)
{
    struct Case {
        const char* name;
        size_t size;
        int64_t fail_at;
        int stop_call;
        ToolStatus status;
        uint64_t blocks;
        std::string english;
    } cases[] = {
        {"read error", 4096 * 512, 100 * 512 + 10, 0, ToolStatus::read_failed, 100,
         "read error at block 100 (byte 51200) of A:; "},
        {"no medium", 0, 0, 0, ToolStatus::read_failed, 0, "read error at block 0 (byte 0) of A:; "},
        {"partial last block", 1000, -1, 0, ToolStatus::partial_block, 1, "A: ends 488 bytes into block 1; "},
        {"closed window", 4096 * 512, -1, 2, ToolStatus::stopped, 32, "stopped after 32 blocks; "},
    };
    for (const Case& c : cases) {
        sim.volume.assign(c.size, 0x5A);
        sim.fail_at = c.fail_at;
        pump_calls = 0;
        stop_on_call = c.stop_call;
        DiskImageResult r = create_disk_image(backend, "A:", output.c_str(), progress, hooks);
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_FALSE(is_clean_copy(r)) << c.name;
        EXPECT_EQ(r.blocks, c.blocks) << c.name;
        EXPECT_TRUE(fs::exists(output)) << c.name;
        EXPECT_EQ(written(), std::vector<uint8_t>(c.blocks * 512, 0x5A)) << c.name;
        EXPECT_EQ(output_text(r, Language::english).rfind(c.english, 0), 0u)
            << c.name << ": " << output_text(r, Language::english);
        EXPECT_FALSE(output_text(r, Language::japanese).empty()) << c.name;
    }
}

TEST_F(DriveTools, DiskImageFailsToOpenOrCreate)
{
    sim.openable = false;
    DiskImageResult r = create_disk_image(backend, "A:", output.c_str(), progress, hooks);
    EXPECT_EQ(r.status, ToolStatus::open_failed);
    EXPECT_EQ(output_text(r, Language::japanese), "ドライブ A: を開けません (No such device)");
    EXPECT_FALSE(fs::exists(output));

    sim.openable = true;
    std::string bad = (folder / "missing" / "a.img").string();
    r = create_disk_image(backend, "A:", bad.c_str(), progress, hooks);
    EXPECT_EQ(r.status, ToolStatus::create_failed);
    EXPECT_EQ(output_text(r, Language::english).rfind("cannot create " + bad + ": ", 0), 0u);
    EXPECT_EQ(sim.closes, sim.opens);
}

TEST_F(DriveTools, DumpCueSheetListsTheTracksOfTheRangeWithTheirModes)
{
    struct Case {
        const char* name;
        std::vector<TocTrack> toc;
        std::vector<std::pair<uint32_t, uint8_t>> modes;  // byte 15 of these sectors
        int32_t first, last;
        const char* tracks;  // the sheet after its FILE line
        size_t reads;        // READ CD commands after the READ TOC
        std::vector<uint8_t> assumed;
    } cases[] = {
        {"one data track",
         {{4, 1, 0}, {4, 0xAA, 3000}},
         {{0, 1}},
         0,
         2999,
         "  TRACK 01 MODE1/2352\r\n    INDEX 01 00:00:00\r\n",
         1,
         {}},
        {"data and audio tracks: audio needs no read",
         {{4, 1, 0}, {0, 2, 1000}, {0, 3, 2000}, {0, 0xAA, 3000}},
         {{0, 1}},
         0,
         2999,
         "  TRACK 01 MODE1/2352\r\n    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n    INDEX 01 00:13:25\r\n"
         "  TRACK 03 AUDIO\r\n    INDEX 01 00:26:50\r\n",
         1,
         {}},
        {"range from mid-track: its mode from the first dumped sector, nothing after the range",
         {{4, 1, 0}, {4, 2, 1000}, {0, 3, 2000}, {0, 0xAA, 3000}},
         {{0, 1}, {500, 2}, {1000, 1}},
         500,
         1500,
         "  TRACK 01 MODE2/2352\r\n    INDEX 01 00:00:00\r\n  TRACK 02 MODE1/2352\r\n    INDEX 01 00:06:50\r\n",
         2,
         {}},
        {"mode 2 first sector",
         {{4, 1, 0}, {4, 0xAA, 3000}},
         {{0, 2}},
         0,
         99,
         "  TRACK 01 MODE2/2352\r\n    INDEX 01 00:00:00\r\n",
         1,
         {}},
        {"range inside an audio track",
         {{0, 1, 0}, {0, 2, 1000}, {0, 0xAA, 3000}},
         {},
         1200,
         1300,
         "  TRACK 02 AUDIO\r\n    INDEX 01 00:00:00\r\n",
         0,
         {}},
        {"dump from before track 1: the sectors before it are its INDEX 00",
         {{4, 1, 150}, {4, 0xAA, 3000}},
         {{0, 1}, {150, 2}},
         0,
         299,
         "  TRACK 01 MODE2/2352\r\n    INDEX 00 00:00:00\r\n    INDEX 01 00:02:00\r\n",
         1,
         {}},
        {"mode 0 first sector: MODE1, said",
         {{4, 7, 0}, {4, 0xAA, 3000}},
         {{0, 0}},
         0,
         9,
         "  TRACK 07 MODE1/2352\r\n    INDEX 01 00:00:00\r\n",
         1,
         {7}},
        {"past the lead-out, unreadable: the last track's, MODE1, said",
         {{0, 1, 0}, {4, 2, 2000}, {4, 0xAA, 3000}},
         {},
         3005,
         3010,
         "  TRACK 02 MODE1/2352\r\n    INDEX 01 00:00:00\r\n",
         1,
         {2}},
    };
    for (const Case& c : cases) {
        sim.disc = make_disc(3000);
        for (const auto& [lba, mode] : c.modes)
            sim.disc[size_t(lba) * raw_sector_size + 15] = mode;
        sim.toc = c.toc;
        sim.commands.clear();
        DumpCueResult r = make_dump_cue_sheet(backend, "Q:", output.c_str(), c.first, c.last);
        ASSERT_EQ(r.status, ToolStatus::done) << c.name;
        const std::string text = std::string("FILE \"out.bin\" BINARY\r\n") + c.tracks;
        EXPECT_EQ(r.cue.text, text) << c.name;
        EXPECT_EQ(sim.commands.size(), 1 + c.reads) << c.name;
        EXPECT_EQ(r.cue.assumed_mode1, c.assumed) << c.name;
        EXPECT_EQ(output_text(r, Language::english).empty(), c.assumed.empty()) << c.name;
        save_dump_cue_sheet(r);
        EXPECT_EQ(r.status, ToolStatus::done) << c.name;
        EXPECT_EQ(read_whole_file(tree.path("out.cue")), text) << c.name;
        // verify --cue reads the sheet back: the same tracks, modes and starts.
        const ParsedCueSheet back = parse_cue_sheet(text);
        EXPECT_EQ(back.error, "") << c.name;
        size_t listed = 0;
        for (size_t at = text.find("TRACK "); at != std::string::npos; at = text.find("TRACK ", at + 1))
            ++listed;
        EXPECT_EQ(back.tracks.size(), listed) << c.name;
    }
}

// The tracks of a sheet in short: number, M1/M2/A, INDEX 00 when given, INDEX 01.
std::string cue_summary(const ParsedCueSheet& cue)
{
    std::string text;
    if (!cue.error.empty())
        text.append("error ").append(cue.error);
    for (const CueTrack& t : cue.tracks) {
        if (!text.empty())
            text.append("; ");
        text.append(std::to_string(t.number));
        text.append(t.type == CueTrackType::mode1_2352 ? " M1 " : t.type == CueTrackType::mode2_2352 ? " M2 " : " A ");
        if (t.has_index0)
            text.append(std::to_string(t.index0)).append("/");
        text.append(std::to_string(t.index1));
    }
    return text;
}

TEST(CueSheetReading, TracksOfOneBinaryFileOrTheLineThatIsWrong)
{
    struct Case {
        const char* text;
        const char* tracks;
    } cases[] = {
        {"FILE \"a b.bin\" BINARY\r\n  TRACK 01 MODE1/2352\r\n    INDEX 01 00:00:00\r\n"
         "  TRACK 02 AUDIO\r\n    INDEX 00 00:40:00\r\n    INDEX 01 00:42:00\r\n",
         "1 M1 0; 2 A 3000/3150"},
        {"REM x\nfile disc.bin binary\ntrack 3 mode2/2352\nflags dcp\nindex 1 1:2:3\nindex 2 1:2:4\n", "3 M2 4653"},
        {"", "error no FILE line"},
        {"FILE \"a.bin\" BINARY\n", "error no TRACK line"},
        {"FILE \"a.bin\" BINARY\nTRACK 01 AUDIO\n", "error track 1 has no INDEX 01"},
        {"FILE \"a.bin\" BINARY\nTRACK 01 MODE1/2048\nINDEX 01 00:00:00\n",
         "error line 2: track type MODE1/2048: only MODE1/2352, MODE2/2352 and AUDIO are taken"},
        {"FILE \"a.bin\" WAVE\n", "error line 1: FILE needs a name and the type BINARY"},
        {"FILE \"a.bin\" BINARY\nFILE \"b.bin\" BINARY\n",
         "error line 2: a second FILE: only a sheet of one image file is taken"},
        {"FILE \"a.bin BINARY\n", "error line 1: a quotation mark is not closed"},
        {"TRACK 01 AUDIO\n", "error line 1: TRACK before FILE"},
        {"FILE a BINARY\nTRACK 02 AUDIO\nINDEX 01 00:10:00\nTRACK 02 AUDIO\n",
         "error line 4: track 02 does not follow track 2"},
        {"FILE a BINARY\nTRACK 01 AUDIO\nINDEX 01 00:10:00\nTRACK 02 AUDIO\nINDEX 01 00:10:00\n",
         "error line 5: track 2 starts where track 1 does"},
        {"FILE a BINARY\nTRACK 01 AUDIO\nINDEX 01 00:10:00\nTRACK 02 AUDIO\nINDEX 01 00:09:00\n",
         "error line 5: INDEX 01 at 00:09:00 lies before the index above it"},
        {"FILE a BINARY\nTRACK 01 AUDIO\nINDEX 01 00:60:00\n",
         "error line 3: INDEX needs a number 00..99 and a time mm:ss:ff"},
        {"FILE a BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:75\n",
         "error line 3: INDEX needs a number 00..99 and a time mm:ss:ff"},
        {"FILE a BINARY\nTRACK 01 AUDIO\nINDEX 02 00:00:00\n", "error line 3: INDEX 02 before INDEX 01"},
        {"\177ELF binary junk\n", "error line 1: a line that is not text"},
        {"FILE a BINARY\nTRACKS 01 AUDIO\n", "error line 2: unknown command TRACKS"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cue_summary(parse_cue_sheet(c.text)), c.tracks) << c.text;
}

TEST_F(DriveTools, DumpCueSheetRefusalsAreSaid)
{
    sim.disc = make_disc(10);
    struct Case {
        const char* name;
        std::vector<TocTrack> toc;
        bool openable, toc_fails;
        std::string image;
        ToolStatus status;
        std::string english;
    } cases[] = {
        {"no drive",
         {{4, 1, 0}, {4, 0xAA, 10}},
         false,
         false,
         output,
         ToolStatus::open_failed,
         "no cue sheet: cannot open drive Q: (No such device)"},
        {"no disc",
         {},
         true,
         true,
         output,
         ToolStatus::read_failed,
         "no cue sheet: cannot read the table of contents of Q:"},
        {"lead-out only",
         {{4, 0xAA, 0}},
         true,
         false,
         output,
         ToolStatus::no_tracks,
         "no cue sheet: the table of contents of Q: lists no track in sectors 0 to 9"},
        {"image named like its sheet",
         {{4, 1, 0}, {4, 0xAA, 10}},
         true,
         false,
         tree.path("disc.cue"),
         ToolStatus::sheet_is_image,
         "the cue sheet " + tree.path("disc.cue") + " would replace the image itself"},
    };
    for (const Case& c : cases) {
        sim.toc = c.toc;
        sim.openable = c.openable;
        sim.toc_fails = c.toc_fails;
        DumpCueResult r = make_dump_cue_sheet(backend, "Q:", c.image.c_str(), 0, 9);
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(output_text(r, Language::english), c.english) << c.name;
        EXPECT_FALSE(output_text(r, Language::japanese).empty()) << c.name;
        EXPECT_EQ(sim.closes, sim.opens) << c.name;
    }
    DumpCueResult r;
    r.sheet = (folder / "missing" / "out.cue").string();
    r.cue.text = "FILE";
    save_dump_cue_sheet(r);
    EXPECT_EQ(r.status, ToolStatus::create_failed);
    EXPECT_EQ(output_text(r, Language::english).rfind("cannot create the cue sheet " + r.sheet + ": ", 0), 0u);
}
