// Checking raw 2352-byte images sector by sector: sync, header address, mode,
// and the error detection and correction fields of each sector's form
// (ECMA-130 chapter 14 for Mode 0, Mode 1 and Mode 2; the Form 1 and Form 2
// layouts of Mode 2 with their subheader and EDC as CD-ROM XA defines them).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/cd_sector.h"

// What a track holds: every sector of a Mode 1 track is a Mode 1 sector, of a
// Mode 2 track a Mode 2 sector (either form); a Mode 0 sector (header and
// zeros) may stand in either. Sectors of an audio track are not checked.
enum class TrackMode : uint8_t { mode1, mode2, audio };
const char* track_mode_name(TrackMode mode);

// A track of an image, from its first sector to the next track's first.
struct ImageTrack {
    uint64_t first = 0;
    TrackMode mode = TrackMode::mode1;
};
// The tracks of an image in the order of their first sectors, the first at
// sector 0. Empty: one data track, its mode the one most of the image's
// first sectors carry (see image_data_mode).
using TrackList = std::vector<ImageTrack>;

enum class SectorKind : uint8_t { mode1, mode2_form1, mode2_form2, mode2_formless, mode0, audio };
inline constexpr size_t sector_kind_count = 6;
const char* sector_kind_name(SectorKind kind);

enum class SectorFault : uint8_t {
    sync,        // the sync pattern differs
    address,     // header address not BCD, or not the one that follows the previous sector's
    mode,        // mode byte not the track's (nor 0 over zeros)
    subheader,   // Mode 2 Form 1/2: the two copies of the subheader differ
    edc,         // the stored EDC is not the EDC of the bytes it covers
    zero_field,  // Mode 1 bytes 2068..2075, or Mode 0 user data, not zero
    p_parity,    // a P codeword does not hold
    q_parity,    // a Q codeword does not hold
};
inline constexpr size_t sector_fault_count = 8;
const char* sector_fault_name(SectorFault fault);

struct SectorCheck {
    SectorKind kind = SectorKind::audio;
    uint32_t faults = 0;  // bit (1 << fault) for each fault found
    bool sound() const { return faults == 0; }
    bool has(SectorFault fault) const { return (faults >> unsigned(fault)) & 1; }
};

// Header addresses repeat after 160 minutes (see make_sector_header): sector
// numbers of a raw image are counted modulo this period.
inline constexpr uint32_t address_period = 720000;

// The sector number (address - 150, modulo the period) of a header's three
// address bytes; false when they are not BCD (the minute's tens digit may run
// on as A..F).
bool header_sector_number(const uint8_t* header, uint32_t& number);

// Checks one raw sector of a track of mode `track` that should carry the
// address of sector `expected_number`. In an audio track nothing is checked.
// In a data track every sector is a data sector of the track's mode: one that
// looks like audio or noise (sync, header or mode byte not the track's) is a
// bad sector of that mode, never passed over. A Mode 0 sector is one whose
// bytes 16..2351 are all zero; any other mode byte than the track's is a
// fault, and the sector is checked as one of the track's mode.
SectorCheck check_sector(const uint8_t* sector, uint32_t expected_number, TrackMode track);

// The form of a Mode 2 sector by its subheader (two damaged bytes allowed
// while both copies agree on the form) or, failing that, by which EDC holds:
// mode2_form1, mode2_form2 or mode2_formless.
SectorKind mode2_form_of(const uint8_t* sector);

// The data mode of an image without a cue sheet: of the first `count`
// sectors with an intact sync pattern, whether more carry mode byte 2 than
// mode byte 1 (Mode 2) or not (Mode 1).
TrackMode image_data_mode(const uint8_t* sectors, size_t count);

// The number the image's first sector should carry, from `count` sectors
// that start at sector `first_index` of the image, of the tracks `tracks`:
// the one that makes the first sound data sector agree with its own header,
// else the first header of a data track that reads at all. False (and `base`
// 0) when no header of a data-track sector reads among them.
bool address_base(const uint8_t* sectors, size_t count, uint64_t first_index, const TrackList& tracks, uint32_t& base);

// The first few numbers of a set of sectors, and how many there are.
inline constexpr size_t listed_sectors = 8;
struct SectorList {
    uint64_t count = 0;
    uint64_t first[listed_sectors] = {};
};
void note_sector(SectorList& list, uint64_t sector);
// "17, 400, 401" with "..." when more than the listed ones exist.
std::string sector_list_text(const SectorList& list);

struct RawCheckSummary {
    uint64_t sectors = 0;
    uint64_t kinds[sector_kind_count] = {};
    SectorList bad;
    SectorList faults[sector_fault_count];
    uint64_t tail_bytes = 0;  // bytes after the last whole sector
    bool clean() const { return bad.count == 0 && tail_bytes == 0; }
};

// Checks sectors as they stream past. Without tracks given, the image's data
// mode is taken from the first batch; the address base from the first batch
// that holds a data-track sector whose header reads (sectors before it, all
// of audio tracks or unreadable, are numbered from 0).
struct RawSectorChecker {
    RawCheckSummary summary;
    TrackList tracks;
    bool have_base = false;
    uint32_t base = 0;
};
// Takes a batch of sectors that starts at sector `first_index`: the tracks
// when none were given (first batch), and the address base until one is
// found.
void start_raw_check(RawSectorChecker& checker, const uint8_t* sectors, size_t count, uint64_t first_index);
void check_raw_sectors(RawSectorChecker& checker, const uint8_t* sectors, size_t count);
// The mode of the track that holds sector `index`.
TrackMode track_mode_at(const TrackList& tracks, uint64_t index);
// The address sector `index` of the image should carry.
uint32_t expected_address(const RawSectorChecker& checker, uint64_t index);
// The check of the sector that is `index` in the image, on the fast path
// when it is a sound Mode 1 sector of a Mode 1 track.
SectorCheck check_sector_at(const RawSectorChecker& checker, const uint8_t* sector, uint64_t index);

// The summary as text lines: sectors by kind, bad sectors with each fault.
std::string raw_check_text(const RawCheckSummary& summary);

// The sector starts looked at to tell a raw image: the file's first bytes up
// to this many sectors are enough.
inline constexpr size_t form_probe_sectors = 16;
inline constexpr size_t form_probe_bytes = form_probe_sectors * raw_sector_size;

// Whether a file of `file_size` bytes whose first `head_size` bytes are
// `head` is an image of 2352-byte sectors: it holds one whole sector, and
// its first sector starts with a sync pattern (two damaged bytes allowed,
// as the sector check allows them), or, when that sector is damaged beyond,
// at least half of the following sector starts in the head do.
bool looks_raw(const uint8_t* head, size_t head_size, uint64_t file_size);

// The form of an image: raw as looks_raw tells, plain when it is a whole
// number of 2048-byte sectors, unknown otherwise.
ImageForm image_form_of(const uint8_t* head, size_t head_size, uint64_t file_size);
