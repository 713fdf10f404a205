// Rock Ridge in the ISO 9660 tree (command line only): the System Use fields
// of every directory record (format/rock_ridge.h), the continuation areas of
// the records whose fields do not all fit, and the hard links that share one
// extent. Everything is planned in the layout, before a byte is written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mastering/entries.h"

struct RockRidgeOptions {
    bool enabled = false;
    // Owner and group 0, read for everyone, execute (search) for everyone
    // where anyone had it, no write and no set-id or sticky bits.
    bool rationalised = false;
    // Symbolic links followed to what they name, as without Rock Ridge.
    bool follow_links = false;
};

// True for a regular file: the others (links, devices, FIFOs, sockets) hold
// no data in the image.
inline bool holds_data(const PosixAttributes& a)
{
    return (a.mode & 0170000u) == 0100000u || (a.mode & 0170000u) == 0040000u;
}

// The mode PX gives the entry, rationalised when the options say so.
uint32_t rock_ridge_mode(const PosixAttributes& a, const RockRidgeOptions& options);

// The three records of an entry: its record in its parent, and, for a
// directory, its "." and ".." records.
// A relocated directory's ".." names its real parent: a record of its own.
enum class RecordRole : uint8_t { in_parent = 0, dot = 1, dot_dot = 2, moved_dot_dot = 3 };

// One piece of a continuation area: the fields that did not fit in a record
// (or in the piece before), at a block and offset of the area.
struct ContinuationPiece {
    std::vector<uint8_t> bytes;  // the fields, a CE to the next piece last where there is one
    uint32_t block = 0;          // the sector
    uint32_t offset = 0;         // within the sector
    bool continues = false;      // the next piece goes on with the same record's fields
};

struct RockRidgePlan {
    RockRidgeOptions options;
    uint32_t area_start = 0;    // the continuation area's first sector
    uint32_t area_sectors = 0;  // 0 when no record needs one
    std::vector<ContinuationPiece> pieces;
    // Set when a record cannot be held (a chain longer than readers follow),
    // or the relocation finds no number for its folder.
    std::string refusal;
    ProblemKind refusal_kind = ProblemKind::path_too_long;
};

// The layout's steps, in this order: the hard links (before the sector
// counts), the System Use areas of every record and the pieces that go on
// in the continuation area (before the directory sizes), the places of the
// pieces once the area's first sector is known.
void plan_hard_links(EntryTable& table);
// Before the directories are numbered: directories deeper than eight levels
// move, in the ISO 9660 tree, to a folder of the root (RRIP 4.1.5); the
// table's primary_order is then that tree's order. False when the tree
// already has as many directories as path tables number.
[[nodiscard]] bool relocate_deep_directories(EntryTable& table);
// After the extents: every hard link takes the extent of the one that holds
// the data.
void share_hard_link_extents(EntryTable& table);
void plan_system_use(EntryTable& table, RockRidgePlan& plan);
void place_continuations(RockRidgePlan& plan, uint32_t area_start);

// The System Use bytes of a record of `e` (for ".." the parent is given as
// `e`), as planned: appended at `out` (room for 255 bytes); returns their
// length.
uint32_t put_system_use(uint8_t* out, const EntryTable& table, const RockRidgePlan& plan, const SourceEntry* e,
                        RecordRole role);

// The record length of e's record in the ISO 9660 tree with its planned
// System Use bytes.
uint32_t record_length_with_system_use(const SourceEntry* e, RecordRole role, uint32_t identifier_length);

// The area's sectors, each a whole sector.
void write_continuation_area(struct ImageWriter& writer, const RockRidgePlan& plan);
