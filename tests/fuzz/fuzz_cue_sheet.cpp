// TOC answers of any content: the cue sheet reads only the answer's bytes and
// its text keeps its shape (CR LF lines of printable ASCII, one closing
// " // N" per descriptor, one TRACK block per descriptor but the lead-out),
// and so does the sheet of a dump of any range, which reads back as the same
// tracks. Any text read as a cue sheet gives tracks in order or an error.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "drivetools/cue_sheet.h"

namespace {

size_t count(const std::string& text, const std::string& piece)
{
    size_t n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++n;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exact-size heap copy, so that any read past the answer is caught.
    std::vector<uint8_t> toc(data, data + size);
    drivetools::CueSheet cue = drivetools::build_cue_sheet(toc.data(), toc.size());
    if (size < 4 ? cue.descriptors != 0 : cue.descriptors > (size - 4) / 8)
        __builtin_trap();
    if (cue.text.empty() != (cue.descriptors == 0))
        __builtin_trap();
    for (size_t i = 0; i < cue.text.size(); ++i) {
        char c = cue.text[i];
        bool line_end = (c == '\r' && i + 1 < cue.text.size() && cue.text[i + 1] == '\n') ||
                        (c == '\n' && i > 0 && cue.text[i - 1] == '\r');
        if (!line_end && (c < 0x20 || c > 0x7E))
            __builtin_trap();
    }
    if (cue.descriptors > 0) {
        if (count(cue.text, " // ") != cue.descriptors || count(cue.text, "TRACK ") != cue.descriptors - 1)
            __builtin_trap();
        if (cue.text.compare(0, 17, "FILE \"?\" BINARY\r\n") != 0 || cue.text.back() != '\n')
            __builtin_trap();
    }
    // The sheet of a dump of a range taken from the answer's first bytes:
    // tracks in address order, each INDEX 01 inside the range, one TRACK each.
    if (size >= 8) {
        int32_t first = int32_t(uint32_t(data[0]) << 24 | uint32_t(data[1]) << 16 | uint32_t(data[4]) << 8 | data[5]);
        int64_t end = int64_t(first) + (uint32_t(data[6]) << 8 | data[7]);
        int32_t last = int32_t(end);
        if (end <= INT32_MAX) {
            std::vector<drivetools::DumpTrack> tracks =
                drivetools::tracks_in_range(toc.data(), toc.size(), first, last);
            for (size_t i = 0; i < tracks.size(); ++i)
                if (tracks[i].first_dumped < first || tracks[i].first_dumped > last ||
                    (i > 0 && tracks[i].first_dumped <= tracks[i - 1].first_dumped))
                    __builtin_trap();
            drivetools::DumpCueSheet dump = drivetools::dump_cue_sheet("d.bin", tracks, first);
            if (count(dump.text, "TRACK ") != tracks.size() || count(dump.text, "INDEX 01 ") != tracks.size() ||
                count(dump.text, "?") != 0)
                __builtin_trap();
            // Track numbers as a disc has them (01..99, rising) read back.
            bool numbered = true;
            for (size_t i = 0; i < tracks.size(); ++i)
                numbered = numbered && tracks[i].number >= 1 && tracks[i].number <= 99 &&
                           (i == 0 || tracks[i].number > tracks[i - 1].number);
            const drivetools::ParsedCueSheet back = drivetools::parse_cue_sheet(dump.text);
            if (numbered && !tracks.empty() && (!back.error.empty() || back.tracks.size() != tracks.size()))
                __builtin_trap();
            for (size_t i = 0; i < back.tracks.size(); ++i)
                if (back.tracks[i].index1 != uint64_t(tracks[i].first_dumped - first))
                    __builtin_trap();
        }
    }
    {
        const drivetools::ParsedCueSheet read = drivetools::parse_cue_sheet(std::string(data, data + size));
        if (read.error.empty() == read.tracks.empty())
            __builtin_trap();
        for (size_t i = 0; i < read.tracks.size(); ++i) {
            const drivetools::CueTrack& t = read.tracks[i];
            if ((t.has_index0 && t.index0 > t.index1) || (i > 0 && t.index1 <= read.tracks[i - 1].index1))
                __builtin_trap();
        }
    }
    char msf[16];
    uint32_t sectors =
        size >= 4 ? uint32_t(data[0]) << 24 | uint32_t(data[1]) << 16 | uint32_t(data[2]) << 8 | data[3] : 0;
    if (drivetools::format_msf(msf, sizeof msf, sectors) >= sizeof msf)
        __builtin_trap();
    return 0;
}
