#include "drivetools/cue_sheet.h"

#include "platform/endian.h"
#include "platform/platform.h"

#include <algorithm>
#include <cctype>
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

namespace {

std::string upper(std::string word)
{
    for (char& c : word)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return word;
}

// The words of a line; a word in double quotes keeps its spaces.
std::vector<std::string> cue_words(const std::string& line, bool& open_quote)
{
    std::vector<std::string> words;
    open_quote = false;
    for (size_t i = 0; i < line.size();) {
        if (line[i] == ' ' || line[i] == '\t') {
            ++i;
        } else if (line[i] == '"') {
            const size_t end = line.find('"', i + 1);
            if (end == std::string::npos) {
                open_quote = true;
                return words;
            }
            words.push_back(line.substr(i + 1, end - i - 1));
            i = end + 1;
        } else {
            size_t end = i;
            while (end < line.size() && line[end] != ' ' && line[end] != '\t')
                ++end;
            words.push_back(line.substr(i, end - i));
            i = end;
        }
    }
    return words;
}

bool small_number(const std::string& word, size_t max_digits, uint32_t& value)
{
    if (word.empty() || word.size() > max_digits)
        return false;
    value = 0;
    for (char c : word) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + uint32_t(c - '0');
    }
    return true;
}

// mm:ss:ff at 75 frames a second; minutes up to four digits.
bool cue_time(const std::string& word, uint32_t& sectors)
{
    const size_t a = word.find(':'), b = word.find(':', a == std::string::npos ? a : a + 1);
    uint32_t m, s, f;
    if (a == std::string::npos || b == std::string::npos || !small_number(word.substr(0, a), 4, m) ||
        !small_number(word.substr(a + 1, b - a - 1), 2, s) || !small_number(word.substr(b + 1), 2, f) || s >= 60 ||
        f >= 75)
        return false;
    sectors = (m * 60 + s) * 75 + f;
    return true;
}

}  // namespace

ParsedCueSheet parse_cue_sheet(const std::string& text)
{
    ParsedCueSheet cue;
    size_t files = 0, line_number = 0;
    auto fail = [&](const std::string& why) {
        cue.error = "line " + std::to_string(line_number) + ": " + why;
        cue.tracks.clear();
        return cue;
    };
    uint32_t last_index = 0;  // the highest index time so far
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        ++line_number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        bool open_quote;
        const std::vector<std::string> words = cue_words(line, open_quote);
        if (open_quote)
            return fail("a quotation mark is not closed");
        if (words.empty())
            continue;
        const std::string command = upper(words[0]);
        if (command == "REM" || command == "CATALOG" || command == "CDTEXTFILE" || command == "TITLE" ||
            command == "PERFORMER" || command == "SONGWRITER" || command == "ISRC" || command == "FLAGS" ||
            command == "PREGAP" || command == "POSTGAP")
            continue;
        if (command == "FILE") {
            if (++files > 1)
                return fail("a second FILE: only a sheet of one image file is taken");
            if (words.size() != 3 || upper(words[2]) != "BINARY")
                return fail("FILE needs a name and the type BINARY");
            cue.file_name = words[1];
        } else if (command == "TRACK") {
            uint32_t number;
            if (files == 0)
                return fail("TRACK before FILE");
            if (words.size() != 3 || !small_number(words[1], 2, number) || number < 1)
                return fail("TRACK needs a number 01..99 and a type");
            if (!cue.tracks.empty() && number <= cue.tracks.back().number)
                return fail("track " + words[1] + " does not follow track " + std::to_string(cue.tracks.back().number));
            if (!cue.tracks.empty() && cue.tracks.back().index1 == UINT32_MAX)
                return fail("track " + std::to_string(cue.tracks.back().number) + " has no INDEX 01");
            const std::string type = upper(words[2]);
            CueTrack track;
            track.number = uint8_t(number);
            track.index1 = UINT32_MAX;
            if (type == "MODE1/2352")
                track.type = CueTrackType::mode1_2352;
            else if (type == "MODE2/2352")
                track.type = CueTrackType::mode2_2352;
            else if (type == "AUDIO")
                track.type = CueTrackType::audio;
            else
                return fail("track type " + words[2] + ": only MODE1/2352, MODE2/2352 and AUDIO are taken");
            cue.tracks.push_back(track);
        } else if (command == "INDEX") {
            uint32_t number, time;
            if (cue.tracks.empty())
                return fail("INDEX before TRACK");
            if (words.size() != 3 || !small_number(words[1], 2, number) || !cue_time(words[2], time))
                return fail("INDEX needs a number 00..99 and a time mm:ss:ff");
            CueTrack& track = cue.tracks.back();
            if (time < last_index)
                return fail("INDEX " + words[1] + " at " + words[2] + " lies before the index above it");
            if (number == 0) {
                if (track.has_index0 || track.index1 != UINT32_MAX)
                    return fail("INDEX 00 after another index of its track");
                track.has_index0 = true;
                track.index0 = time;
            } else if (number == 1) {
                if (track.index1 != UINT32_MAX)
                    return fail("a second INDEX 01");
                if (cue.tracks.size() > 1 && time == cue.tracks[cue.tracks.size() - 2].index1)
                    return fail("track " + std::to_string(track.number) + " starts where track " +
                                std::to_string(cue.tracks[cue.tracks.size() - 2].number) + " does");
                track.index1 = time;
            } else if (track.index1 == UINT32_MAX) {
                return fail("INDEX " + words[1] + " before INDEX 01");
            }
            last_index = time;
        } else {
            const bool text_word =
                std::all_of(words[0].begin(), words[0].end(), [](char c) { return c > ' ' && c < 0x7F; });
            return fail(text_word ? "unknown command " + words[0] : std::string("a line that is not text"));
        }
    }
    if (files == 0 || cue.tracks.empty() || cue.tracks.back().index1 == UINT32_MAX) {
        cue.error = files == 0           ? "no FILE line"
                    : cue.tracks.empty() ? "no TRACK line"
                                         : "track " + std::to_string(cue.tracks.back().number) + " has no INDEX 01";
        cue.tracks.clear();
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
