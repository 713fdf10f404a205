#include "drivetools/cue_sheet.h"

#include "platform/endian.h"
#include "platform/platform.h"

#include <algorithm>
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

std::vector<DumpTrack> tracks_in_range(const uint8_t* toc, size_t size, int32_t first, int32_t last)
{
    std::vector<DumpTrack> tracks;
    if (size < 4 || int64_t(last) < int64_t(first))
        return tracks;
    uint32_t n = (get_be16(toc) >> 3) & 0xFF;
    n = std::min<uint32_t>(n, static_cast<uint32_t>((size - 4) / 8));
    for (uint32_t i = 0; i + 1 < n; ++i) {  // the last descriptor is the lead-out
        const uint8_t* d = toc + 4 + 8 * i;
        DumpTrack track;
        track.number = d[2];
        track.data = (d[1] & control_data_track) != 0;
        track.start = get_be32(d + 4);
        tracks.push_back(track);
    }
    std::stable_sort(tracks.begin(), tracks.end(),
                     [](const DumpTrack& a, const DumpTrack& b) { return a.start < b.start; });

    // Track i holds [start_i, start_i+1); the first reaches down to the
    // range's start, the last up to its end.
    std::vector<DumpTrack> covered;
    for (size_t i = 0; i < tracks.size(); ++i) {
        int64_t from = i == 0 ? std::min<int64_t>(first, tracks[i].start) : tracks[i].start;
        int64_t to = i + 1 < tracks.size() ? tracks[i + 1].start - 1 : std::max<int64_t>(last, tracks[i].start);
        from = std::max<int64_t>(from, first);
        to = std::min<int64_t>(to, last);
        if (from > to)
            continue;  // outside the range, or no sectors of its own
        // A range wholly inside the first track's pregap starts that track.
        tracks[i].first_dumped = tracks[i].start >= from && tracks[i].start <= to ? tracks[i].start : from;
        covered.push_back(tracks[i]);
    }
    return covered;
}

DumpCueSheet dump_cue_sheet(const std::string& file_name, const std::vector<DumpTrack>& tracks, int32_t first)
{
    DumpCueSheet cue;
    if (tracks.empty())
        return cue;
    cue.text = "FILE \"" + file_name + "\" BINARY\r\n";
    char line[48];
    for (size_t i = 0; i < tracks.size(); ++i) {
        const DumpTrack& t = tracks[i];
        const char* mode = "AUDIO";
        if (t.data) {
            mode = t.mode_byte == 2 ? "MODE2/2352" : "MODE1/2352";
            if (t.mode_byte != 1 && t.mode_byte != 2)
                cue.assumed_mode1.push_back(t.number);
        }
        std::snprintf(line, sizeof line, "  TRACK %02u %s\r\n", unsigned(t.number), mode);
        cue.text += line;
        // Only the first track can start after the dump does.
        if (i == 0 && t.first_dumped > first)
            cue.text += "    INDEX 00 00:00:00\r\n";
        cue.text += "    INDEX 01 ";
        append_msf(cue.text, static_cast<uint32_t>(t.first_dumped - first));
        cue.text += "\r\n";
    }
    return cue;
}

std::string path_leaf(const std::string& path)
{
    size_t slash = path.find_last_of(platform::path_separator == '/' ? "/" : "\\/:");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string cue_sheet_path(const std::string& image_path)
{
    size_t leaf = image_path.size() - path_leaf(image_path).size();
    size_t dot = image_path.rfind('.');
    std::string path = image_path;
    if (dot != std::string::npos && dot > leaf)
        path.erase(dot);
    return path + ".cue";
}

}  // namespace drivetools
