// The disc's table of contents (READ TOC format 0, addresses as logical block
// addresses) turned into the text of a cue sheet for a raw 2352-byte image
// made from sector 0, and the sector range that covers the whole disc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace drivetools {

// "MM:SS:FF" of a sector count at 75 sectors a second (minutes may run past
// 99). Writes at most `size` bytes including the terminator; gives the length.
size_t format_msf(char* out, size_t size, uint32_t sectors);

struct CueSheet {
    // FILE "?" BINARY, one TRACK block per track with INDEX 00 (audio, when
    // there is room for the 2-second pregap) and INDEX 01, and a closing
    // " // N" line for the lead-out; every line ends in CR LF. The two "?"
    // (file name, data mode) are for the user to fill in.
    std::string text;
    // Track descriptors in the answer, the lead-out included.
    uint32_t descriptors = 0;
    // Lowest start address, and the highest (the lead-out's) minus 1: the
    // range that copies the whole disc.
    int32_t first_sector = 0;
    int32_t last_sector = 0;
};

// Parses a TOC answer of `size` bytes (normally the 2352-byte buffer of the
// command). Descriptors that would lie beyond `size` are not read.
CueSheet build_cue_sheet(const uint8_t* toc, size_t size);

// One track of a dump of the sector range first..last, as its cue sheet
// lists it.
struct DumpTrack {
    uint8_t number = 0;
    bool data = false;  // CONTROL bit 2 of its descriptor
    int64_t start = 0;  // its start address in the TOC
    // Where its INDEX 01 goes: its start, or the range's first sector when it
    // starts before the range (or the range lies wholly in its pregap).
    int64_t first_dumped = 0;
    uint8_t mode_byte = 0;  // byte 15 of that sector; read by the caller
};

// The tracks holding sectors of first..last, in address order. A sector
// belongs to the track with the highest start at or below it; sectors before
// the first track (its pregap) belong to the first track, and sectors from
// the lead-out on to the last one, so every sector of the range has a track.
// The last descriptor is the lead-out, as in build_cue_sheet.
std::vector<DumpTrack> tracks_in_range(const uint8_t* toc, size_t size, int32_t first, int32_t last);

struct DumpCueSheet {
    // FILE "<file_name>" BINARY, then per track TRACK nn MODE1/2352,
    // MODE2/2352 or AUDIO and INDEX 01 at its offset in the dump (00:00:00
    // for a track that starts before it). READ TOC reports no index 0
    // positions, so no INDEX 00 is written, except 00:00:00 for a first track
    // that starts after the dump does: the sectors before it are its pregap.
    // CR LF line ends; empty when there are no tracks.
    std::string text;
    // Data tracks whose first dumped sector has a mode byte other than 1 or
    // 2 (an unreadable sector reads as zeros): written as MODE1/2352.
    std::vector<uint8_t> assumed_mode1;
};

DumpCueSheet dump_cue_sheet(const std::string& file_name, const std::vector<DumpTrack>& tracks, int32_t first);

// A cue sheet read back: the tracks of a single-file image of 2352-byte
// sectors, for checking the image track by track.
enum class CueTrackType : uint8_t { mode1_2352, mode2_2352, audio };
struct CueTrack {
    uint8_t number = 0;
    CueTrackType type = CueTrackType::audio;
    bool has_index0 = false;          // INDEX 00 given: the sectors from it to INDEX 01 are its pregap
    uint32_t index0 = 0, index1 = 0;  // sectors from the start of the file
};
struct ParsedCueSheet {
    std::string file_name;
    std::vector<CueTrack> tracks;
    std::string error;  // "line N: why" (or why alone); empty when the sheet was read
};

// Reads a cue sheet of one FILE "..." BINARY of TRACK nn MODE1/2352,
// MODE2/2352 or AUDIO blocks, each with its INDEX 01 (and optionally INDEX 00
// and further indexes) as mm:ss:ff in the file. Keywords in any case; lines
// end in LF or CR LF. REM, CATALOG, CDTEXTFILE, TITLE, PERFORMER,
// SONGWRITER, ISRC, FLAGS, PREGAP and POSTGAP (which take no room in the
// file) are passed over. Anything else, track numbers 01..99 not rising, or
// indexes that go back, is an error naming its line.
[[nodiscard]] ParsedCueSheet parse_cue_sheet(const std::string& text);

// The file part of a path (after the last separator).
std::string path_leaf(const std::string& path);
// The cue sheet beside an image: its extension replaced by ".cue", or ".cue"
// appended when the file name has none.
std::string cue_sheet_path(const std::string& image_path);

}  // namespace drivetools
