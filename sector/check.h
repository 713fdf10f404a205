// Checking raw 2352-byte images sector by sector: sync, header address, mode,
// and the error detection and correction fields of each sector's form
// (ECMA-130 chapter 14 for Mode 0, Mode 1 and Mode 2; the Form 1 and Form 2
// layouts of Mode 2 with their subheader and EDC as CD-ROM XA defines them).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/cd_sector.h"
#include "sector/hashes.h"

// Checks every sector of the raw image at `path`. Returns true when every
// sector is sound; `report` receives the summary lines (sectors by kind, bad
// sectors by kind with the first few numbers), one per line.
bool check_raw_image_file(const char* path, std::string& report);

enum class SectorKind : uint8_t { mode1, mode2_form1, mode2_form2, mode2_formless, mode0, audio };
inline constexpr size_t sector_kind_count = 6;
const char* sector_kind_name(SectorKind kind);

enum class SectorFault : uint8_t {
    sync,        // the sync pattern differs (in up to two bytes, or the header is the expected one)
    address,     // header address not BCD, or not the one that follows the previous sector's
    mode,        // mode byte other than 0, 1 or 2
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

// Classifies and checks one raw sector that should carry the address of
// sector `expected_number`. A sector whose sync pattern differs in more than
// two bytes and whose header is not the expected one, or whose mode byte is
// not 0..2 while the sync is damaged, is audio and not checked further.
SectorCheck check_sector(const uint8_t* sector, uint32_t expected_number);

// The number the image's first sector should carry: the one that makes the
// first sound sector among `count` sectors agree with its own header, else the
// first header that reads at all, else 0.
uint32_t address_base(const uint8_t* sectors, size_t count);

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

// Checks sectors as they stream past; the address base is taken from the
// first batch.
struct RawSectorChecker {
    RawCheckSummary summary;
    bool have_base = false;
    uint32_t base = 0;
};
void check_raw_sectors(RawSectorChecker& checker, const uint8_t* sectors, size_t count);
// The check of the sector that is `index` in the image, on the fast path
// when it is a sound Mode 1 sector.
SectorCheck check_sector_at(const RawSectorChecker& checker, const uint8_t* sector, uint64_t index);

// The summary as text lines: sectors by kind, bad sectors with each fault.
std::string raw_check_text(const RawCheckSummary& summary);

// --- Whole files --------------------------------------------------------------------

struct ImageFileCheck {
    std::string error;  // empty when the whole file was read
    bool stopped = false;
    ImageForm form = ImageForm::unknown;
    uint64_t size = 0;
    RawCheckSummary sectors;  // raw images only
    bool hashed = false;
    HashValues hashes;
};

// The form of an image: raw when it starts with a sync pattern, plain when it
// is a whole number of 2048-byte sectors, unknown otherwise.
ImageForm image_form_of(const uint8_t* head, size_t head_size, uint64_t file_size);

// Reads the file once in large blocks: the sector check for a raw image and,
// when asked, the CRC-32, MD5 and SHA-1 of all its bytes. `stop`, when given,
// is looked at after every block.
ImageFileCheck check_image_file(const char* path, bool with_hashes, const volatile int32_t* stop = nullptr);
