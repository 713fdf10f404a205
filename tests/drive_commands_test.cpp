// The bytes sent to a CD-ROM drive and the cue sheet made from its TOC: pure
// functions, checked byte for byte and text for text.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "drivetools/cue_sheet.h"
#include "drivetools/drive_access.h"
#include "platform/scsi.h"
#include "simulated_drive.h"

using namespace drivetools;
using namespace scsi;

namespace {

std::vector<uint8_t> bytes_of(const uint8_t* p, size_t n)
{
    return std::vector<uint8_t>(p, p + n);
}

}  // namespace

TEST(DriveCommandBlocks, ReadCdPutsTheAddressBigEndianAndAsksForTheWholeSector)
{
    uint8_t cdb[12];
    build_read_cd(cdb, 74565);
    EXPECT_EQ(bytes_of(cdb, 12),
              (std::vector<uint8_t>{0xBE, 0x00, 0x00, 0x01, 0x23, 0x45, 0x00, 0x00, 0x01, 0xF8, 0x00, 0x00}));
    build_read_cd(cdb, 0xFFFFFF6A);  // LBA -150, the first track's pregap
    EXPECT_EQ(bytes_of(cdb + 2, 4), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0x6A}));
}

TEST(DriveCommandBlocks, ReadTocAsksForFormatZeroInBlockAddressesUpTo2352Bytes)
{
    uint8_t cdb[12];
    build_read_toc(cdb);
    EXPECT_EQ(bytes_of(cdb, 12),
              (std::vector<uint8_t>{0x43, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x09, 0x30, 0x00, 0x00, 0x00}));
}

TEST(DriveCommandBlocks, PassThroughRequestHasThe32BitWindowsLayout)
{
    uint8_t cdb[12];
    build_read_cd(cdb, 74565);
    uint8_t request[80];
    std::fill(std::begin(request), std::end(request), 0xCC);  // must be cleared
    build_pass_through_request(request, cdb, sizeof cdb, 0x00402010, 2352);

    std::vector<uint8_t> expected(80, 0);
    const std::vector<std::pair<size_t, std::vector<uint8_t>>> fields = {
        {0, {44, 0}},                                                     // Length
        {6, {12}},                                                        // CdbLength
        {7, {14}},                                                        // SenseInfoLength
        {8, {1}},                                                         // DataIn
        {12, {0x30, 0x09, 0, 0}},                                         // DataTransferLength 2352
        {16, {2, 0, 0, 0}},                                               // TimeOutValue
        {20, {0x10, 0x20, 0x40, 0}},                                      // DataBuffer
        {24, {48, 0, 0, 0}},                                              // SenseInfoOffset
        {28, {0xBE, 0, 0x00, 0x01, 0x23, 0x45, 0, 0, 0x01, 0xF8, 0, 0}},  // Cdb
    };
    for (const auto& [offset, value] : fields)
        std::copy(value.begin(), value.end(), expected.begin() + long(offset));
    EXPECT_EQ(bytes_of(request, 80), expected);
}

TEST(DriveCommandBlocks, DrivePathTakesTheLetterFromTheListIndex)
{
    const std::pair<int, const char*> cases[] = {{0, "\\\\.\\A:"}, {16, "\\\\.\\Q:"}, {25, "\\\\.\\Z:"}};
    for (const auto& [index, path] : cases) {
        char text[7];
        drive_path_for_selection(index, text);
        EXPECT_STREQ(text, path) << index;
    }
}

TEST(CueSheet, FormatMsfCountsSeventyFiveFramesASecond)
{
    const std::pair<uint32_t, const char*> cases[] = {
        {0, "00:00:00"},       {74, "00:00:74"},
        {75, "00:01:00"},      {4499, "00:59:74"},
        {4500, "01:00:00"},    {15000, "03:20:00"},
        {199850, "44:24:50"},  {449999, "99:59:74"},
        {450000, "100:00:00"}, {0xFFFFFFFF, "954437:10:45"},
    };
    for (const auto& [sectors, text] : cases) {
        char out[16];
        EXPECT_EQ(format_msf(out, sizeof out, sectors), std::strlen(text));
        EXPECT_STREQ(out, text) << sectors;
    }
}

namespace {

struct CueCase {
    const char* name;
    std::vector<TocTrack> toc;
    const char* text;
    int32_t first, last;
};

}  // namespace

TEST(CueSheet, TextAndRangeFollowTheToc)
{
    const CueCase cases[] = {
        {"data and audio",
         {{4, 1, 0}, {0, 2, 200000}, {4, 0xAA, 250000}},
         "FILE \"?\" BINARY\r\n"
         "TRACK 01 MODE?/2352\r\n  INDEX 01 00:00:00 // 0\r\n"
         "TRACK 02 AUDIO\r\n  INDEX 00 44:24:50\r\n  INDEX 01 44:26:50 // 200000\r\n"
         " // 250000\r\n",
         0,
         249999},
        {"one data track of a 74-minute disc",
         {{4, 1, 0}, {4, 0xAA, 333000}},
         "FILE \"?\" BINARY\r\nTRACK 01 MODE?/2352\r\n  INDEX 01 00:00:00 // 0\r\n // 333000\r\n",
         0,
         332999},
        {"audio track with room for its pregap",
         {{4, 1, 0}, {0, 2, 15000}, {0, 0xAA, 20000}},
         "FILE \"?\" BINARY\r\nTRACK 01 MODE?/2352\r\n  INDEX 01 00:00:00 // 0\r\n"
         "TRACK 02 AUDIO\r\n  INDEX 00 03:18:00\r\n  INDEX 01 03:20:00 // 15000\r\n // 20000\r\n",
         0,
         19999},
        {"audio disc: tracks too early for a pregap get no INDEX 00",
         {{0, 1, 0}, {0, 2, 149}, {0, 3, 150}, {0, 0xAA, 9000}},
         "FILE \"?\" BINARY\r\n"
         "TRACK 01 AUDIO\r\n  INDEX 01 00:00:00 // 0\r\n"
         "TRACK 02 AUDIO\r\n  INDEX 01 00:01:74 // 149\r\n"
         "TRACK 03 AUDIO\r\n  INDEX 00 00:00:00\r\n  INDEX 01 00:02:00 // 150\r\n"
         " // 9000\r\n",
         0,
         8999},
        {"two-digit track numbers, the lead-out's never printed",
         {{4, 12, 100}, {4, 0xAA, 200}},
         "FILE \"?\" BINARY\r\nTRACK 12 MODE?/2352\r\n  INDEX 01 00:01:25 // 100\r\n // 200\r\n",
         100,
         199},
        {"lowest and highest address, not first and last descriptor",
         {{4, 1, 500}, {4, 2, 100}, {4, 0xAA, 400}},
         "FILE \"?\" BINARY\r\nTRACK 01 MODE?/2352\r\n  INDEX 01 00:06:50 // 500\r\n"
         "TRACK 02 MODE?/2352\r\n  INDEX 01 00:01:25 // 100\r\n // 400\r\n",
         100,
         499},
        {"lead-out only", {{4, 0xAA, 0}}, "FILE \"?\" BINARY\r\n // 0\r\n", 0, -1},
        {"no descriptors", {}, "", -1, -1},
    };
    for (const CueCase& c : cases) {
        std::vector<uint8_t> toc = toc_answer(c.toc, 2352);
        CueSheet cue = build_cue_sheet(toc.data(), toc.size());
        EXPECT_EQ(cue.text, c.text) << c.name;
        EXPECT_EQ(cue.descriptors, c.toc.size()) << c.name;
        EXPECT_EQ(cue.first_sector, c.first) << c.name;
        EXPECT_EQ(cue.last_sector, c.last) << c.name;
    }
}

TEST(CueSheet, DescriptorCountIsBoundedByTheAnswer)
{
    // A length field claiming 255 descriptors in an answer of 3.
    std::vector<uint8_t> toc = toc_answer({{4, 1, 0}, {4, 2, 10}, {4, 0xAA, 20}}, 2352);
    put_be16(toc.data(), 2 + 8 * 255);
    EXPECT_EQ(build_cue_sheet(toc.data(), 4 + 3 * 8).descriptors, 3u);
    EXPECT_EQ(build_cue_sheet(toc.data(), 3).text, "");
    // The full buffer holds the zero descriptors that follow.
    EXPECT_EQ(build_cue_sheet(toc.data(), toc.size()).descriptors, 255u);
}
