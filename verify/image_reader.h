// Reading an ISO 9660 image back: volume descriptors, path tables, the
// directory records of both trees and the El Torito catalog, from either
// sector form.
//
// Every number read from the image is checked against the image's size and
// against the record that holds it before it is used, so that a damaged or
// hostile image gives named faults, never a read outside a buffer. The work
// is bounded: each directory extent is read once (a directory that leads back
// to one already read is a fault, not a loop), and the directory bytes of one
// image are capped (directory_byte_cap).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/cd_sector.h"
#include "platform/platform.h"

struct StructureReport {
    // One line per fault, naming the place (descriptor, directory path, sector).
    std::vector<std::string> faults;
    // What was read, for the summary of a check.
    std::string summary;
};

// Reads the image at `path` (2048-byte or raw 2352-byte sectors) and checks
// its structure. A file that cannot be read at all gives one fault naming why.
StructureReport check_image_structure(const char* path);
// The same for an image held in memory.
StructureReport check_image_bytes(const uint8_t* data, size_t size);

// The sector form of an image file. A raw image begins with the sync pattern
// (00, ten times FF, 00; ECMA-130 14.1) and is a whole number of 2352-byte
// sectors, except that a cut-off last sector is read as missing; any other
// file is taken as 2048-byte sectors. In a raw image the user data of a
// Mode 1 sector lies at byte 16, that of a Mode 2 Form 1 sector (CD-ROM XA)
// at byte 24 behind the subheader; Mode 2 Form 2, Mode 0 and audio sectors
// hold no 2048-byte logical sector and read as faults.

// Where the sectors of an image come from: an open file or bytes in memory.
struct ImageSource {
    platform::File file;
    const uint8_t* memory = nullptr;  // used instead of the file when set
    uint64_t size = 0;                // bytes
    ImageForm form = ImageForm::plain;
    uint32_t sectors = 0;  // whole sectors of the form in the file
    // Raw images: called with the whole raw sectors of every read of user
    // data (first sector, bytes, count) before their user data is taken out,
    // so that a reader can check the sectors it passes on the way.
    std::function<void(uint32_t, const uint8_t*, uint32_t)> raw_tap;
};

// Opens the image file; false with the reason in `why`.
[[nodiscard]] bool open_image_source(const char* path, ImageSource& source, std::string& why);
// Reads from `size` bytes at `data`, which must outlive the source.
void use_image_bytes(const uint8_t* data, size_t size, ImageSource& source);
// The user data of `count` logical sectors from `first` into `out`
// (count * 2048 bytes). False, with a fault naming the sector in `fault`,
// when a sector lies beyond the file, cannot be read or holds no user data of
// 2048 bytes.
[[nodiscard]] bool read_user_data(ImageSource& source, uint32_t first, uint32_t count, uint8_t* out,
                                  std::string& fault);

// What the Rock Ridge fields of a record say (ISO 9660 tree of an image
// with SUSP's SP in its root).
struct PosixRecord {
    bool present = false;  // any Rock Ridge field
    std::string name;      // NM, as the file system held it
    bool has_attributes = false;
    uint32_t mode = 0, links = 0, owner = 0, group = 0;  // PX
    bool link = false;                                   // SL
    std::string link_target;
    // Relocation (RRIP 4.1.5): CL, the record stands for the directory at
    // this location; PL, in "..": the real parent's; RE, relocated here.
    bool child_link = false, parent_link = false, relocated = false;
    uint32_t child_location = 0, parent_location = 0;
    // TF (RRIP 4.1.6): modification and access times, seconds since
    // 1970-01-01 UTC.
    bool modified_known = false, accessed_known = false;
    int64_t modified = 0, accessed = 0;
    bool device_known = false;  // PN (RRIP 4.1.2)
    uint64_t device = 0;
};

// Seconds since 1970-01-01 UTC of a recording date in the 7-byte form of
// ECMA-119 9.1.5 (years since 1900, month, day, hour, minute, second, offset
// from UTC in quarter hours) or the 17-byte form of 8.4.26.1 (digits, then
// the offset); a field out of range reads as the nearest sound value.
int64_t seconds_of_short_date(const uint8_t* p);
int64_t seconds_of_long_date(const uint8_t* p);

// One directory of a tree; the root is directory 0 and its own parent.
struct TreeDirectory {
    std::string name;        // as text (Joliet names converted to the code page of names)
    std::string identifier;  // the identifier bytes as recorded
    uint32_t parent = 0;
    uint32_t extent = 0;
    uint32_t size = 0;
    PosixRecord posix;
    int64_t recorded = 0;  // the record's date, seconds since 1970-01-01 UTC
};

// One extent of a file recorded in several (the multi-extent flag of
// ECMA-119 9.1.6).
struct FileSection {
    uint32_t extent = 0;
    uint32_t size = 0;
};

// One file of a tree: its record, or the records of one file in several
// extents, which follow one another in their directory under one name.
struct TreeFile {
    std::string name;
    uint32_t directory = 0;  // index in ImageTree::directories
    uint32_t extent = 0;     // first sector of the data (behind any extended attribute record)
    uint64_t size = 0;       // bytes, all extents together
    bool hidden = false;
    std::string identifier;             // the identifier bytes as recorded
    PosixRecord posix;                  // a file in several extents: its last record's, as Linux reads them
    std::vector<FileSection> sections;  // every extent, when there are several; else empty
    int64_t recorded = 0;               // the record's date, seconds since 1970-01-01 UTC
};

// True when the file's data is one run of sectors from its extent on: one
// extent, or extents each beginning where the one before ended whole.
bool contiguous(const TreeFile& file);

struct ImageTree {
    bool present = false;
    // SUSP's SP in the root's "." record: every record's System Use area is
    // read (after `system_use_skip` bytes), Rock Ridge's fields kept.
    bool system_use = false;
    uint32_t system_use_skip = 0;
    std::string rock_ridge;                  // the ER identifier (RRIP_1991A, IEEE_P1282, IEEE_1282), if any
    std::vector<TreeDirectory> directories;  // in the order they were read, level by level
    std::vector<TreeFile> files;
    // Rock Ridge: the records that stand for relocated directories (CL),
    // each by its directory and the location of the directory it stands for.
    struct ChildLink {
        uint32_t directory = 0;
        uint32_t location = 0;
        std::string name;
    };
    std::vector<ChildLink> child_links;
};

// One boot entry of the El Torito catalog: the initial/default entry first,
// then the entries of the sections in order.
struct BootEntry {
    uint8_t platform_id = 0;  // of the validation entry or of the entry's section (0xEF: EFI)
    bool bootable = false;
    uint8_t media_type = 0;     // low four bits of the entry's media byte
    uint16_t sector_count = 0;  // 512-byte virtual sectors
    uint32_t load_rba = 0;
};

struct ImageReading {
    ImageForm form = ImageForm::plain;
    uint64_t file_size = 0;
    uint32_t file_sectors = 0;
    uint32_t volume_space_size = 0;
    std::string volume_id;  // of the primary descriptor, without the trailing spaces
    ImageTree primary;
    ImageTree joliet;
    bool boot_record = false;
    uint32_t boot_catalog = 0;
    std::vector<BootEntry> boot_entries;
    std::vector<std::string> faults;
};

// The directory bytes one image may have read, across both trees; more stop
// the reading with a fault. The directory extents of a sound image lie in
// its file without overlapping one another, so together they hold at most
// the file's 2048-byte sectors (65,535 folders in two trees take 256 MiB at
// least); any file may have 64 MiB. Extents that overlap (each is read once)
// can claim more only in a damaged or hostile image.
inline constexpr uint64_t least_directory_byte_cap = uint64_t(64) << 20;
constexpr uint64_t directory_byte_cap(uint64_t file_sectors)
{
    return file_sectors * user_data_size > least_directory_byte_cap ? file_sectors * user_data_size
                                                                    : least_directory_byte_cap;
}
// The faults kept; the count of further ones is given in one last line.
inline constexpr size_t max_faults = 200;

// Reads and checks the whole structure.
ImageReading read_image(ImageSource& source);
// The summary lines of a reading (volume, form, trees, boot entries).
std::string describe_reading(const ImageReading& reading);
// "/DIR/NAME" of a directory or a file of the tree.
std::string directory_path(const ImageTree& tree, uint32_t directory);
std::string file_path(const ImageTree& tree, const TreeFile& file);
