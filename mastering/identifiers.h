// File identifiers and ordering: the table is put in key order, every entry
// gets its ISO 9660 and Joliet identifiers, and clashing siblings are counted
// up.
#pragma once

#include <cstddef>
#include <cstdint>

#include "mastering/entries.h"

// With a link, every pass pumps the front end, counts in the progress and
// honours a stop (the table then stays in scan order).
void sort_entries(EntryTable& table, BuildLink* link = nullptr);
void assign_identifiers(EntryTable& table);
void resolve_identifier_clashes(EntryTable& table);
// After resolve_identifier_clashes: a sibling whose identifier still equals an
// earlier sibling's is counted up further until no sibling holds it.
void make_sibling_identifiers_distinct(EntryTable& table);

// After the identifiers are made: the entries whose Joliet identifier is not
// their name as the file system gives it (with ";1" for a file), counted,
// the first names_not_kept_shown of them listed with their Joliet paths.
void find_joliet_names_not_kept(const EntryTable& table, uint32_t& count, std::vector<NameNotKept>& first);

// Identifier makers for one leaf name; each returns the length in bytes.
int make_file_identifier(uint8_t* destination, const char* leaf);
int make_directory_identifier(uint8_t* destination, const char* leaf);
// The command line's --relaxed-names: a directory's name in the 8.3 form of
// a file's, its last '.' kept ("install.amd" is "INSTALL.AMD"), as ISO
// 9660-only boot loaders look names up.
int make_relaxed_directory_identifier(uint8_t* destination, const char* leaf);
int make_joliet_file_identifier(uint8_t* destination, const char* leaf);
int make_joliet_directory_identifier(uint8_t* destination, const char* leaf);

// The counters: each counts the identifier up by one at its counting position
// (1..9, A..Z, with a carry from Z) and never changes its length. They return
// false when there is nothing to count (no counting position).
[[nodiscard]] bool bump_file_identifier(uint8_t* identifier, int length);
[[nodiscard]] bool bump_directory_identifier(uint8_t* identifier, int length);
[[nodiscard]] bool bump_joliet_file_identifier(uint8_t* identifier, int length);
[[nodiscard]] bool bump_joliet_directory_identifier(uint8_t* identifier, int length);

// The leaf name of a source path: the part after the last separator.
const char* leaf_name(const char* path);
// The entry's name in the image: a graft point's target's, or its source's.
inline const char* entry_name(const SourceEntry* e)
{
    return e->image_name ? e->image_name : leaf_name(e->source_path);
}
