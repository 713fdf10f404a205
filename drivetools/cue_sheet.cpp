#include "drivetools/cue_sheet.h"

#include "platform/endian.h"

#include <cstdio>

namespace drivetools {

size_t format_msf(char* out, size_t size, uint32_t sectors)
{
    int n = std::snprintf(out, size, "%02u:%02u:%02u", sectors / 4500, sectors % 4500 / 75, sectors % 75);
    return n < 0 ? 0 : static_cast<size_t>(n);
}

namespace {

// An audio track's INDEX 00 stands 2 seconds before its INDEX 01.
constexpr uint32_t pregap_sectors = 150;
// CONTROL bit 2 of a track descriptor: data track.
constexpr uint8_t control_data_track = 0x04;

void append_msf(std::string& text, uint32_t sectors)
{
    char time[16];
    format_msf(time, sizeof time, sectors);
    text += time;
}

}  // namespace

CueSheet build_cue_sheet(const uint8_t* toc, size_t size)
{
    CueSheet cue;
    if (size < 4)
        return cue;
    // The data length counts the 2 header bytes after it plus 8 per descriptor.
    uint32_t n = (get_be16(toc) >> 3) & 0xFF;
    size_t fitting = (size - 4) / 8;
    if (n > fitting)
        n = static_cast<uint32_t>(fitting);
    cue.descriptors = n;

    uint32_t lowest = 0xFFFFFFFF;
    uint32_t highest = 0;
    if (n > 0)
        cue.text += "FILE \"?\" BINARY\r\n";
    char piece[32];
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* d = toc + 4 + 8 * i;
        uint8_t control = d[1] & 0x0F;
        uint8_t track = d[2];
        uint32_t start = get_be32(d + 4);
        if (i + 1 < n) {
            std::snprintf(piece, sizeof piece, "TRACK %02u ", unsigned(track));
            cue.text += piece;
            if (control & control_data_track) {
                cue.text += "MODE?/2352\r\n  INDEX 01 ";
            } else {
                cue.text += "AUDIO\r\n";
                // No room for a pregap before the disc's first 150 sectors.
                if (start >= pregap_sectors) {
                    cue.text += "  INDEX 00 ";
                    append_msf(cue.text, start - pregap_sectors);
                    cue.text += "\r\n";
                }
                cue.text += "  INDEX 01 ";
            }
            append_msf(cue.text, start);
        }
        std::snprintf(piece, sizeof piece, " // %d\r\n", static_cast<int32_t>(start));
        cue.text += piece;
        if (start > highest)
            highest = start;
        if (start < lowest)
            lowest = start;
    }
    cue.first_sector = static_cast<int32_t>(lowest);
    cue.last_sector = static_cast<int32_t>(highest - 1);
    return cue;
}

}  // namespace drivetools
