#include "mastering/identifiers.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "mastering/entries.h"
#include "mastering/text.h"
#include "platform/platform.h"

namespace {

// Copies the first `limit` bytes of `text`, which is longer than that. A
// multibyte character cut by the limit leaves '_' in place of its copied
// bytes, so no identifier ends in half a character.
size_t copy_cut(char* out, const char* text, size_t limit)
{
    std::memcpy(out, text, limit);
    const char* boundary = text;
    const char* last = text;
    while (size_t(boundary - text) < limit) {
        last = boundary;
        const char* next = platform::char_next(boundary);
        if (next == boundary)
            break;
        boundary = next;
    }
    if (size_t(boundary - text) > limit)
        for (size_t i = size_t(last - text); i < limit; ++i)
            out[i] = '_';
    return limit;
}

// Replaces every character c of a zero-terminated string by '_'.
void replace_char(char* text, char c)
{
    for (char* p = text; *p; p = const_cast<char*>(platform::char_next(p)))
        if (*p == c)
            *p = '_';
}

// A name cut to eight bytes: whole when it fits, else six bytes and "~1".
size_t short_base(char* out, const char* name, size_t length)
{
    if (length <= 8) {
        std::memcpy(out, name, length);
        return length;
    }
    copy_cut(out, name, 6);
    out[6] = '~';
    out[7] = '1';
    return 8;
}

const char* find_last(const char* text, char c)
{
    const char* found = nullptr;
    for (const char* p = text; *p; p = platform::char_next(p))
        if (*p == c)
            found = p;
    return found;
}

constexpr size_t joliet_scratch_units = 1024;

// The units of an identifier being counted up: bytes of the primary tree or
// big-endian UCS-2 units of the Joliet tree.
enum class Units { bytes = 1, ucs2be = 2 };

// Counts one character up at `position`, carrying towards the front from Z.
bool count_up(uint8_t* identifier, int position, Units units)
{
    const int width = int(units);
    if (position < 0)
        return false;
    for (int pos = position; pos >= 0; --pos) {
        uint8_t* unit = identifier + pos * width;
        bool wide = units == Units::ucs2be && unit[0] != 0;
        uint8_t c = units == Units::ucs2be ? unit[1] : unit[0];
        uint8_t next;
        bool carry = false;
        if (wide)
            next = '1';
        else if (c >= '1' && c <= '8')
            next = uint8_t(c + 1);
        else if (c == '9')
            next = 'A';
        else if (c >= 'A' && c <= 'Y')
            next = uint8_t(c + 1);
        else if (c == 'Z') {
            next = '1';
            carry = true;
        } else
            next = '1';
        if (units == Units::ucs2be)
            unit[0] = 0;
        unit[width - 1] = next;
        if (!carry)
            break;
        // A carry out of the first character stops there.
    }
    return true;
}

}  // namespace

const char* leaf_name(const char* path)
{
    const char* leaf = path;
    for (const char* p = path; *p; p = platform::char_next(p))
        if (*p == platform::path_separator)
            leaf = p + 1;
    return leaf;
}

int make_file_identifier(uint8_t* destination, const char* leaf)
{
    char id[64];
    const char* dot = find_last(leaf, '.');
    size_t base_length = dot ? size_t(dot - leaf) : std::strlen(leaf);
    const char* extension = dot ? dot + 1 : "";
    size_t n = short_base(id, leaf, base_length);
    id[n] = 0;
    replace_char(id, '.');
    id[n++] = '.';
    size_t extension_length = std::strlen(extension);
    if (extension_length <= 3) {
        std::memcpy(id + n, extension, extension_length);
        n += extension_length;
    } else {
        n += copy_cut(id + n, extension, 3);
    }
    id[n] = 0;
    replace_char(id, ' ');
    id[n++] = ';';
    id[n++] = '1';
    id[n] = 0;
    uppercase_in_place(id);
    std::memcpy(destination, id, n + 1);
    return int(n);
}

int make_relaxed_directory_identifier(uint8_t* destination, const char* leaf)
{
    // A file's form (eight bytes, '.', three) without its version, and
    // without the '.' of a name that has no extension.
    int n = make_file_identifier(destination, leaf) - 2;
    if (n > 0 && destination[n - 1] == '.')
        --n;
    destination[n] = 0;
    return n;
}

int make_directory_identifier(uint8_t* destination, const char* leaf)
{
    char id[64];
    size_t n = short_base(id, leaf, std::strlen(leaf));
    id[n] = 0;
    replace_char(id, ' ');
    replace_char(id, '.');
    uppercase_in_place(id);
    std::memcpy(destination, id, n + 1);
    return int(n);
}

namespace {

bool joliet_forbidden(uint16_t value)
{
    return value < 0x20 || value == '*' || value == '/' || value == ':' || value == ';' || value == '?' ||
           value == '\\';
}

enum class JolietKind { file, directory };

// A file's identifier ends in ";1"; a directory's has no version.
int make_joliet(uint8_t* destination, const char* leaf, size_t keep, JolietKind kind, bool* changed = nullptr)
{
    bool replaced = false;
    const uint16_t underscore = ucs2be_unit('_');
    uint16_t units[joliet_scratch_units];
    size_t n = to_ucs2be(units, leaf, joliet_scratch_units) - 1;
    // Joliet forbids these in a name, and a name may not read as "." or "..".
    for (size_t i = 0; i < n; ++i)
        if (joliet_forbidden(ucs2be_value(units[i]))) {
            units[i] = underscore;
            replaced = true;
        }
    const uint16_t dot = ucs2be_unit('.');
    if ((n == 1 && units[0] == dot) || (n == 2 && units[0] == dot && units[1] == dot))
        for (size_t i = 0; i < n; ++i) {
            units[i] = underscore;
            replaced = true;
        }
    if (n > keep) {
        replaced = true;
        n = keep - 2;
        // A cut after the first half of a surrogate pair leaves '_' for it.
        uint16_t last = ucs2be_value(units[n - 1]);
        if (last >= 0xD800 && last <= 0xDBFF)
            units[n - 1] = underscore;
        units[n++] = ucs2be_unit('~');
        units[n++] = ucs2be_unit('1');
    }
    if (kind == JolietKind::file) {
        units[n++] = ucs2be_unit(';');
        units[n++] = ucs2be_unit('1');
    }
    units[n] = 0;
    if (changed)
        *changed = replaced;
    std::memcpy(destination, units, 2 * (n + 1));
    return int(2 * n);
}

}  // namespace

int make_joliet_file_identifier(uint8_t* destination, const char* leaf)
{
    return make_joliet(destination, leaf, 62, JolietKind::file);
}

int make_joliet_directory_identifier(uint8_t* destination, const char* leaf)
{
    return make_joliet(destination, leaf, 64, JolietKind::directory);
}

bool bump_file_identifier(uint8_t* identifier, int length)
{
    // The last byte before the first '.'.
    int dot = -1;
    std::string text(reinterpret_cast<const char*>(identifier), size_t(length));
    for (const char* p = text.c_str(); *p; p = platform::char_next(p))
        if (*p == '.') {
            dot = int(p - text.c_str());
            break;
        }
    if (dot < 0)
        return false;
    return count_up(identifier, dot - 1, Units::bytes);
}

bool bump_directory_identifier(uint8_t* identifier, int length)
{
    return count_up(identifier, length - 1, Units::bytes);
}

bool bump_joliet_file_identifier(uint8_t* identifier, int length)
{
    // The last unit before the ";1".
    return count_up(identifier, length / 2 - 3, Units::ucs2be);
}

bool bump_joliet_directory_identifier(uint8_t* identifier, int length)
{
    return count_up(identifier, length / 2 - 1, Units::ucs2be);
}

void sort_entries(EntryTable& table, BuildLink* link)
{
    // Each folder's entries follow it directly in the scan, a level deeper.
    // The order sorts the children of every folder by their keys, stably, and
    // keeps every subtree whole behind its folder. Where all keys differ this
    // is the order of the keys themselves (the separator sorts below every
    // byte a name's key holds); where keys are equal (one name registered
    // twice, names that differ only in case, a file and a folder of one name)
    // the items keep their scan order and each keeps its own children.
    const uint32_t n = table.count;
    std::vector<SourceEntry*>& a = table.entries;
    if (n < 2)
        return;
    // Children of each entry in scan order: parent = the nearest earlier
    // entry one level up (the root for registered items).
    std::vector<uint32_t> first_child(n, 0), next_sibling(n, 0), last_child(n, 0);
    std::vector<uint32_t> open{0};
    for (uint32_t i = 1; i < n; ++i) {
        while (open.size() > 1 && a[open.back()]->depth >= a[i]->depth)
            open.pop_back();
        const uint32_t parent = open.back();
        if (first_child[parent] == 0)
            first_child[parent] = i;
        else
            next_sibling[last_child[parent]] = i;
        last_child[parent] = i;
        open.push_back(i);
    }
    // The progress counts passes, as many as a merge sort of the table takes;
    // every pass pumps messages and honours the abort request.
    uint32_t passes = 0;
    for (uint32_t width = 1; width < n; width *= 2)
        ++passes;
    const uint32_t per_pass = (n + passes - 1) / passes;
    uint32_t done = 0, next_pass = 0;
    auto less = [](const SourceEntry* x, const SourceEntry* y) { return compare_bytes(x->sort_key, y->sort_key) < 0; };

    std::vector<SourceEntry*> sorted;
    sorted.reserve(n);
    sorted.push_back(a[0]);
    // Depth first: a stack of sibling lists, each sorted when first reached.
    struct Level {
        std::vector<uint32_t> children;
        size_t next = 0;
    };
    std::vector<Level> stack;
    auto children_of = [&](uint32_t parent) {
        Level level;
        for (uint32_t c = first_child[parent]; c != 0; c = next_sibling[c])
            level.children.push_back(c);
        std::stable_sort(level.children.begin(), level.children.end(),
                         [&](uint32_t x, uint32_t y) { return less(a[x], a[y]); });
        return level;
    };
    stack.push_back(children_of(0));
    while (!stack.empty()) {
        if (done >= next_pass) {
            next_pass += per_pass;
            if (link) {
                pump(*link);
                link->progress.counter += 1;
                show_progress(*link);
                if (stop_asked(*link))
                    return;
            }  // the table stays in scan order; nothing is written
        }
        Level& top = stack.back();
        if (top.next == top.children.size()) {
            stack.pop_back();
            continue;
        }
        const uint32_t i = top.children[top.next++];
        sorted.push_back(a[i]);
        ++done;
        if (first_child[i] != 0)
            stack.push_back(children_of(i));
    }
    std::copy(sorted.begin(), sorted.end(), a.begin());
}

namespace {

// True when the ISO 9660 identifier is the name itself, uppercased, in the
// form of the tree: a file's with "." when it has no extension, and ";1".
bool iso_name_kept(const char* leaf, bool file, const uint8_t* identifier, int length)
{
    const size_t leaf_length = std::strlen(leaf);
    const bool no_extension = file && !find_last(leaf, '.');
    const size_t expected_length = leaf_length + (no_extension ? 1 : 0) + (file ? 2 : 0);
    if (expected_length != size_t(length))
        return false;  // cut: the lengths tell without uppercasing
    char expected[64];
    if (expected_length >= sizeof expected)
        return false;
    std::memcpy(expected, leaf, leaf_length);
    size_t n = leaf_length;
    if (no_extension)
        expected[n++] = '.';
    if (file) {
        expected[n++] = ';';
        expected[n++] = '1';
    }
    expected[n] = 0;
    uppercase_in_place(expected);
    return std::strlen(expected) == n && std::memcmp(expected, identifier, n) == 0;
}

}  // namespace

void assign_identifiers(EntryTable& table)
{
    for (uint32_t i = 1; i < table.count; ++i) {
        SourceEntry* e = table.entries[i];
        const char* leaf = entry_name(e);
        uint8_t made[2][256] = {};
        int length[2];
        bool joliet_changed = false;
        if (e->directory) {
            length[primary_tree] = table.relaxed_names ? make_relaxed_directory_identifier(made[primary_tree], leaf)
                                                       : make_directory_identifier(made[primary_tree], leaf);
            length[joliet_tree] =
                make_joliet(made[joliet_tree], leaf, table.joliet_units, JolietKind::directory, &joliet_changed);
        } else {
            length[primary_tree] = make_file_identifier(made[primary_tree], leaf);
            length[joliet_tree] =
                make_joliet(made[joliet_tree], leaf, table.joliet_units - 2, JolietKind::file, &joliet_changed);
        }
        e->name_changed = uint8_t((iso_name_kept(leaf, e->directory == 0, made[primary_tree], length[primary_tree])
                                       ? 0
                                       : 1u << primary_tree) |
                                  (joliet_changed ? 1u << joliet_tree : 0));
        for (int tree : {primary_tree, joliet_tree}) {
            std::memcpy(identifier_room(table, e, tree, size_t(length[tree])), made[tree], size_t(length[tree]) + 2);
            e->identifier_length[tree] = uint8_t(length[tree]);
        }
    }
}

namespace {

// Siblings whose identifiers are equal byte for byte (and of the same kind)
// stay equal when they are counted up, so they are counted up together as
// one cluster. A cluster is found through its members by union-find.
struct Cluster {
    std::string identifier;  // current bytes
    bool directory = false;
    uint32_t members = 0;  // siblings not yet processed
    int32_t parent = -1;   // union-find link, -1 at a root
};

// The form in which siblings' identifiers must differ: uppercased, and for
// a file without its ";1" (and in the ISO 9660 tree without the '.' of an
// empty extension), as readers show names: a file "DOCS.;1" and a folder
// "DOCS" would take one name there.
std::string uppercase_key(const std::string& identifier, int tree, bool directory)
{
    std::string key;
    if (tree == primary_tree) {
        key = identifier;
        uppercase_in_place(key.data());
        key.resize(std::strlen(key.c_str()));
        if (!directory && key.size() >= 2 && key.compare(key.size() - 2, 2, ";1") == 0) {
            key.resize(key.size() - 2);
            if (!key.empty() && key.back() == '.')
                key.pop_back();
        }
        return key;
    }
    uint16_t units[joliet_scratch_units] = {};
    std::memcpy(units, identifier.data(), std::min(identifier.size(), sizeof units - 2));
    uppercase_ucs2be(units, joliet_scratch_units);
    key.assign(reinterpret_cast<const char*>(units), 2 * ucs2_length(units));
    if (!directory && key.size() >= 4 &&
        key.compare(key.size() - 4, 4,
                    std::string("\0;\0"
                                "1",
                                4)) == 0)
        key.resize(key.size() - 4);
    return key;
}

// True when the entry's identifier in the tree is its own name in the
// tree's form: a name that needed no change keeps a contested identifier
// against one that was cut or had characters replaced.
bool name_kept(const SourceEntry* e, int tree)
{
    return (e->name_changed & (1u << tree)) == 0;
}

// The order in which siblings claim their identifiers: those whose
// identifier is their own name first, then the others, each in table order.
std::vector<uint32_t> claim_order(const EntryTable& table, int tree)
{
    std::vector<uint32_t> order;
    order.reserve(table.count);
    for (int pass = 0; pass < 2; ++pass)
        for (uint32_t i = 1; i < table.count; ++i)
            if (name_kept(table.entries[i], tree) == (pass == 0))
                order.push_back(i);
    return order;
}

struct SiblingGroup {
    // Uppercased identifier -> the clusters that currently have it.
    std::unordered_map<std::string, std::vector<int32_t>> by_key;
};

void resolve_tree(EntryTable& table, int tree)
{
    uint32_t n = table.count;
    std::vector<Cluster> clusters;
    clusters.reserve(n);
    std::vector<int32_t> cluster_of(n, -1);
    std::vector<uint32_t> group_of(n, 0);
    std::vector<SiblingGroup> groups;
    std::map<std::pair<uint32_t, uint8_t>, uint32_t> group_index;

    auto find = [&](int32_t c) {
        while (clusters[c].parent >= 0) {
            int32_t up = clusters[c].parent;
            if (clusters[up].parent >= 0)
                clusters[c].parent = clusters[up].parent;
            c = up;
        }
        return c;
    };
    auto bytes_of = [&](const SourceEntry* e) {
        return std::string(reinterpret_cast<const char*>(e->identifier[tree]), e->identifier_length[tree]);
    };
    // Puts a cluster under its key, merging it into an identical one there.
    auto place = [&](SiblingGroup& group, int32_t c, const std::string& key) {
        auto& list = group.by_key[key];
        for (int32_t other : list) {
            if (clusters[other].identifier == clusters[c].identifier &&
                clusters[other].directory == clusters[c].directory) {
                clusters[other].members += clusters[c].members;
                clusters[c].parent = other;
                return;
            }
        }
        list.push_back(c);
    };

    // Later siblings in the sense of the table walk: the same depth with no
    // shallower entry between them, that is the same nearest shallower entry.
    std::vector<uint32_t> open;  // indices of the nearest entry of each depth
    for (uint32_t i = 1; i < n; ++i) {
        const SourceEntry* e = table.entries[i];
        while (!open.empty() && table.entries[open.back()]->depth >= e->depth)
            open.pop_back();
        uint32_t parent = open.empty() ? 0 : open.back();
        open.push_back(i);
        auto key = std::make_pair(parent, e->depth);
        auto found = group_index.find(key);
        uint32_t g;
        if (found == group_index.end()) {
            g = uint32_t(groups.size());
            group_index.emplace(key, g);
            groups.emplace_back();
        } else {
            g = found->second;
        }
        group_of[i] = g;
    }
    const std::vector<uint32_t> order = claim_order(table, tree);
    for (uint32_t i : order) {
        const SourceEntry* e = table.entries[i];
        Cluster c;
        c.identifier = bytes_of(e);
        c.directory = e->directory != 0;
        c.members = 1;
        clusters.push_back(std::move(c));
        int32_t id = int32_t(clusters.size() - 1);
        cluster_of[i] = id;
        place(groups[group_of[i]], id, uppercase_key(clusters[id].identifier, tree, clusters[id].directory));
    }

    for (uint32_t i : order) {
        SourceEntry* p = table.entries[i];
        SiblingGroup& group = groups[group_of[i]];
        int32_t own = find(cluster_of[i]);
        const std::string& final_bytes = clusters[own].identifier;
        std::memcpy(identifier_room(table, p, tree, final_bytes.size()), final_bytes.data(), final_bytes.size());
        clusters[own].members -= 1;
        std::string a = uppercase_key(final_bytes, tree, p->directory != 0);
        auto bucket = group.by_key.find(a);
        if (bucket == group.by_key.end())
            continue;
        std::vector<int32_t> clashing = std::move(bucket->second);
        group.by_key.erase(bucket);
        for (int32_t c : clashing) {
            if (clusters[c].members == 0)
                continue;
            std::string key = a;
            // Count up while the identifier still equals the processed one;
            // the guard ends identifiers that cannot change any more.
            for (int guard = 0; key == a && guard < 4096; ++guard) {
                uint8_t* bytes = reinterpret_cast<uint8_t*>(clusters[c].identifier.data());
                int length = int(clusters[c].identifier.size());
                bool changed;
                // A directory's identifier holds a '.' only in the relaxed
                // form, which counts up before it as a file's does.
                if (tree == primary_tree)
                    changed = clusters[c].directory && !std::memchr(bytes, '.', size_t(length))
                                  ? bump_directory_identifier(bytes, length)
                                  : bump_file_identifier(bytes, length);
                else
                    changed = clusters[c].directory ? bump_joliet_directory_identifier(bytes, length)
                                                    : bump_joliet_file_identifier(bytes, length);
                if (!changed)
                    break;
                key = uppercase_key(clusters[c].identifier, tree, clusters[c].directory);
            }
            place(group, c, key);
        }
    }
}

bool bump(int tree, bool directory, uint8_t* bytes, int length)
{
    // A directory's identifier holds a '.' only in the relaxed form, which
    // counts up before it as a file's does.
    if (tree == primary_tree && directory && !std::memchr(bytes, '.', size_t(length)))
        return bump_directory_identifier(bytes, length);
    if (tree == primary_tree)
        return bump_file_identifier(bytes, length);
    return directory ? bump_joliet_directory_identifier(bytes, length) : bump_joliet_file_identifier(bytes, length);
}

// The last resort when counting up finds no free identifier: the name (its
// part before the first '.' or ";1") is cut to leave room for '~' and a
// decimal number, 1 upwards, and the first number no sibling holds is taken.
// The identifier's length may change here.
std::string numbered_identifier(const std::string& identifier, int tree, bool directory, uint32_t number,
                                uint32_t joliet_units)
{
    // Appended, not `"~" + to_string(...)`: GCC 12 at -O3 takes that front
    // insert for an overlapping copy and warns.
    std::string suffix(1, '~');
    suffix += std::to_string(number);
    if (tree == primary_tree) {
        size_t stem = identifier.find('.');  // a directory's only in the relaxed form
        if (stem == std::string::npos)
            stem = identifier.size();
        size_t room = suffix.size() >= 8 ? 0 : 8 - suffix.size();
        size_t keep = 0;
        for (const char* p = identifier.c_str(); size_t(p - identifier.c_str()) < stem;) {
            const char* next = platform::char_next(p);
            if (size_t(next - identifier.c_str()) > std::min(stem, room) || next == p)
                break;
            keep = size_t(next - identifier.c_str());
            p = next;
        }
        return identifier.substr(0, keep) + suffix + identifier.substr(stem);
    }
    size_t units = identifier.size() / 2;
    size_t stem = directory ? units : units - 2;
    size_t limit = directory ? joliet_units : joliet_units - 2;
    size_t keep = std::min(stem, limit - suffix.size());
    if (keep > 0) {
        uint16_t last = uint16_t(uint8_t(identifier[2 * keep - 2]) << 8 | uint8_t(identifier[2 * keep - 1]));
        if (last >= 0xD800 && last <= 0xDBFF)
            --keep;  // never the first half of a surrogate pair alone
    }
    std::string out = identifier.substr(0, 2 * keep);
    for (char c : suffix) {
        out.push_back(0);
        out.push_back(c);
    }
    return out + identifier.substr(2 * stem);
}

// Gives every sibling whose identifier (uppercased) an earlier sibling
// already holds the first counted-up form that no sibling holds, earlier or
// later. Identifiers that are already unique stay as they are.
void distinct_tree(EntryTable& table, int tree)
{
    uint32_t n = table.count;
    std::vector<uint32_t> parent_of(n, 0);
    std::vector<uint32_t> open;
    for (uint32_t i = 1; i < n; ++i) {
        const SourceEntry* e = table.entries[i];
        while (!open.empty() && table.entries[open.back()]->depth >= e->depth)
            open.pop_back();
        parent_of[i] = open.empty() ? 0 : open.back();
        open.push_back(i);
    }
    // parent index -> children in the order they claim identifiers
    std::map<uint32_t, std::vector<uint32_t>> siblings;
    for (uint32_t i : claim_order(table, tree))
        siblings[parent_of[i]].push_back(i);
    for (auto& [parent, children] : siblings) {
        std::unordered_map<std::string, uint32_t> later;  // keys of siblings not yet passed
        std::vector<std::string> keys;
        for (uint32_t i : children) {
            const SourceEntry* e = table.entries[i];
            keys.push_back(uppercase_key(
                std::string(reinterpret_cast<const char*>(e->identifier[tree]), e->identifier_length[tree]), tree,
                e->directory != 0));
            later[keys.back()] += 1;
        }
        std::unordered_set<std::string> taken;
        for (size_t k = 0; k < children.size(); ++k) {
            SourceEntry* e = table.entries[children[k]];
            later[keys[k]] -= 1;
            if (taken.insert(keys[k]).second)
                continue;
            bool directory = e->directory != 0;
            auto is_free = [&](const std::string& key) {
                auto found = later.find(key);
                return taken.count(key) == 0 && (found == later.end() || found->second == 0);
            };
            std::string bytes(reinterpret_cast<const char*>(e->identifier[tree]), e->identifier_length[tree]);
            std::string key = keys[k];
            std::unordered_set<std::string> tried{bytes};
            bool found = false;
            for (int guard = 0; guard < 50000 && !found; ++guard) {
                if (!bump(tree, directory, reinterpret_cast<uint8_t*>(bytes.data()), int(bytes.size())) ||
                    !tried.insert(bytes).second)
                    break;
                key = uppercase_key(bytes, tree, directory);
                found = is_free(key);
            }
            std::string original(reinterpret_cast<const char*>(e->identifier[tree]), e->identifier_length[tree]);
            for (uint32_t number = 1; !found; ++number) {
                bytes = numbered_identifier(original, tree, directory, number, table.joliet_units);
                key = uppercase_key(bytes, tree, directory);
                found = is_free(key);
            }
            uint8_t* room = identifier_room(table, e, tree, bytes.size());
            std::memcpy(room, bytes.data(), bytes.size());
            room[bytes.size()] = 0;
            if (tree == joliet_tree)
                room[bytes.size() + 1] = 0;
            e->identifier_length[tree] = uint8_t(bytes.size());
            taken.insert(key);
        }
    }
}

}  // namespace

void resolve_identifier_clashes(EntryTable& table)
{
    resolve_tree(table, primary_tree);
    resolve_tree(table, joliet_tree);
}

void make_sibling_identifiers_distinct(EntryTable& table)
{
    distinct_tree(table, primary_tree);
    distinct_tree(table, joliet_tree);
}

namespace {

// A Joliet identifier (big-endian UCS-2) as text in the code page of names.
std::string joliet_identifier_text(const uint8_t* identifier, size_t length)
{
    std::vector<uint16_t> units(length / 2 + 1, 0);
    for (size_t i = 0; i + 1 < length; i += 2)
        units[i / 2] = uint16_t(identifier[i] << 8 | identifier[i + 1]);
    std::vector<char> text(length * 2 + 4, 0);
    platform::ucs2_to_oem(units.data(), text.data(), text.size());
    return text.data();
}

// True when the entry's Joliet identifier is its leaf name itself.
bool joliet_name_whole(const SourceEntry* e)
{
    if (!name_kept(e, joliet_tree))
        return false;
    uint16_t units[joliet_scratch_units + 2];
    size_t n = to_ucs2be(units, entry_name(e), joliet_scratch_units) - 1;
    if (!e->directory) {
        units[n++] = ucs2be_unit(';');
        units[n++] = ucs2be_unit('1');
    }
    return e->identifier_length[joliet_tree] == 2 * n && std::memcmp(e->identifier[joliet_tree], units, 2 * n) == 0;
}

}  // namespace

void find_joliet_names_not_kept(const EntryTable& table, uint32_t& count, std::vector<NameNotKept>& first)
{
    // The Joliet paths of the folders on the way down, by depth.
    std::vector<std::string> folders(size_t(table.max_depth) + 1);
    for (uint32_t i = 1; i < table.count; ++i) {
        const SourceEntry* e = table.entries[i];
        const bool whole = joliet_name_whole(e);
        if (!whole || e->directory) {
            std::string name = joliet_identifier_text(e->identifier[joliet_tree], e->identifier_length[joliet_tree]);
            if (!e->directory && name.size() >= 2 && name.compare(name.size() - 2, 2, ";1") == 0)
                name.resize(name.size() - 2);  // readers show a file's name without its version
            std::string path = folders[e->depth - 1u] + "/" + name;
            if (!whole && count++ < names_not_kept_shown)
                first.push_back({e->source_path, path});
            if (e->directory)
                folders[e->depth] = std::move(path);
        }
    }
}
