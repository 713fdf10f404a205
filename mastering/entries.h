// The flat table of one build: the root directory and one record per
// registered item and per file or folder found below a registered folder.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "format/ecma119.h"
#include "mastering/build_link.h"
#include "mastering/dates.h"
#include "mastering/problems.h"
#include "platform/platform.h"

inline constexpr int primary_tree = 0;
inline constexpr int joliet_tree = 1;
inline constexpr int path_capacity = 512;  // at most 511 bytes and the terminator

// What Rock Ridge records of an entry (only when the build writes it): the
// POSIX attributes as the scan found them, and what the layout plans for the
// entry's records.
struct PosixAttributes {
    uint32_t mode = 0, links = 1, owner = 0, group = 0;
    uint64_t device = 0;
    RecordDate modified = {}, accessed = {}, changed = {};
    const char* name = nullptr;         // the leaf as the file system holds it (the text store)
    const char* link_target = nullptr;  // a symbolic link's target, as stored; null for others
    uint64_t volume = 0, object = 0;    // identity, for hard links
    // Set by the layout: the entry whose extent a hard link shares (null:
    // its own), the count of the image's records of that data, and per
    // record of the entry (in its parent, ".", "..", the ".." of a
    // relocated directory) the System Use bytes in the record and the first
    // continuation piece (-1: none).
    const struct SourceEntry* data_owner = nullptr;
    uint32_t image_links = 1;
    uint8_t inline_length[4] = {};
    int32_t continuation[4] = {-1, -1, -1, -1};
    // The relocation of directories deeper than ISO 9660's eight levels in
    // its tree (RRIP 4.1.5), set by the layout: the entry's depth in that
    // tree (0: its own depth); for a relocated directory, its parent in the
    // real tree (its ".." names it in PL, its record carries RE); for the
    // record that stands in its place there, the directory (CL).
    uint8_t primary_depth = 0;
    const struct SourceEntry* real_parent = nullptr;
    const struct SourceEntry* stands_for = nullptr;
};

#pragma pack(push, 1)
struct SourceEntry {
    uint8_t hidden;                // the hidden attribute bit itself: 0 or 2
    uint8_t identifier_length[2];  // per tree; files include ";1"
    RecordDate recording_date;
    uint8_t depth;           // root 1, registered items 2, their children 3, ...
    uint8_t* identifier[2];  // ISO 9660 (multibyte) and Joliet (UCS-2 big-endian), in the text store
    const char* sort_key;    // both held by the table's text store (keep_text)
    const char* source_path;
    uint32_t sectors[2];
    uint32_t data_length[2];
    uint32_t directory;  // 0 file; a folder's attribute bit 0x10 (the root: 1)
    uint32_t extent[2];
    uint16_t directory_number[2];  // per tree: a directory's path table number (root 1), set by the layout
    // One bit per tree (1 << tree): the identifier made for the entry is not
    // its name itself in the tree's form (cut, or characters replaced).
    uint8_t name_changed;
    PosixAttributes* posix;  // with Rock Ridge only, in the text store
    // The entry's name in the image where it is not its source's own (a
    // graft point's target, a folder made for one); null otherwise.
    const char* image_name;
    // A file's size above 32 bits (files of 4 GiB or more, command line
    // only): data_length holds the low 32 bits.
    uint16_t size_high;
};
#pragma pack(pop)
static_assert(sizeof(SourceEntry) == 1 + 2 + 7 + 1 + 6 * sizeof(void*) + 8 + 8 + 4 + 8 + 4 + 1 + 2);

// A file's size in bytes (0 for a folder).
inline uint64_t file_size(const SourceEntry* e)
{
    return e->directory ? 0 : uint64_t(e->size_high) << 32 | e->data_length[primary_tree];
}
// The records of the entry in a directory of either tree: one, or one per
// extent of a file of 4 GiB or more.
inline uint32_t record_count(const SourceEntry* e)
{
    return e->directory ? 1 : file_record_count(file_size(e));
}

// Files the scan leaves out, with a notice, wherever it meets them below a
// registered folder: the command line's own outputs (an image from an earlier
// run may lie in the folder being imaged). One marked `refused` is a file of
// the user's that the output would replace: meeting it refuses the build.
// Empty in the Windows program.
struct LeftOutFile {
    platform::FileIdentity identity;
    uint64_t size = 0;
    bool refused = false;
};
// The entry of `left_out` that the scanned item (found with `info`) is, or
// null.
const LeftOutFile* left_out_entry(const std::vector<LeftOutFile>& left_out, const char* path,
                                  const platform::FileInfo& info);

// Names beginning with a dot below a registered folder (hidden by custom on
// POSIX) are left out by both walks unless `dot_files` (the command line's
// --dot-files; never in the Windows program). The scan counts those it
// leaves out and keeps the first few paths, for the command line's notice.
inline constexpr size_t dot_names_shown = 3;
// True when the walks leave out a child of this name.
inline bool left_out_by_name(const std::string& name, bool dot_files)
{
    return !dot_files && !name.empty() && name[0] == '.';
}

struct EntryTable {
    // Pointers into record blocks; sorting reorders the pointers only.
    std::vector<SourceEntry*> entries;
    uint32_t count = 0;
    uint8_t max_depth = 1;
    SourceEntry* root = nullptr;
    std::vector<std::unique_ptr<SourceEntry[]>> blocks;
    // The texts of the entries, one after the other in large blocks: a
    // path takes its own length, not the longest one allowed.
    std::vector<std::unique_ptr<char[]>> text_blocks;
    char* text_next = nullptr;
    size_t text_left = 0;
    // What the scan found worth saying (refusals, gone paths, loops, skips).
    std::vector<BuildProblem> problems;
    // The longest Joliet name in UCS-2 units, a file's ";1" included: 64,
    // or 103 with the command line's --joliet-long.
    uint32_t joliet_units = 64;
    // Directories' ISO 9660 names in the relaxed 8.3 form with a '.'.
    bool relaxed_names = false;
    // With Rock Ridge and directories deeper than eight levels: the ISO 9660
    // tree's own entries in its order (its root first, each directory
    // followed by its subtree), with the folder the deep ones move to and
    // the records that stand in their places; empty otherwise, when both
    // trees are `entries`. Those two kinds live in `primary_only`.
    std::vector<SourceEntry*> primary_order;
    std::vector<std::unique_ptr<SourceEntry>> primary_only;
    SourceEntry* moved_folder = nullptr;
};

// The entries of a tree in its order, and an entry's depth in it.
struct TreeEntries {
    SourceEntry* const* first;
    uint32_t count;
    SourceEntry* const* begin() const { return first; }
    SourceEntry* const* end() const { return first + count; }
    SourceEntry* operator[](uint32_t i) const { return first[i]; }
};
inline TreeEntries tree_entries(const EntryTable& table, int tree)
{
    if (tree == primary_tree && !table.primary_order.empty())
        return {table.primary_order.data(), uint32_t(table.primary_order.size())};
    return {table.entries.data(), table.count};
}
inline uint32_t depth_in(const SourceEntry* e, int tree)
{
    return tree == primary_tree && e->posix && e->posix->primary_depth ? e->posix->primary_depth : e->depth;
}
// Calls visit for every child of the directory at position `index` of the
// tree's order, in that order.
template <typename Visit>
void for_each_child_in(const EntryTable& table, int tree, uint32_t index, Visit visit)
{
    const TreeEntries entries = tree_entries(table, tree);
    const uint32_t depth = depth_in(entries[index], tree);
    for (uint32_t j = index + 1; j < entries.count; ++j) {
        const uint32_t d = depth_in(entries[j], tree);
        if (d <= depth)
            break;
        if (d == depth + 1)
            visit(entries[j]);
    }
}

// The walk that the scan and the registration measure share: a folder's
// names (without "." and ".."; left_out_by_name is the walks' to ask), each
// with what find_file says of it, and the folders on the way down
// for finding one that leads back to its own ancestor.
struct FolderIdentity {
    uint64_t volume, object;
};
//
// The command line registers its paths and builds at once: the listings the
// registration's walk makes then serve the scan that follows, each folder's
// once, instead of listing the folder and looking at every name again. The
// registration keeps them here, the scan takes each one out as it uses it.
struct FolderListings {
    std::unordered_map<std::string, std::vector<platform::FoundName>> by_path;
};
// The kept listing of the folder (taken out of `listings`), or a fresh one.
[[nodiscard]] bool list_scanned_names(const char* path, std::vector<platform::FoundName>& names,
                                      FolderListings* listings, platform::Links links = platform::Links::follow);
void keep_listing(FolderListings* listings, const char* path, std::vector<platform::FoundName>&& names);
bool leads_back(const std::vector<FolderIdentity>& ancestors, const FolderIdentity& folder);

// The longest name Rock Ridge records, in bytes (what POSIX systems hold).
inline constexpr size_t max_rock_ridge_name = 255;
// The longest symbolic link target Rock Ridge records: one byte more makes a
// common reading library refuse the whole tree.
inline constexpr size_t max_link_target = 1023;

// Both walks refuse an image of more directories than the path tables can
// number, as soon as they pass the count; links are followed, so a few
// folders may unfold into very many.
inline constexpr uint32_t max_directories = 65535;

// Calls visit for every child of the directory at table position `index`, in
// table order: the entries one level deeper, up to the end of its subtree.
template <typename Visit>
void for_each_child(const EntryTable& table, uint32_t index, Visit visit)
{
    const SourceEntry* d = table.entries[index];
    for (uint32_t j = index + 1; j < table.count; ++j) {
        const SourceEntry* c = table.entries[j];
        if (c->depth <= d->depth)
            break;
        if (c->depth == d->depth + 1)
            visit(c);
    }
}

// Room for a record in the table's text store, freed with the table.
PosixAttributes* keep_posix_attributes(EntryTable& table);

// A lasting copy of the text in the table's text store, freed with the table.
const char* keep_text(EntryTable& table, const char* text, size_t length);
inline const char* keep_text(EntryTable& table, const char* text)
{
    return keep_text(table, text, std::strlen(text));
}

// Room for `length` identifier bytes and two zero bytes after them in the
// entry's identifier of the tree: the room it has while `length` is at most
// its identifier_length, else new room in the text store that starts with
// the bytes it held.
uint8_t* identifier_room(EntryTable& table, SourceEntry* e, int tree, size_t length);

// A table of `capacity` records holding the root alone.
void allocate_entry_table(EntryTable& table, uint32_t capacity);

// Where a graft point puts its source (the command line's TARGET=SOURCE).
struct GraftPlace {
    std::string source;      // the source's path; empty: no graft, names and keys from the paths
    std::string name;        // its name in the image; empty: its contents go to the root
    std::string key_prefix;  // the sort key of the folder it goes into ("" for the root)
    // A folder joining one already at its place (or going to the root): only
    // its contents are scanned, into that folder.
    bool skip_self = false;
};

// One scan of the registered items into a table.
struct Scan {
    EntryTable& table;
    BuildLink& link;
    bool dot_files = false;
    // Rock Ridge: the POSIX attributes of every entry are kept; symbolic
    // links are kept as links unless followed, and FIFOs, sockets and
    // devices are entries of their own.
    bool posix = false;
    bool follow_links = true;
    // Files of 4 GiB or more are taken (written in several extents) instead
    // of refused: the command line's way.
    bool large_files = false;
    // File times later than this one (SOURCE_DATE_EPOCH as a file time) are
    // taken as this one; 0: none.
    uint64_t latest_file_time = 0;
    const std::vector<LeftOutFile>* left_out = nullptr;
    FolderListings* listings = nullptr;
    // The date of an entry whose source is gone: the directory record
    // window's.
    RecordDate gone_date = {};
    // Folders on the way from the registered item down to the current one.
    std::vector<FolderIdentity> ancestors;
    // Directories entered so far (the root included), and whether the walk
    // has stopped: a refusal or a stop asked for ends it at once.
    uint32_t directories = 1;
    bool stopped = false;
    // Names beginning with a dot left out: how many, the first few.
    uint32_t dot_names_left_out = 0;
    std::vector<std::string> first_dot_names_left_out;
    GraftPlace graft;  // the item being scanned, when it is a graft point's
    // Shell patterns (--exclude): a file or folder whose name, or whose path
    // below its registered or grafted folder, matches one is left out.
    const std::vector<std::string>* excluded = nullptr;
};
// Adds the entry for the path and, for a folder, everything below it. The
// table grows when the folders have gained entries since registration.
void scan_source(Scan& scan, const char* path, uint8_t depth);
// A folder of the image that no source gives (one on the way to a graft
// point's target): `name` below the folder of `key_prefix`, at `depth`, as
// the root is dated, with the mode of one (0755) under Rock Ridge.
SourceEntry* add_image_folder(Scan& scan, const std::string& key_prefix, const std::string& name, uint8_t depth);
// The sort key of `name` below the folder whose key is `key_prefix`; empty
// when it does not fit.
std::string key_below(const std::string& key_prefix, const std::string& name);

// True when the shell pattern (`*`, `?`, `[...]`, `\` escaping) matches the
// whole text; `*` and `?` match '/' too when `slash_too`.
bool pattern_matches(const char* pattern, const char* text, bool slash_too = false);
