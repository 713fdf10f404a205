#include "verify/image_files.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "format/ecma119.h"
#include "format/partition.h"
#include "platform/endian.h"

namespace {

// File type bits of a POSIX mode (as PX records them).
constexpr uint32_t type_mask = 0170000, type_link = 0120000, type_fifo = 0010000, type_socket = 0140000,
                   type_character = 0020000, type_block = 0060000;

ItemKind kind_of_mode(uint32_t mode, bool folder)
{
    if (folder)
        return ItemKind::folder;
    switch (mode & type_mask) {
    case type_link: return ItemKind::link;
    case type_fifo: return ItemKind::fifo;
    case type_socket: return ItemKind::socket;
    case type_character: return ItemKind::character_device;
    case type_block: return ItemKind::block_device;
    }
    return ItemKind::file;
}

// A file identifier without its version (";1") and, in the ISO 9660 tree,
// without the dot of an empty extension.
std::string without_version(std::string name, bool iso9660)
{
    const size_t semicolon = name.rfind(';');
    if (semicolon != std::string::npos && semicolon + 1 < name.size() &&
        std::all_of(name.begin() + long(semicolon) + 1, name.end(), [](char c) { return c >= '0' && c <= '9'; }))
        name.resize(semicolon);
    if (iso9660 && name.size() > 1 && name.back() == '.')
        name.pop_back();
    return name;
}

enum class Tree { rock_ridge, joliet, iso9660 };

void take_posix(ImageItem& item, const PosixRecord& posix, int64_t recorded)
{
    item.modified = posix.modified_known ? posix.modified : recorded;
    item.accessed = posix.accessed_known ? posix.accessed : item.modified;
    if (posix.has_attributes) {
        item.attributes = true;
        item.mode = posix.mode;
        item.links = posix.links;
        item.owner = posix.owner;
        item.group = posix.group;
    }
    if (posix.device_known)
        item.device = posix.device;
}

}  // namespace

bool image_files(const ImageReading& reading, TreeChoice choice, ImageFiles& files, std::string& why)
{
    const bool rock = reading.primary.present && !reading.primary.rock_ridge.empty();
    Tree tree = Tree::iso9660;
    switch (choice) {
    case TreeChoice::automatic:
        tree = rock ? Tree::rock_ridge : reading.joliet.present ? Tree::joliet : Tree::iso9660;
        break;
    case TreeChoice::rock_ridge:
        if (!rock) {
            why = "the image has no Rock Ridge tree";
            return false;
        }
        tree = Tree::rock_ridge;
        break;
    case TreeChoice::joliet:
        if (!reading.joliet.present) {
            why = "the image has no Joliet tree";
            return false;
        }
        tree = Tree::joliet;
        break;
    case TreeChoice::iso9660: break;
    }
    const ImageTree& t = tree == Tree::joliet ? reading.joliet : reading.primary;
    if (!t.present || t.directories.empty()) {
        why = "the image has no readable ISO 9660 tree";
        return false;
    }
    files = {};
    files.tree = tree == Tree::rock_ridge ? "Rock Ridge" : tree == Tree::joliet ? "Joliet" : "ISO 9660";
    const bool posix = tree == Tree::rock_ridge;
    const size_t count = t.directories.size();

    // Each directory's parent in the tree shown: its record's, or for a
    // relocated one (Rock Ridge) the folder of the record that stands for it.
    std::vector<uint32_t> parent(count);
    std::vector<std::string> name(count);
    for (size_t d = 0; d < count; ++d) {
        const TreeDirectory& dir = t.directories[d];
        parent[d] = dir.parent;
        name[d] = posix && !dir.posix.name.empty() ? dir.posix.name : tree == Tree::joliet ? dir.name : dir.identifier;
    }
    std::vector<bool> hidden(count, false);
    if (posix && !t.child_links.empty()) {
        std::unordered_map<uint32_t, uint32_t> at_extent;
        for (size_t d = 1; d < count; ++d)
            at_extent.emplace(t.directories[d].extent, uint32_t(d));
        std::vector<bool> moved(count, false);
        std::vector<uint32_t> moved_from;
        for (const ImageTree::ChildLink& link : t.child_links) {
            auto found = at_extent.find(link.location);
            const std::string place = directory_path(t, link.directory) + "/" + link.name;
            if (found == at_extent.end() || !t.directories[found->second].posix.relocated || moved[found->second]) {
                files.faults.push_back(place + ": its Rock Ridge CL leads to no relocated directory; left out");
                continue;
            }
            const uint32_t d = found->second;
            // The new parent must not lie inside the directory moved there.
            bool loops = false;
            for (uint32_t up = link.directory, steps = 0; steps <= count; up = parent[up], ++steps) {
                if (up == d) {
                    loops = true;
                    break;
                }
                if (up == 0)
                    break;
            }
            if (loops) {
                files.faults.push_back(place + ": its Rock Ridge CL leads back up the tree; left out");
                continue;
            }
            moved[d] = true;
            moved_from.push_back(parent[d]);
            parent[d] = link.directory;
        }
        // The folder relocated directories were kept in (RR_MOVED), at the
        // root and left empty, is the image's own business.
        for (uint32_t from : moved_from) {
            if (from == 0 || t.directories[from].parent != 0)
                continue;
            bool empty =
                std::none_of(t.files.begin(), t.files.end(), [&](const TreeFile& f) { return f.directory == from; });
            for (size_t d = 1; d < count && empty; ++d)
                empty = !(parent[d] == from && d != from);
            if (empty)
                hidden[from] = true;
        }
    }

    // Depths, by walking up (bounded: the parents form a tree once the
    // relocations above are checked, and every chain ends at the root).
    std::vector<uint32_t> depth(count, 0);
    std::vector<uint32_t> item_of(count, UINT32_MAX);
    files.items.reserve(count + t.files.size());
    files.items.push_back({});
    ImageItem& root = files.items[0];
    root.kind = ItemKind::folder;
    root.path = "/";
    root.extent = t.directories[0].extent;
    root.size = t.directories[0].size;
    take_posix(root, posix ? t.directories[0].posix : PosixRecord{}, t.directories[0].recorded);
    item_of[0] = 0;
    // Directories are read level by level, but a relocated one may come
    // before its new parent: place them in rounds until none is left.
    std::vector<uint32_t> pending;
    for (uint32_t d = 1; d < count; ++d)
        if (!hidden[d])
            pending.push_back(d);
    while (!pending.empty()) {
        std::vector<uint32_t> later;
        for (uint32_t d : pending) {
            const uint32_t p = parent[d];
            if (hidden[p]) {
                hidden[d] = true;
                continue;
            }
            if (item_of[p] == UINT32_MAX) {
                later.push_back(d);
                continue;
            }
            const ImageItem& up = files.items[item_of[p]];
            if (up.depth + 1 > max_item_depth) {
                files.faults.push_back(directory_path(t, d) + ": deeper than " + std::to_string(max_item_depth) +
                                       " levels; left out");
                hidden[d] = true;
                continue;
            }
            ImageItem item;
            item.kind = ItemKind::folder;
            item.name = name[d];
            item.parent = item_of[p];
            item.depth = up.depth + 1;
            item.path = (up.path.size() > 1 ? up.path : std::string()) + "/" + item.name;
            item.extent = t.directories[d].extent;
            item.size = t.directories[d].size;
            take_posix(item, posix ? t.directories[d].posix : PosixRecord{}, t.directories[d].recorded);
            item_of[d] = uint32_t(files.items.size());
            files.items[item.parent].children.push_back(item_of[d]);
            files.items.push_back(std::move(item));
        }
        if (later.size() == pending.size()) {  // parents never placed: a cycle the checks above missed
            for (uint32_t d : later)
                files.faults.push_back(directory_path(t, d) + ": its folder could not be placed; left out");
            break;
        }
        pending = std::move(later);
    }
    for (const TreeFile& f : t.files) {
        if (f.directory >= count || item_of[f.directory] == UINT32_MAX)
            continue;
        ImageItem item;
        const PosixRecord& px = posix ? f.posix : PosixRecord{};
        item.name = posix && !px.name.empty() ? px.name
                    : tree == Tree::joliet    ? without_version(f.name, false)
                                              : without_version(f.identifier, true);
        item.parent = item_of[f.directory];
        const ImageItem& up = files.items[item.parent];
        item.depth = up.depth + 1;
        item.path = (up.path.size() > 1 ? up.path : std::string()) + "/" + item.name;
        item.kind = px.has_attributes ? kind_of_mode(px.mode, false) : px.link ? ItemKind::link : ItemKind::file;
        if (px.link && item.kind == ItemKind::file)
            item.kind = ItemKind::link;
        item.size = item.kind == ItemKind::file ? f.size : 0;
        item.extent = f.extent;
        item.sections = f.sections;
        item.link_target = px.link_target;
        if (item.kind == ItemKind::link)
            item.size = px.link_target.size();
        take_posix(item, px, f.recorded);
        files.items[item.parent].children.push_back(uint32_t(files.items.size()));
        files.items.push_back(std::move(item));
    }
    for (ImageItem& item : files.items)
        std::stable_sort(item.children.begin(), item.children.end(),
                         [&](uint32_t a, uint32_t b) { return files.items[a].name < files.items[b].name; });
    return true;
}

int64_t find_item(const ImageFiles& files, const std::string& path)
{
    if (files.items.empty())
        return -1;
    uint32_t at = 0;
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".")
            continue;
        const auto& children = files.items[at].children;
        auto found =
            std::find_if(children.begin(), children.end(), [&](uint32_t c) { return files.items[c].name == part; });
        if (found == children.end())
            return -1;
        at = *found;
    }
    return at;
}

std::string shown_name(const std::string& text)
{
    std::string shown;
    shown.reserve(text.size());
    for (unsigned char c : text) {
        if (c == '\\')
            shown += "\\\\";
        else if (c == '\n')
            shown += "\\n";
        else if (c == '\t')
            shown += "\\t";
        else if (c < 0x20 || c == 0x7F) {
            char octal[8];
            std::snprintf(octal, sizeof octal, "\\%03o", c);
            shown += octal;
        } else
            shown += char(c);
    }
    return shown;
}

namespace {

std::string mode_text(const ImageItem& item)
{
    uint32_t mode = item.mode;
    if (!item.attributes)
        mode = item.kind == ItemKind::folder ? 0555 : 0444;
    std::string text(10, '-');
    switch (item.kind) {
    case ItemKind::folder: text[0] = 'd'; break;
    case ItemKind::link: text[0] = 'l'; break;
    case ItemKind::fifo: text[0] = 'p'; break;
    case ItemKind::socket: text[0] = 's'; break;
    case ItemKind::character_device: text[0] = 'c'; break;
    case ItemKind::block_device: text[0] = 'b'; break;
    case ItemKind::file: break;
    }
    const char* letters = "rwxrwxrwx";
    for (int i = 0; i < 9; ++i)
        if (mode & (0400u >> i))
            text[1 + i] = letters[i];
    if (mode & 04000)
        text[3] = text[3] == 'x' ? 's' : 'S';
    if (mode & 02000)
        text[6] = text[6] == 'x' ? 's' : 'S';
    if (mode & 01000)
        text[9] = text[9] == 'x' ? 't' : 'T';
    return text;
}

std::string utc_text(int64_t seconds)
{
    // Civil date from days (the inverse of days_from_civil).
    int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    const int64_t rest = seconds - days * 86400;
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t day_of_era = days - era * 146097;
    const int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const int64_t mp = (5 * day_of_year + 2) / 153;
    const int64_t day = day_of_year - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = year_of_era + era * 400 + (month <= 2);
    char text[96];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld", static_cast<long long>(year),
                  static_cast<long long>(month), static_cast<long long>(day), static_cast<long long>(rest / 3600),
                  static_cast<long long>(rest / 60 % 60));
    return text;
}

}  // namespace

std::string long_listing_line(const ImageItem& item)
{
    char head[96];
    std::snprintf(head, sizeof head, "%s %3u %-8u %-8u %12llu ", mode_text(item).c_str(), item.links, item.owner,
                  item.group, static_cast<unsigned long long>(item.size));
    std::string line = head + utc_text(item.modified) + " " + shown_name(item.path);
    if (item.kind == ItemKind::link)
        line += " -> " + shown_name(item.link_target);
    return line;
}

namespace {

const char* platform_text(uint8_t id)
{
    switch (id) {
    case 0: return "80x86 (BIOS)";
    case 1: return "PowerPC";
    case 2: return "Mac";
    case 0xEF: return "EFI";
    }
    return "unknown platform";
}

const char* emulation_text(uint8_t media)
{
    switch (media) {
    case 0: return "no emulation";
    case 1: return "1.2M diskette";
    case 2: return "1.44M diskette";
    case 3: return "2.88M diskette";
    case 4: return "hard disk";
    }
    return "unknown emulation";
}

std::string guid_text(const uint8_t* g)
{
    char text[40];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", get_le32(g), get_le16(g + 4),
                  get_le16(g + 6), g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
    return text;
}

// The system area (the first 16 sectors' user data), or less where the
// image is shorter.
std::vector<uint8_t> system_area(ImageSource& source)
{
    const uint32_t sectors = std::min<uint32_t>(system_area_sectors, source.sectors);
    std::vector<uint8_t> area(size_t(sectors) * sector_size);
    std::string fault;
    if (sectors == 0 || !read_user_data(source, 0, sectors, area.data(), fault))
        area.clear();
    return area;
}

}  // namespace

uint64_t boot_image_bytes(ImageSource& source, const ImageReading& reading, const BootEntry& entry)
{
    for (const TreeFile& f : reading.primary.files)
        if (f.extent == entry.load_rba && f.size > 0)
            return f.size;
    switch (entry.media_type) {
    case 1: return 1228800;
    case 2: return 1474560;
    case 3: return 2949120;
    }
    // A FAT volume (an EFI System Partition image): its boot sector says how
    // many sectors it holds.
    uint8_t first[sector_size];
    std::string fault;
    if (entry.load_rba < source.sectors && read_user_data(source, entry.load_rba, 1, first, fault) &&
        first[510] == 0x55 && first[511] == 0xAA) {
        const uint32_t bytes_per_sector = get_le16(first + 11);
        const uint32_t small = get_le16(first + 19), large = get_le32(first + 32);
        const uint64_t bytes = uint64_t(bytes_per_sector) * (small ? small : large);
        const uint64_t room = (uint64_t(source.sectors) - entry.load_rba) * sector_size;
        if (bytes_per_sector >= 512 && bytes_per_sector <= 4096 && bytes > 0)
            return std::min(bytes, room);
    }
    // A hidden image (no emulation, in no directory): up to whatever the
    // image records next, as no field gives its size.
    uint64_t next =
        std::min<uint64_t>(reading.volume_space_size ? reading.volume_space_size : source.sectors, source.sectors);
    const auto closer = [&](uint64_t sector) {
        if (sector > entry.load_rba && sector < next)
            next = sector;
    };
    for (const ImageTree* tree : {&reading.primary, &reading.joliet}) {
        for (const TreeFile& f : tree->files)
            closer(f.extent);
        for (const TreeDirectory& d : tree->directories)
            closer(d.extent);
    }
    for (const BootEntry& other : reading.boot_entries)
        closer(other.load_rba);
    closer(reading.boot_catalog);
    const uint64_t loaded = std::max<uint64_t>(1, entry.sector_count) * 512;
    if (entry.media_type != 0 || next <= entry.load_rba)
        return loaded;
    return std::max(loaded, (next - entry.load_rba) * sector_size);
}

std::string describe_boot(ImageSource& source, const ImageReading& reading)
{
    std::string text;
    if (reading.boot_record) {
        text += "El Torito boot catalog at sector " + std::to_string(reading.boot_catalog) + ":\n";
        for (size_t i = 0; i < reading.boot_entries.size(); ++i) {
            const BootEntry& e = reading.boot_entries[i];
            text += "  " + std::to_string(i + 1) + ": " + platform_text(e.platform_id) +
                    (e.bootable ? ", bootable, " : ", not bootable, ") + emulation_text(e.media_type) + ", sector " +
                    std::to_string(e.load_rba) + ", " + std::to_string(e.sector_count) + " loaded 512-byte sectors, " +
                    std::to_string(boot_image_bytes(source, reading, e)) + " bytes\n";
        }
    } else {
        text += "No El Torito boot catalog.\n";
    }
    const std::vector<uint8_t> area = system_area(source);
    if (area.size() >= 2 * disk_block_size && area[mbr::boot_signature] == mbr::signature_first &&
        area[mbr::boot_signature + 1] == mbr::signature_second) {
        std::string entries;
        for (int i = 0; i < 4; ++i) {
            const uint8_t* p = area.data() + mbr::entries + i * mbr::entry_size;
            if (p[mbr::entry_os_type] == 0)
                continue;
            char line[160];
            const uint32_t first = get_le32(p + mbr::entry_starting_lba), blocks = get_le32(p + mbr::entry_size_in_lba);
            std::snprintf(line, sizeof line, "  %d: type 0x%02X%s, blocks %u-%llu (%u blocks of 512 bytes)\n", i + 1,
                          p[mbr::entry_os_type], p[mbr::entry_boot_indicator] == mbr::active ? ", active" : "", first,
                          static_cast<unsigned long long>(uint64_t(first) + (blocks ? blocks - 1 : 0)), blocks);
            entries += line;
        }
        text += "MBR partition table:\n" + (entries.empty() ? std::string("  no entries\n") : entries);
    }
    if (area.size() >= 2 * disk_block_size &&
        std::memcmp(area.data() + disk_block_size + gpt_header::signature, gpt_header::signature_text, 8) == 0) {
        const uint8_t* h = area.data() + disk_block_size;
        const uint64_t entries_at = get_le64(h + gpt_header::entries_lba) * disk_block_size;
        const uint32_t entry_count = get_le32(h + gpt_header::entry_count);
        const uint32_t entry_size = get_le32(h + gpt_header::entry_size);
        text += "GPT (disk " + guid_text(h + gpt_header::disk_guid) + "):\n";
        if (entry_size < gpt_entry::size || entry_size > 4096 || entry_count > 1024) {
            text += "  entries of " + std::to_string(entry_size) + " bytes, " + std::to_string(entry_count) +
                    " of them: not listed\n";
            return text;
        }
        for (uint32_t i = 0; i < entry_count; ++i) {
            const uint64_t at = entries_at + uint64_t(i) * entry_size;
            if (at + entry_size > area.size())
                break;  // entries beyond the system area are not read
            const uint8_t* e = area.data() + at;
            if (std::all_of(e, e + 16, [](uint8_t b) { return b == 0; }))
                continue;
            std::string name;
            for (int c = 0; c < 36; ++c) {
                const uint16_t u = get_le16(e + gpt_entry::name + 2 * c);
                if (u == 0)
                    break;
                name += u >= 0x20 && u < 0x7F ? char(u) : '?';
            }
            text += "  " + std::to_string(i + 1) + ": type " + guid_text(e + gpt_entry::type_guid) + ", blocks " +
                    std::to_string(get_le64(e + gpt_entry::starting_lba)) + "-" +
                    std::to_string(get_le64(e + gpt_entry::ending_lba)) + ", \"" + name + "\"\n";
        }
    }
    return text;
}
