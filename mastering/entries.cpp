#include "mastering/entries.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_map>

#include "mastering/descriptors.h"
#include "mastering/identifiers.h"
#include "mastering/text.h"
#include "platform/platform.h"

const LeftOutFile* left_out_entry(const std::vector<LeftOutFile>& left_out, const char* path,
                                  const platform::FileInfo& info)
{
    if (info.attributes & platform::attribute_directory)
        return nullptr;
    for (const LeftOutFile& f : left_out) {
        if (f.size != info.size)
            continue;
        platform::FileIdentity identity{info.volume, info.object};
        // Where the scan learns no identity (Win32), ask for it; the size
        // has already narrowed the candidates.
        if (identity == platform::FileIdentity{} && !platform::file_identity(path, identity))
            return nullptr;
        if (identity == f.identity)
            return &f;
    }
    return nullptr;
}

namespace {

// What an entry's identifiers are before they are made: empty. The root's
// one byte is the zero it needs. Never written: room for an identifier is
// taken from the text store (identifier_room).
const uint8_t no_identifier[4] = {};
uint8_t* no_identifier_yet()
{
    return const_cast<uint8_t*>(no_identifier);
}

char* take_text_room(EntryTable& table, size_t bytes)
{
    constexpr size_t block_size = 256 * 1024;
    if (bytes > table.text_left) {
        size_t size = bytes > block_size ? bytes : block_size;
        table.text_blocks.emplace_back(new char[size]);
        table.text_next = table.text_blocks.back().get();
        table.text_left = size;
    }
    char* room = table.text_next;
    table.text_next += bytes;
    table.text_left -= bytes;
    return room;
}

void add_block(EntryTable& table, uint32_t records)
{
    table.blocks.emplace_back(new SourceEntry[records]());
    SourceEntry* block = table.blocks.back().get();
    for (uint32_t i = 0; i < records; ++i) {
        block[i].sort_key = block[i].source_path = "";
        block[i].identifier[primary_tree] = block[i].identifier[joliet_tree] = no_identifier_yet();
        table.entries.push_back(block + i);
    }
}

SourceEntry* take_record(EntryTable& table)
{
    if (table.count == table.entries.size()) {
        uint32_t more = table.count < 1024 ? 1024 : table.count;
        add_block(table, more);
    }
    return table.entries[table.count++];
}

void report(Scan& scan, ProblemKind kind, const char* path, std::string detail = {})
{
    scan.table.problems.push_back({kind, path, std::move(detail)});
}

// The separator whose 0-based position among all separators is n + 1 - depth.
const char* key_start(const char* path, uint8_t depth)
{
    int separators = 0;
    for (const char* p = path; *p; p = platform::char_next(p))
        if (*p == platform::path_separator)
            ++separators;
    int wanted = separators + 1 - depth;
    if (wanted < 0)
        return nullptr;
    int seen = 0;
    for (const char* p = path; *p; p = platform::char_next(p)) {
        if (*p == platform::path_separator) {
            if (seen == wanted)
                return p;
            ++seen;
        }
    }
    return nullptr;
}

// The key is the path from `from` on, uppercased, with TAB for every
// separator. TAB must sort below everything a name holds, so a name's own
// bytes 0x01 to 0x0A become two bytes, 0x0A and the byte plus 0x40: the
// order of all names is kept and a folder's contents still follow it
// directly. Names without such bytes keep their bytes. False when the key
// does not fit.
bool make_key(char* key, const char* from)
{
    char upper[path_capacity];
    copy_string(upper, from);
    uppercase_in_place(upper);
    size_t n = 0;
    for (const char* p = upper; *p;) {
        const char* next = platform::char_next(p);
        unsigned char c = static_cast<unsigned char>(*p);
        size_t room = path_capacity - 1 - n;
        if (next == p + 1 && c == static_cast<unsigned char>(platform::path_separator)) {
            if (room < 1)
                return false;
            key[n++] = '\t';
        } else if (next == p + 1 && c >= 0x01 && c <= 0x0A) {
            if (room < 2)
                return false;
            key[n++] = 0x0A;
            key[n++] = char(c + 0x40);
        } else {
            if (room < size_t(next - p))
                return false;
            for (; p < next; ++p)
                key[n++] = *p;
            continue;
        }
        p = next;
    }
    key[n] = 0;
    return true;
}

}  // namespace

void keep_listing(FolderListings* listings, const char* path, std::vector<platform::FoundName>&& names)
{
    if (listings)
        listings->by_path.try_emplace(path, std::move(names));
}

bool list_scanned_names(const char* path, std::vector<platform::FoundName>& names, FolderListings* listings,
                        platform::Links links)
{
    if (listings && !listings->by_path.empty()) {
        auto kept = listings->by_path.find(path);
        if (kept != listings->by_path.end()) {
            names = std::move(kept->second);
            listings->by_path.erase(kept);
            return true;
        }
    }
    // Names are collected first, so the folder is not held open while the
    // walk descends.
    return platform::list_directory_found(path, names, links);
}

bool leads_back(const std::vector<FolderIdentity>& ancestors, const FolderIdentity& folder)
{
    if (folder.volume == 0 && folder.object == 0)
        return false;  // the platform gives no identity
    for (const FolderIdentity& a : ancestors)
        if (a.volume == folder.volume && a.object == folder.object)
            return true;
    return false;
}

const char* keep_text(EntryTable& table, const char* text, size_t length)
{
    char* kept = take_text_room(table, length + 1);
    std::memcpy(kept, text, length);
    kept[length] = 0;
    return kept;
}

uint8_t* identifier_room(EntryTable& table, SourceEntry* e, int tree, size_t length)
{
    size_t held = e->identifier[tree] == no_identifier ? 0 : e->identifier_length[tree];
    if (length <= held)
        return e->identifier[tree];
    auto* room = reinterpret_cast<uint8_t*>(take_text_room(table, length + 2));
    std::memcpy(room, e->identifier[tree], held);
    std::memset(room + held, 0, length + 2 - held);
    e->identifier[tree] = room;
    return room;
}

void allocate_entry_table(EntryTable& table, uint32_t capacity)
{
    table = EntryTable{};
    if (capacity < 1)
        capacity = 1;
    add_block(table, capacity);
    SourceEntry* root = table.entries[0];
    root->depth = 1;
    root->directory = 1;
    root->identifier_length[primary_tree] = 1;
    root->identifier_length[joliet_tree] = 1;
    table.root = root;
    table.count = 1;
    table.max_depth = 1;
}

PosixAttributes* keep_posix_attributes(EntryTable& table)
{
    // Aligned room in the text store.
    const size_t align = alignof(PosixAttributes);
    const size_t skip = (align - reinterpret_cast<uintptr_t>(table.text_next) % align) % align;
    if (table.text_next && skip <= table.text_left) {
        table.text_next += skip;
        table.text_left -= skip;
    }
    char* room = take_text_room(table, sizeof(PosixAttributes) + align);
    const size_t shift = (align - reinterpret_cast<uintptr_t>(room) % align) % align;
    return new (room + shift) PosixAttributes();
}

namespace {

// The POSIX attributes of an entry, for Rock Ridge.
void keep_posix(Scan& scan, SourceEntry* e, const char* path, const platform::FileInfo& info)
{
    PosixAttributes* a = keep_posix_attributes(scan.table);
    a->mode = info.mode;
    a->links = info.links;
    a->owner = info.owner;
    a->group = info.group;
    a->device = info.device;
    // The record's own date is the modification time already made; the
    // others are made only where they differ from it (to the second: the
    // 7-byte form holds no less).
    constexpr uint64_t ticks_per_second = 10000000;
    a->modified = e->recording_date;
    const uint64_t modified_second = info.last_write / ticks_per_second;
    a->accessed = a->changed = e->recording_date;
    if (info.last_access / ticks_per_second != modified_second)
        record_date_from_file_time(a->accessed, info.last_access);
    if (info.last_change / ticks_per_second != modified_second)
        record_date_from_file_time(a->changed, info.last_change);
    const std::string name = platform::text_to_system(e->image_name ? e->image_name : leaf_name(path));
    // NM fields hold any length, but readers take no name past this.
    if (name.size() > max_rock_ridge_name)
        report(scan, ProblemKind::name_too_long, path, std::to_string(name.size()) + " bytes");
    a->name = keep_text(scan.table, name.c_str(), name.size());
    a->volume = info.volume;
    a->object = info.object;
    std::string target;
    if (info.symbolic_link) {
        if (!platform::read_link(path, target))
            report(scan, ProblemKind::source_unreadable, path, platform::last_error_text());
        // SL holds longer ones, but readers refuse the whole tree past this.
        if (target.size() > max_link_target)
            report(scan, ProblemKind::link_target_too_long, path, std::to_string(target.size()) + " bytes");
        a->link_target = keep_text(scan.table, target.c_str(), target.size());
    }
    e->posix = a;
}

void scan_contents(Scan& scan, const char* path, size_t path_length, uint8_t depth, const platform::FileInfo& info,
                   platform::Links links);

// True when the item (its name, its path below the registered or grafted
// folder) matches an --exclude pattern.
bool excluded(const Scan& scan, const char* path, const std::string& name)
{
    if (!scan.excluded || scan.excluded->empty())
        return false;
    // The path below the top item: what follows its own name.
    const char* below = path;
    const size_t top = scan.graft.source.empty() ? std::string::npos : scan.graft.source.size();
    if (top != std::string::npos && std::strlen(path) > top)
        below = path + top + 1;
    std::string relative = below;
    for (char& c : relative)
        if (c == platform::path_separator)
            c = '/';
    for (const std::string& pattern : *scan.excluded)
        if (pattern_matches(pattern.c_str(), name.c_str()) || pattern_matches(pattern.c_str(), relative.c_str(), true))
            return true;
    return false;
}

// The scan of one path; `looked`, when given, is what find_file says of it.
void scan_path(Scan& scan, const char* path, uint8_t depth, const platform::FoundName* looked)
{
    if (scan.stopped)
        return;
    size_t path_length = std::strlen(path);
    if (path_length >= path_capacity) {
        report(scan, ProblemKind::path_too_long, path);
        scan.stopped = true;
        return;
    }
    if (depth == 0) {  // the 8-bit depth has wrapped: nested deeper than 255 levels
        report(scan, ProblemKind::path_too_long, path, "nested more than 254 levels deep");
        scan.stopped = true;
        return;
    }
    // A graft point's source and what lies below it are keyed by the
    // target's place; other items by their paths.
    const bool grafted = !scan.graft.source.empty();
    const bool top = grafted && path_length == scan.graft.source.size();
    std::string grafted_from;
    const char* start = nullptr;
    if (grafted) {
        grafted_from =
            (scan.graft.name.empty() ? std::string() : std::string(1, platform::path_separator) + scan.graft.name) +
            std::string(path + scan.graft.source.size());
        start = grafted_from.c_str();
    } else {
        start = key_start(path, depth);
        if (!start)
            return;  // too few separators for its depth (a bare drive): no entry
    }

    platform::FileInfo info;
    const platform::Links links = scan.posix && !scan.follow_links ? platform::Links::keep : platform::Links::follow;
    bool found = looked ? looked->found : platform::find_file(path, info, links);
    if (looked)
        info = looked->info;
    if (found && scan.latest_file_time) {
        info.last_write = std::min(info.last_write, scan.latest_file_time);
        info.last_access = std::min(info.last_access, scan.latest_file_time);
        info.last_change = std::min(info.last_change, scan.latest_file_time);
    }
    if (found && info.special && depth > 2 && !scan.posix) {
        report(scan, ProblemKind::special_file_skipped, path);
        return;
    }
    if (found && depth > 2 && scan.left_out && !scan.left_out->empty()) {
        if (const LeftOutFile* left_out = left_out_entry(*scan.left_out, path, info)) {
            report(scan, left_out->refused ? ProblemKind::output_is_input : ProblemKind::output_left_out, path);
            scan.stopped = scan.stopped || left_out->refused;
            return;
        }
    }
    if (top && scan.graft.skip_self) {  // only its contents, into the folder at its place
        if (found && (info.attributes & platform::attribute_directory))
            scan_contents(scan, path, path_length, depth, info, links);
        return;
    }
    char key[path_capacity];
    const size_t prefix = grafted ? scan.graft.key_prefix.size() : 0;
    if (prefix >= path_capacity || !make_key(key + prefix, start) ||
        std::strlen(key + prefix) + prefix >= path_capacity) {
        report(scan, ProblemKind::key_too_long, path);
        scan.stopped = true;
        return;
    }
    if (prefix)
        std::memcpy(key, scan.graft.key_prefix.data(), prefix);

    SourceEntry* e = take_record(scan.table);
    if (top && !scan.graft.name.empty())
        e->image_name = keep_text(scan.table, scan.graft.name.c_str(), scan.graft.name.size());
    e->depth = depth;
    if (depth > scan.table.max_depth)
        scan.table.max_depth = depth;
    e->source_path = keep_text(scan.table, path, path_length);
    e->sort_key = keep_text(scan.table, key);

    if (!found) {
        // Gone since it was registered, or never reachable: an empty,
        // visible file dated like the root, reported with the reason.
        e->recording_date = scan.gone_date;
        if (scan.posix) {  // Rock Ridge gives it the attributes of such a file
            platform::FileInfo empty;
            empty.mode = 0100644;
            empty.last_write = empty.last_access = empty.last_change = 0;
            keep_posix(scan, e, path, empty);
            e->posix->modified = e->posix->accessed = e->posix->changed = scan.gone_date;
        }
        report(scan, ProblemKind::source_gone, path, platform::find_failure_text(path));
        return;
    }
    record_date_from_file_time(e->recording_date, info.last_write);
    bool is_directory = (info.attributes & platform::attribute_directory) != 0;
    uint64_t size = is_directory || info.special ? 0 : info.size;
    // Above 2^48 bytes no volume could hold it in any case.
    if (size >= four_gib && (!scan.large_files || (size >> 48) != 0))
        report(scan, ProblemKind::file_too_large, path);
    if (info.special && !scan.posix)
        report(scan, ProblemKind::special_registered, path);
    else if (info.size_unreported)
        report(scan, ProblemKind::size_unreported, path);
    e->data_length[primary_tree] = e->data_length[joliet_tree] = uint32_t(size);
    e->size_high = uint16_t(size >> 32);
    e->hidden = uint8_t(info.attributes & platform::attribute_hidden);
    e->directory = info.attributes & platform::attribute_directory;
    if (scan.posix)
        keep_posix(scan, e, path, info);
    if (!is_directory)
        return;

    if (++scan.directories > max_directories) {
        report(scan, ProblemKind::too_many_directories, path);
        scan.stopped = true;
        return;
    }
    scan_contents(scan, path, path_length, depth, info, links);
}

// The contents of the folder at `path` (found with `info`), one level below
// `depth`.
void scan_contents(Scan& scan, const char* path, size_t path_length, uint8_t depth, const platform::FileInfo& info,
                   platform::Links links)
{
    if (stop_asked(scan.link)) {
        scan.stopped = true;
        return;
    }
    if (scan.link.hooks && scan.link.hooks->walked)
        scan.link.hooks->walked(scan.directories, path);
    FolderIdentity self{info.volume, info.object};
    if (leads_back(scan.ancestors, self)) {
        report(scan, ProblemKind::directory_loop, path);
        return;
    }
    std::vector<platform::FoundName> names;
    if (!list_scanned_names(path, names, scan.listings, links)) {
        report(scan, ProblemKind::folder_unreadable, path, platform::last_error_text());
        return;
    }
    scan.ancestors.push_back(self);
    char child[path_capacity];
    for (const platform::FoundName& item : names) {
        if (scan.stopped)
            break;
        const std::string& name = item.name;
        if (left_out_by_name(name, scan.dot_files)) {
            if (scan.dot_names_left_out++ < dot_names_shown)
                scan.first_dot_names_left_out.push_back(std::string(path) + platform::path_separator + name);
            continue;
        }
        if (path_length + 1 + name.size() >= path_capacity) {
            std::string full = std::string(path) + platform::path_separator + name;
            report(scan, ProblemKind::path_too_long, full.c_str());
            scan.stopped = true;
            break;
        }
        std::memcpy(child, path, path_length);
        child[path_length] = platform::path_separator;
        std::memcpy(child + path_length + 1, name.c_str(), name.size() + 1);
        if (excluded(scan, child, name))
            continue;
        scan_path(scan, child, uint8_t(depth + 1), &item);
    }
    scan.ancestors.pop_back();
}

}  // namespace

void scan_source(Scan& scan, const char* path, uint8_t depth)
{
    scan_path(scan, path, depth, nullptr);
}

std::string key_below(const std::string& key_prefix, const std::string& name)
{
    char key[path_capacity];
    const std::string from = std::string(1, platform::path_separator) + name;
    if (!make_key(key, from.c_str()) || key_prefix.size() + std::strlen(key) >= path_capacity)
        return {};
    return key_prefix + key;
}

SourceEntry* add_image_folder(Scan& scan, const std::string& key_prefix, const std::string& name, uint8_t depth)
{
    const std::string key = key_below(key_prefix, name);
    if (key.empty()) {
        report(scan, ProblemKind::key_too_long, name.c_str());
        scan.stopped = true;
        return nullptr;
    }
    if (++scan.directories > max_directories) {
        report(scan, ProblemKind::too_many_directories, name.c_str());
        scan.stopped = true;
        return nullptr;
    }
    SourceEntry* e = take_record(scan.table);
    e->depth = depth;
    if (depth > scan.table.max_depth)
        scan.table.max_depth = depth;
    e->image_name = e->source_path = keep_text(scan.table, name.c_str(), name.size());
    e->sort_key = keep_text(scan.table, key.c_str(), key.size());
    e->recording_date = scan.gone_date;
    e->directory = platform::attribute_directory;
    if (scan.posix) {
        platform::FileInfo folder;
        folder.mode = 040755;
        folder.links = 2;
        folder.last_write = folder.last_access = folder.last_change = 0;
        keep_posix(scan, e, name.c_str(), folder);
        e->posix->modified = e->posix->accessed = e->posix->changed = scan.gone_date;
    }
    return e;
}

bool pattern_matches(const char* pattern, const char* text, bool slash_too)
{
    // Backtracking over the last '*' keeps this linear in practice.
    const char *star = nullptr, *resume = nullptr;
    while (*text) {
        const char c = *text;
        if (*pattern == '*') {
            star = pattern++;
            resume = text;
            continue;
        }
        bool matched = false;
        const char* next = pattern;
        if (*pattern == '?' && (slash_too || c != '/')) {
            matched = true;
            next = pattern + 1;
        } else if (*pattern == '[') {
            const char* p = pattern + 1;
            const bool negated = *p == '!' || *p == '^';
            if (negated)
                ++p;
            bool in = false;
            const char* first = p;
            while (*p && (*p != ']' || p == first)) {
                if (p[1] == '-' && p[2] && p[2] != ']') {
                    in = in || (c >= p[0] && c <= p[2]);
                    p += 3;
                } else {
                    in = in || c == *p;
                    ++p;
                }
            }
            if (*p == ']') {
                matched = in != negated && c != '/';
                next = p + 1;
            } else {  // no closing bracket: a plain '['
                matched = c == '[';
                next = pattern + 1;
            }
        } else if (*pattern == '\\' && pattern[1]) {
            matched = c == pattern[1];
            next = pattern + 2;
        } else if (*pattern) {
            matched = c == *pattern;
            next = pattern + 1;
        }
        if (matched) {
            pattern = next;
            ++text;
        } else if (star && (slash_too || *resume != '/')) {
            pattern = star + 1;
            text = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == 0;
}
