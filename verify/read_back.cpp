#include "verify/read_back.h"

#include <cstdio>

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "verify/image_reader.h"
#include "mastering/boot.h"
#include "mastering/layout.h"
#include "platform/platform.h"

namespace {

// Sectors of the image read at once: the files lie one after the other in
// the order they are compared, so small files share one read.
constexpr uint32_t window_sectors = 128;
constexpr uint32_t chunk_bytes = window_sectors * sector_size;

std::string number(uint64_t n)
{
    return std::to_string(n);
}

struct ImageWindow {
    ImageSource& source;
    std::vector<uint8_t> data = std::vector<uint8_t>(size_t(window_sectors) * sector_size);
    uint32_t first = 0, count = 0;

    // The user data of sectors [s, s + n), n at most window_sectors; null
    // with the fault when they cannot be read.
    const uint8_t* get(uint32_t s, uint32_t n, std::string& fault)
    {
        if (s >= first && uint64_t(s) + n <= uint64_t(first) + count)
            return data.data() + size_t(s - first) * sector_size;
        count = 0;
        // Ahead as far as the file goes; should the sectors beyond the ones
        // asked for not be readable, just the ones asked for.
        const uint32_t ahead = s < source.sectors ? std::min(window_sectors, source.sectors - s) : 0;
        if (ahead > n && read_user_data(source, s, ahead, data.data(), fault)) {
            first = s;
            count = ahead;
            return data.data();
        }
        if (!read_user_data(source, s, n, data.data(), fault))
            return nullptr;
        first = s;
        count = n;
        return data.data();
    }
};

// Compares the file's sectors in the image with its source; empty when they
// agree.
std::string compare_data(ImageWindow& image, const BuiltFile& f, std::vector<uint8_t>& buffer)
{
    platform::File in = platform::open_for_reading(f.source.c_str());
    if (!in.valid())
        return "cannot read " + f.source + ": " + platform::last_error_text();
    uint64_t done = 0;
    // With the boot information table, bytes 8..63 of the copy are the
    // table's: checked against the source's checksum at the end.
    constexpr size_t table_from = boot_info_table::primary_descriptor, table_to = boot_info_table::end;
    std::vector<uint8_t> table_in_image;
    uint32_t sum = 0;
    while (done < f.size) {
        const uint32_t n = uint32_t(std::min<uint64_t>(f.size - done, chunk_bytes));
        const int64_t got = platform::read_full(in, buffer.data(), n);
        if (got < 0)
            return "cannot read " + f.source + ": " + platform::last_error_text();
        std::string fault;
        const uint8_t* data = image.get(f.extent + uint32_t(done / sector_size), sectors_for(n), fault);
        if (!data)
            return fault;
        const uint8_t* read = buffer.data();
        if (f.boot_info_table) {
            sum = boot_info_checksum(sum, done, read, size_t(got));
            if (done == 0 && got >= int64_t(table_to)) {
                table_in_image.assign(data + table_from, data + table_to);
                std::memcpy(buffer.data() + table_from, data + table_from, table_to - table_from);
            }
        }
        if (std::memcmp(read, data, size_t(got)) != 0) {
            const size_t same = size_t(std::mismatch(read, read + got, data).first - read);
            return "differs from " + f.source + " at byte " + number(done + same);
        }
        if (uint64_t(got) < n)
            return f.source + " now holds " + number(done + uint64_t(got)) + " bytes, the image " + number(f.size);
        done += n;
    }
    uint8_t more;
    if (platform::read_full(in, &more, 1) > 0)
        return f.source + " has grown beyond the " + number(f.size) + " bytes in the image";
    if (f.boot_info_table) {
        std::vector<uint8_t> want(table_to - table_from);
        put_boot_info_table(want.data(), f.extent, uint32_t(f.size), sum);
        if (table_in_image != want)
            return "the boot information table of " + f.source + " does not give sector " + number(f.extent) + ", " +
                   number(f.size) + " bytes and checksum " + number(sum);
    }
    return {};
}

// Feeds the sector check in image order: sectors read again are not checked
// twice; sectors skipped are read for the check before the ones that follow.
struct RawStream {
    ImageSource& source;
    RawSectorChecker& checker;
    uint32_t checked = 0;
    bool broken = false;  // a sector could not be read for the check

    void take(uint32_t first, const uint8_t* raw, uint32_t n)
    {
        if (broken || (first > checked && !read_to(first)) || uint64_t(first) + n <= checked)
            return;
        const uint32_t skip = checked - first;
        check_raw_sectors(checker, raw + size_t(skip) * raw_sector_size, n - skip);
        checked = first + n;
    }
    // Reads sectors up to `end` for their check alone (the tap takes them).
    bool read_to(uint32_t end)
    {
        std::vector<uint8_t> scratch(size_t(64) * sector_size);
        std::string fault;
        while (!broken && checked < end) {
            const uint32_t before = checked;
            if (!read_user_data(source, checked, std::min<uint32_t>(end - checked, 64), scratch.data(), fault) ||
                checked == before)
                broken = true;
        }
        return !broken;
    }
};

}  // namespace

namespace {

std::string octal(uint32_t mode)
{
    char text[16];
    std::snprintf(text, sizeof text, "%o", mode);
    return text;
}

// Compares the places of the build's files and folders with the records of
// one tree.
void compare_places(const ImageTree& tree, int t, const char* tree_name, const BuildOutcome& build,
                    std::vector<std::string>& out)
{
    // The place of every directory read: the root's is empty, and parents
    // are read before their children.
    std::vector<std::string> folder_place(tree.directories.size());
    std::unordered_map<std::string, uint32_t> folders;
    for (uint32_t d = 1; d < tree.directories.size(); ++d) {
        const TreeDirectory& dir = tree.directories[d];
        if (dir.parent >= d)
            continue;  // a damaged tree; its faults are named by the reader
        folder_place[d] = folder_place[dir.parent];
        path_key_append(folder_place[d], dir.identifier.data(), dir.identifier.size());
        folders.emplace(folder_place[d], d);
    }
    std::unordered_map<std::string, const TreeFile*> files;
    for (const TreeFile& f : tree.files) {
        std::string place = folder_place[f.directory];
        path_key_append(place, f.identifier.data(), f.identifier.size());
        if (!files.emplace(place, &f).second)
            out.push_back(file_path(tree, f) + ": two records of one name in its directory");
    }
    // Rock Ridge (ISO 9660 tree): the name, the mode and a link's target
    // as the source has them.
    auto compare_posix = [&](const std::string& where, const std::string& source, const BuiltPosix& want,
                             const PosixRecord& got) {
        if (t != primary_tree || !want.present)
            return;
        if (!got.present) {
            out.push_back(where + ": no Rock Ridge fields for " + source);
            return;
        }
        if (got.name != want.name)
            out.push_back(where + ": Rock Ridge name '" + got.name + "', the source's is '" + want.name + "'");
        if (!got.has_attributes || got.mode != want.mode)
            out.push_back(where + ": mode " + octal(got.mode) + " in the image, " + octal(want.mode) + " from " +
                          source);
        if (got.link != want.link || got.link_target != want.link_target)
            out.push_back(where + ": link target '" + got.link_target + "', the source's is '" + want.link_target +
                          "'");
    };
    std::unordered_set<std::string> built_places;
    if (t == primary_tree)
        for (const std::string& place : build.primary_only_places) {
            built_places.insert(place);
            if (!folders.count(place))
                out.push_back("the folder for relocated directories is not at its place in the " +
                              std::string(tree_name) + " tree");
        }
    for (const BuiltFolder& b : build.folders) {
        built_places.insert(b.place[t]);
        auto found = folders.find(b.place[t]);
        if (found == folders.end())
            out.push_back(b.source + ": its folder is not at its place in the " + tree_name + " tree");
        else
            compare_posix(directory_path(tree, found->second), b.source, b.posix,
                          tree.directories[found->second].posix);
    }
    for (const BuiltFile& b : build.files) {
        if (b.boot_image)
            continue;
        built_places.insert(b.place[t]);
        auto found = files.find(b.place[t]);
        if (found == files.end()) {
            out.push_back(b.source + ": no record at its place in the " + tree_name + " tree");
            continue;
        }
        const TreeFile& f = *found->second;
        compare_posix(file_path(tree, f), b.source, b.posix, f.posix);
        if (f.extent != b.extent || f.size != b.size)
            out.push_back(file_path(tree, f) + ": the record gives " + number(f.size) + " bytes at sector " +
                          number(f.extent) + ", where the build put " + b.source + " at sector " + number(b.extent) +
                          " (" + number(b.size) + " bytes)");
    }
    for (const auto& [place, d] : folders)
        if (!built_places.count(place))
            out.push_back(directory_path(tree, d) + ": a directory the build did not make");
    for (const auto& [place, f] : files)
        if (!built_places.count(place))
            out.push_back(file_path(tree, *f) + ": a record the build did not make at this place");
}

}  // namespace

std::vector<std::string> compare_with_sources(const char* image_path, const BuildOutcome& build, RawStreamCheck* raw)
{
    const std::vector<BuiltFile>& files = build.files;
    const bool joliet = build.joliet;
    ImageSource source;
    std::string why;
    if (!open_image_source(image_path, source, why))
        return {why};
    const ImageReading r = read_image(source);
    std::vector<std::string> out = r.faults;

    // Records are matched to the build's files by their extent; empty files
    // share the extent of the file after them, and hard links (Rock Ridge)
    // one extent, so several may lie at one.
    std::unordered_multimap<uint32_t, size_t> data_at;
    std::unordered_multimap<uint32_t, size_t> empty_at;
    for (size_t i = 0; i < files.size(); ++i)
        if (!files[i].boot_image) {
            if (files[i].size > 0)
                data_at.emplace(files[i].extent, i);
            else
                empty_at.emplace(files[i].extent, i);
        }
    std::vector<std::string> names(files.size());
    const ImageTree* trees[] = {&r.primary, &r.joliet};
    const char* tree_names[] = {"ISO 9660", "Joliet"};
    for (int t = 0; t < 2; ++t) {
        const ImageTree& tree = *trees[t];
        if (t == 1 && !joliet) {
            if (tree.present)
                out.push_back("the image has a Joliet tree that the build did not write");
            continue;
        }
        if (!tree.present) {
            out.push_back(std::string("the image has no ") + tree_names[t] + " tree");
            continue;
        }
        std::vector<bool> seen(files.size(), false);
        for (const TreeFile& f : tree.files) {
            size_t index = files.size();
            auto [from, to] = (f.size > 0 ? data_at : empty_at).equal_range(f.extent);
            for (auto at = from; at != to && index == files.size(); ++at)
                if (!seen[at->second])
                    index = at->second;
            if (index == files.size() && from != to)
                index = from->second;  // every file of this extent has its record: this one is a second
            const std::string path = file_path(tree, f);
            if (index == files.size()) {
                out.push_back(path + ": the build wrote no file of " + number(f.size) + " bytes at sector " +
                              number(f.extent));
                continue;
            }
            const BuiltFile& b = files[index];
            if (!contiguous(f))
                out.push_back(path + ": its extents do not follow one another as the build wrote them");
            if (seen[index])
                out.push_back(path + ": a second record of " + b.source);
            seen[index] = true;
            if (b.size != f.size)
                out.push_back(path + ": " + number(f.size) + " bytes, the build wrote " + number(b.size) + " from " +
                              b.source);
            if (names[index].empty())
                names[index] = path;
        }
        for (size_t i = 0; i < files.size(); ++i)
            if (!files[i].boot_image && !seen[i])
                out.push_back(files[i].source + ": no record in the " + tree_names[t] + " tree");
        compare_places(tree, t, tree_names[t], build, out);
    }
    // The BIOS image is loaded by the initial entry; the UEFI image by the
    // initial entry when it is alone, else by the entry of its section.
    for (size_t i = 0; i < files.size(); ++i)
        if (files[i].boot_image) {
            names[i] = "boot image " + files[i].source;
            const bool loaded = std::any_of(r.boot_entries.begin(), r.boot_entries.end(),
                                            [&](const auto& e) { return e.load_rba == files[i].extent; });
            if (!loaded)
                out.push_back("no entry of the boot catalog loads the boot image " + files[i].source + " at sector " +
                              number(files[i].extent));
        }

    // The data, in the order of the image, each extent once.
    std::vector<size_t> order(files.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return files[a].extent < files[b].extent; });
    // From here on, the sectors of a raw image are checked as they pass.
    RawSectorChecker unused;
    RawStream stream{source, raw ? raw->checker : unused};
    if (raw && source.form == ImageForm::raw)
        source.raw_tap = [&stream](uint32_t first, const uint8_t* bytes, uint32_t n) { stream.take(first, bytes, n); };
    ImageWindow image{source};
    std::vector<uint8_t> buffer(chunk_bytes);
    for (size_t i : order) {
        const BuiltFile& f = files[i];
        const std::string& name = names[i].empty() ? f.source : names[i];
        if (f.size == 0) {
            if (f.no_data)
                continue;  // a link, a device or a FIFO: nothing of it is data
            platform::FileInfo info;
            if (platform::find_file(f.source.c_str(), info) && info.size != 0)
                out.push_back(name + ": " + f.source + " has grown beyond the 0 bytes in the image");
            continue;
        }
        std::string difference = compare_data(image, f, buffer);
        if (!difference.empty())
            out.push_back(name + ": " + difference);
    }
    if (raw && source.form == ImageForm::raw) {
        stream.read_to(source.sectors);
        source.raw_tap = nullptr;
        raw->checker.summary.tail_bytes = source.size - uint64_t(source.sectors) * raw_sector_size;
        raw->complete = !stream.broken && stream.checked == source.sectors;
    }
    return out;
}
