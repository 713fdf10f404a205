// The disc's table of contents (READ TOC format 0, addresses as logical block
// addresses) turned into the text of a cue sheet for a raw 2352-byte image
// made from sector 0, and the sector range that covers the whole disc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

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

}  // namespace drivetools
