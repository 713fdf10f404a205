#include "mastering/entries.h"

#include <cstring>
#include <unordered_map>

#include "mastering/descriptors.h"
#include "mastering/text.h"
#include "platform/platform.h"
#include "shell/hooks.h"

std::vector<LeftOutFile> files_left_out;
DotNames dot_names;

const LeftOutFile* left_out_entry(const char* path, const platform::FileInfo& info)
{
    if (info.attributes & platform::attribute_directory)
        return nullptr;
    for (const LeftOutFile& f : files_left_out) {
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

EntryTable entry_table;

namespace {

constexpr uint64_t four_gib = uint64_t(1) << 32;

// Folders on the way from the registered item down to the current one.
std::vector<FolderIdentity> ancestors;
// Directories entered so far (the root included), and whether the walk has
// stopped: a refusal or an interruption ends it at once.
uint32_t directories = 1;
bool stopped = false;

// What an entry's identifiers are before they are made: empty. The root's
// one byte is the zero it needs.
uint8_t no_identifier[4] = {};

char* take_text_room(size_t bytes)
{
    constexpr size_t block_size = 256 * 1024;
    if (bytes > entry_table.text_left) {
        size_t size = bytes > block_size ? bytes : block_size;
        entry_table.text_blocks.emplace_back(new char[size]);
        entry_table.text_next = entry_table.text_blocks.back().get();
        entry_table.text_left = size;
    }
    char* room = entry_table.text_next;
    entry_table.text_next += bytes;
    entry_table.text_left -= bytes;
    return room;
}

void add_block(uint32_t records)
{
    entry_table.blocks.emplace_back(new SourceEntry[records]());
    SourceEntry* block = entry_table.blocks.back().get();
    for (uint32_t i = 0; i < records; ++i) {
        block[i].sort_key = block[i].source_path = "";
        block[i].identifier[primary_tree] = block[i].identifier[joliet_tree] = no_identifier;
        entry_table.entries.push_back(block + i);
    }
}

SourceEntry* take_record()
{
    if (entry_table.count == entry_table.entries.size()) {
        uint32_t more = entry_table.count < 1024 ? 1024 : entry_table.count;
        add_block(more);
    }
    return entry_table.entries[entry_table.count++];
}

void report(ProblemKind kind, const char* path, std::string detail = {})
{
    entry_table.problems.push_back({kind, path, std::move(detail)});
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

namespace {

struct KeptListings {
    bool on = false;
    std::unordered_map<std::string, std::vector<platform::FoundName>> by_path;
};
KeptListings kept_listings;

}  // namespace

void keep_folder_listings(bool on)
{
    kept_listings.on = on;
    if (!on)
        kept_listings.by_path = {};
}

void keep_listing(const char* path, std::vector<platform::FoundName>&& names)
{
    if (kept_listings.on)
        kept_listings.by_path.try_emplace(path, std::move(names));
}

bool list_scanned_names(const char* path, std::vector<platform::FoundName>& names)
{
    if (!kept_listings.by_path.empty()) {
        auto kept = kept_listings.by_path.find(path);
        if (kept != kept_listings.by_path.end()) {
            names = std::move(kept->second);
            kept_listings.by_path.erase(kept);
            return true;
        }
    }
    // Names are collected first, so the folder is not held open while the
    // walk descends.
    return platform::list_directory_found(path, names);
}

void (*walk_callback)(uint32_t folders, const char* path) = nullptr;

bool walk_stop_requested()
{
    return abort_requested != 0;
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

const char* keep_text(const char* text, size_t length)
{
    char* kept = take_text_room(length + 1);
    std::memcpy(kept, text, length);
    kept[length] = 0;
    return kept;
}

uint8_t* identifier_room(SourceEntry* e, int tree, size_t length)
{
    size_t held = e->identifier[tree] == no_identifier ? 0 : e->identifier_length[tree];
    if (length <= held)
        return e->identifier[tree];
    auto* room = reinterpret_cast<uint8_t*>(take_text_room(length + 2));
    std::memcpy(room, e->identifier[tree], held);
    std::memset(room + held, 0, length + 2 - held);
    e->identifier[tree] = room;
    return room;
}

void allocate_entry_table(uint32_t capacity)
{
    free_entry_table();
    if (capacity < 1)
        capacity = 1;
    add_block(capacity);
    dot_names.left_out = 0;
    dot_names.first_left_out.clear();
    SourceEntry* root = entry_table.entries[0];
    root->depth = 1;
    root->directory = 1;
    root->identifier_length[primary_tree] = 1;
    root->identifier_length[joliet_tree] = 1;
    entry_table.root = root;
    entry_table.count = 1;
    entry_table.max_depth = 1;
}

void free_entry_table()
{
    entry_table.entries.clear();
    entry_table.blocks.clear();
    entry_table.text_blocks.clear();
    entry_table.text_next = nullptr;
    entry_table.text_left = 0;
    entry_table.problems.clear();
    entry_table.count = 0;
    entry_table.max_depth = 1;
    entry_table.root = nullptr;
    ancestors.clear();
    directories = 1;
    stopped = false;
}

bool scan_stopped()
{
    return stopped;
}

namespace {

// The scan of one path; `looked`, when given, is what find_file says of it.
void scan_path(const char* path, uint8_t depth, const platform::FoundName* looked)
{
    if (stopped)
        return;
    size_t path_length = std::strlen(path);
    if (path_length >= path_capacity) {
        report(ProblemKind::path_too_long, path);
        stopped = true;
        return;
    }
    if (depth == 0) {  // the 8-bit depth has wrapped: nested deeper than 255 levels
        report(ProblemKind::path_too_long, path, "nested more than 254 levels deep");
        stopped = true;
        return;
    }
    const char* start = key_start(path, depth);
    if (!start)
        return;  // too few separators for its depth (a bare drive): no entry

    platform::FileInfo info;
    bool found = looked ? looked->found : platform::find_file(path, info);
    if (looked)
        info = looked->info;
    if (found && info.special && depth > 2) {
        report(ProblemKind::special_file_skipped, path);
        return;
    }
    if (found && depth > 2 && !files_left_out.empty()) {
        if (const LeftOutFile* left_out = left_out_entry(path, info)) {
            report(left_out->refused ? ProblemKind::output_is_input : ProblemKind::output_left_out, path);
            stopped = stopped || left_out->refused;
            return;
        }
    }
    char key[path_capacity];
    if (!make_key(key, start)) {
        report(ProblemKind::key_too_long, path);
        stopped = true;
        return;
    }

    SourceEntry* e = take_record();
    e->depth = depth;
    if (depth > entry_table.max_depth)
        entry_table.max_depth = depth;
    e->source_path = keep_text(path, path_length);
    e->sort_key = keep_text(key);

    if (!found) {
        // Gone since it was registered, or never reachable: an empty,
        // visible file dated like the root, reported with the reason.
        e->recording_date = dir_record_settings.recorded_date;
        report(ProblemKind::source_gone, path, platform::find_failure_text(path));
        return;
    }
    record_date_from_file_time(e->recording_date, info.last_write);
    bool is_directory = (info.attributes & platform::attribute_directory) != 0;
    uint64_t size = is_directory || info.special ? 0 : info.size;
    if (size >= four_gib)
        report(ProblemKind::file_too_large, path);
    if (info.special)
        report(ProblemKind::special_registered, path);
    else if (info.size_unreported)
        report(ProblemKind::size_unreported, path);
    e->data_length[primary_tree] = e->data_length[joliet_tree] = uint32_t(size);
    e->hidden = uint8_t(info.attributes & platform::attribute_hidden);
    e->directory = info.attributes & platform::attribute_directory;
    if (!is_directory)
        return;

    if (++directories > max_directories) {
        report(ProblemKind::too_many_directories, path);
        stopped = true;
        return;
    }
    if (walk_stop_requested()) {
        stopped = true;
        return;
    }
    if (walk_callback)
        walk_callback(directories, path);
    FolderIdentity self{info.volume, info.object};
    if (leads_back(ancestors, self)) {
        report(ProblemKind::directory_loop, path);
        return;
    }
    std::vector<platform::FoundName> names;
    if (!list_scanned_names(path, names)) {
        report(ProblemKind::folder_unreadable, path, platform::last_error_text());
        return;
    }
    ancestors.push_back(self);
    char child[path_capacity];
    for (const platform::FoundName& item : names) {
        if (stopped)
            break;
        const std::string& name = item.name;
        if (left_out_by_name(name)) {
            if (dot_names.left_out++ < dot_names_shown)
                dot_names.first_left_out.push_back(std::string(path) + platform::path_separator + name);
            continue;
        }
        if (path_length + 1 + name.size() >= path_capacity) {
            std::string full = std::string(path) + platform::path_separator + name;
            report(ProblemKind::path_too_long, full.c_str());
            stopped = true;
            break;
        }
        std::memcpy(child, path, path_length);
        child[path_length] = platform::path_separator;
        std::memcpy(child + path_length + 1, name.c_str(), name.size() + 1);
        scan_path(child, uint8_t(depth + 1), &item);
    }
    ancestors.pop_back();
}

}  // namespace

void scan_source(const char* path, uint8_t depth)
{
    scan_path(path, depth, nullptr);
}
