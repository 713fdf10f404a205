// Directory records (ECMA-119 9.1) and path tables (ECMA-119 9.4) of both
// trees.
#pragma once

#include <cstdint>

#include "format/ecma119.h"
#include "mastering/dates.h"

struct SourceEntry;
struct EntryTable;
struct ImageWriter;

static_assert(sizeof(RecordDate) == directory_record_offset::file_flags - directory_record_offset::recording_date);

// Writes bytes 0..32+n of the record of entry e in the tree; the pad byte is
// left as the destination holds it, so the destination must be zero-filled.
// Returns the position after the record. A file of 4 GiB or more has
// record_count(e) records, one per extent: `piece` says which.
uint8_t* make_directory_record(uint8_t* destination, const SourceEntry* e, int tree, uint32_t piece = 0);

// With a Rock Ridge plan, the records of the ISO 9660 tree carry their
// System Use fields.
void write_directories(ImageWriter& writer, const EntryTable& table, int tree,
                       const struct RockRidgePlan* rock_ridge = nullptr);
void write_path_table(ImageWriter& writer, const EntryTable& table, int tree, bool big_endian);
