#include "mastering/build.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <unordered_map>

#include "mastering/boot.h"
#include "mastering/descriptors.h"
#include "mastering/entries.h"
#include "mastering/identifiers.h"
#include "mastering/layout.h"
#include "mastering/partition_table.h"
#include "mastering/records.h"
#include "mastering/rock_ridge.h"
#include "mastering/writer.h"
#include "platform/endian.h"

namespace {

// The working state of one build, from its input.
struct Build {
    const BuildInput& input;
    ImageSettings settings;  // the descriptors and the catalog are completed in place
    EfiBootSettings efi;
    EntryTable table;
    BuildLink link;
    ImageWriter writer;
    SourceEntry* boot_entry = nullptr;  // --boot-path: the tree's file that is the boot image
};

void put_path_table(uint8_t* descriptor, uint32_t size, uint32_t type_l, uint32_t type_m)
{
    put_both32(descriptor + descriptor_offset::path_table_size, size);
    put_le32(descriptor + descriptor_offset::type_l_path_table, type_l);
    put_be32(descriptor + descriptor_offset::type_m_path_table, type_m);
}

void set_stage(BuildLink& link, int32_t stage)
{
    link.progress.stage = stage;
    if (stage > 1)
        show_progress(link);
}

// Items the layout cannot hold, found before the output is created.
void check_limits(const Build& b, std::vector<BuildProblem>& problems)
{
    uint32_t directories = 0;
    for (uint32_t i = 0; i < b.table.count; ++i)
        if (b.table.entries[i]->directory)
            ++directories;
    bool reported = false;
    for (const BuildProblem& p : problems)
        reported = reported || p.kind == ProblemKind::too_many_directories;
    if (directories > max_directories && !reported)
        problems.push_back({ProblemKind::too_many_directories, {}, std::to_string(directories) + " directories"});
    const BootSettings& boot = b.settings.boot;
    if (boot.boot_enabled && boot.boot_image_full_size >= (uint64_t(1) << 32))
        problems.push_back({ProblemKind::file_too_large, boot.boot_image_path, {}});
    if (boot.boot_enabled && boot.boot_image_path_too_long)
        problems.push_back({ProblemKind::path_too_long, boot.boot_image_path, {}});
    if (!b.efi.image_path.empty() && b.efi.image_full_size >= (uint64_t(1) << 32))
        problems.push_back({ProblemKind::file_too_large, b.efi.image_path, {}});
}

// The boot information table of the boot image at `path` (`length` bytes,
// at `sector` of the image), from its bytes as they are now; false (with
// the problem) when they cannot be read.
bool make_boot_info_table(const char* path, uint32_t length, uint32_t sector, std::vector<uint8_t>& table,
                          bool& isolinux_hybrid, std::vector<BuildProblem>& problems)
{
    isolinux_hybrid = false;
    platform::File in = platform::open_for_reading(path);
    std::vector<uint8_t> buffer(1u << 16);
    uint32_t sum = 0;
    uint64_t done = 0;
    while (in.valid() && done < length) {
        const size_t want = size_t(std::min<uint64_t>(buffer.size(), length - done));
        const int64_t got = platform::read_full(in, buffer.data(), want);
        if (got <= 0)
            break;
        sum = boot_info_checksum(sum, done, buffer.data(), size_t(got));
        constexpr size_t at = mbr::isolinux_hybrid_signature_offset;
        if (done == 0 && size_t(got) >= at + 4)
            isolinux_hybrid = get_le32(buffer.data() + at) == mbr::isolinux_hybrid_signature;
        done += uint64_t(got);
    }
    if (done < length) {
        problems.push_back({ProblemKind::source_unreadable, path, platform::last_error_text()});
        return false;
    }
    table.assign(boot_info_table::end - boot_info_table::primary_descriptor, 0);
    put_boot_info_table(table.data(), sector, length, sum);
    return true;
}

// The file of the table at `path` in the image (names as the file system
// holds them, '/' between), or null.
SourceEntry* entry_at_image_path(const EntryTable& table, const std::string& path)
{
    std::string wanted;
    for (size_t at = 0; at < path.size();) {
        size_t end = path.find('/', at);
        if (end == std::string::npos)
            end = path.size();
        if (end > at) {
            wanted += '/';
            wanted.append(path, at, end - at);
        }
        at = end + 1;
    }
    std::vector<std::string> folders{""};  // the path of each depth's folder
    for (uint32_t i = 1; i < table.count; ++i) {
        SourceEntry* e = table.entries[i];
        folders.resize(e->depth - 1u);
        std::string here = folders.back() + "/" + entry_name(e);
        if (here == wanted)
            return e;
        if (e->directory)
            folders.push_back(std::move(here));
    }
    return nullptr;
}

// --boot-path: the boot image is the tree's file at that path.
void take_boot_path(Build& b, std::vector<BuildProblem>& problems)
{
    const std::string& path = b.input.boot_path;
    SourceEntry* e = entry_at_image_path(b.table, path);
    if (!e || e->directory || (e->posix && !holds_data(*e->posix))) {
        problems.push_back({ProblemKind::boot_path_unusable, path,
                            e ? "not a regular file in the image" : "no such file in the image"});
        return;
    }
    const uint64_t size = file_size(e);
    static const uint64_t diskette_bytes[] = {0, 1228800, 1474560, 2949120};
    const uint8_t media = b.settings.boot_catalog[catalog_offset::media_type];
    if (media >= 1 && media <= 3 && size != diskette_bytes[media]) {
        problems.push_back({ProblemKind::boot_path_unusable, path,
                            std::to_string(size) + " bytes, where the diskette emulated holds " +
                                std::to_string(diskette_bytes[media])});
        return;
    }
    if (size == 0 || size >= four_gib) {
        problems.push_back({ProblemKind::boot_path_unusable, path, size ? "4 GiB or more" : "empty"});
        return;
    }
    if (b.input.boot_info_table && size < uint64_t(boot_info_table::end)) {
        problems.push_back({ProblemKind::boot_path_unusable, path,
                            std::to_string(size) + " bytes, too few for the boot information table (64 and more)"});
        return;
    }
    BootSettings& boot = b.settings.boot;
    boot.boot_enabled = true;
    std::snprintf(boot.boot_image_path, sizeof boot.boot_image_path, "%s", e->source_path);
    boot.boot_image_full_size = size;
    boot.boot_image_size = uint32_t(size);
    boot.boot_image_sectors = 0;  // no area of its own
    b.boot_entry = e;
}

// The registered sources into the table: plain ones at the root under their
// own names; with graft points, each at its target, the folders on the way
// made, a folder joining one already there, two files (or a file and a
// folder) at one path refused with both named.
void scan_sources(Build& b, Scan& scan)
{
    const BuildInput& input = b.input;
    auto components_of = [&](size_t i) {
        std::vector<std::string> names;
        const std::string& target = i < input.targets.size() ? input.targets[i] : std::string();
        for (size_t at = 0; at < target.size();) {
            size_t end = target.find('/', at);
            if (end == std::string::npos)
                end = target.size();
            if (end > at)
                names.push_back(target.substr(at, end - at));
            at = end + 1;
        }
        return names;
    };
    auto grafted = [&](size_t i) { return i < input.targets.size() && !input.targets[i].empty(); };
    // Plain sources first, then grafts from the shallowest target down, so
    // that a folder is in place before what goes into it.
    std::vector<size_t> order(input.sources.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) {
        return (grafted(x) ? 1 + components_of(x).size() : 0) < (grafted(y) ? 1 + components_of(y).size() : 0);
    });
    std::map<std::string, SourceEntry*> folders;  // by path in the image
    std::map<std::string, std::string> files;     // by path in the image: the source
    auto clash = [&](const std::string& path, const std::string& first, const std::string& second) {
        b.table.problems.push_back({ProblemKind::graft_clash, path, first + " and " + second});
        scan.stopped = true;
    };
    for (size_t i : order) {
        if (scan.stopped)
            return;
        const std::string& source = input.sources[i];
        uint32_t before = b.table.count;
        if (!grafted(i)) {
            scan.graft = {};
            scan_source(scan, source.c_str(), 2);
            if (b.table.count > before && b.table.entries[before]->directory)
                folders.emplace(leaf_name(b.table.entries[before]->source_path), b.table.entries[before]);
            continue;
        }
        const std::vector<std::string> names = components_of(i);
        std::string path, key_prefix;
        for (size_t k = 0; k + 1 < names.size(); ++k) {
            path += (k ? "/" : "") + names[k];
            if (files.count(path))
                return clash(path, files[path], source);
            if (!folders.count(path)) {
                SourceEntry* folder = add_image_folder(scan, key_prefix, names[k], uint8_t(k + 2));
                if (!folder)
                    return;
                folders[path] = folder;
            }
            key_prefix = key_below(key_prefix, names[k]);
        }
        platform::FileInfo info;
        const bool folder_source =
            platform::find_file(source.c_str(), info) && (info.attributes & platform::attribute_directory);
        scan.graft = {};
        scan.graft.source = source;
        scan.graft.key_prefix = key_prefix;
        uint8_t depth = uint8_t(names.size() + 1);
        std::string full = path;
        if (names.empty()) {  // "/": a folder's contents at the root
            if (!folder_source)
                return clash("/", "the root", source);
            scan.graft.skip_self = true;
            depth = 1;
        } else {
            full += (path.empty() ? "" : "/") + names.back();
            scan.graft.name = names.back();
            if (files.count(full))
                return clash(full, files[full], source);
            if (folders.count(full)) {
                if (!folder_source)
                    return clash(full, std::string("a folder"), source);
                scan.graft.skip_self = true;  // the two folders' contents join
            }
        }
        before = b.table.count;  // behind the folders made on the way
        scan_source(scan, source.c_str(), depth);
        if (!scan.graft.skip_self && b.table.count > before) {
            SourceEntry* top = b.table.entries[before];
            if (top->directory)
                folders[full] = top;
            else
                files[full] = source;
        }
        scan.graft = {};
    }
}

bool any_refusal(const std::vector<BuildProblem>& problems)
{
    for (const BuildProblem& p : problems)
        if (severity_of(p.kind) == ProblemSeverity::refused)
            return true;
    return false;
}

void apply_recorded_date(Build& b)
{
    for (uint32_t i = 0; i < b.table.count; ++i)
        b.table.entries[i]->recording_date = b.settings.dir_record.recorded_date;
    for (const std::unique_ptr<SourceEntry>& e : b.table.primary_only)
        e->recording_date = b.settings.dir_record.recorded_date;
}

// Runs the four stages on the scanned table and writes the image.
void build_image(Build& b, BuildOutcome& outcome)
{
    const char* output_path = b.input.output.c_str();
    EntryTable& table = b.table;
    BuildLink& link = b.link;
    ImageWriter& writer = b.writer;
    VolumeDescriptorSet& volume_descriptors = b.settings.descriptors;
    uint8_t* boot_catalog = b.settings.boot_catalog;
    const BootSettings& boot_settings = b.settings.boot;
    const EfiBootSettings& efi_boot_settings = b.efi;
    const bool boot = boot_settings.boot_enabled;
    const bool efi = !efi_boot_settings.image_path.empty();
    const bool catalog = boot || efi;
    const bool hybrid = b.input.hybrid.enabled;
    const bool joliet = b.settings.joliet;

    // Stage 1: order and identifiers.
    link.progress.stage = 1;
    link.progress.counter = 0;
    sort_entries(table, &link);
    assign_identifiers(table);
    resolve_identifier_clashes(table);
    make_sibling_identifiers_distinct(table);
    // Rock Ridge holds every name whole; without it, Joliet is the tree of
    // long names, and the user hears of those it does not hold whole.
    if (joliet && !b.input.rock_ridge.enabled)
        find_joliet_names_not_kept(table, outcome.names_not_kept, outcome.first_names_not_kept);

    // Stage 2: data positions.
    set_stage(link, 2);
    RockRidgePlan rock_ridge;
    rock_ridge.options = b.input.rock_ridge;
    const LayoutOptions layout_options{joliet,
                                       boot,
                                       boot_settings.boot_image_sectors,
                                       efi,
                                       efi_boot_settings.image_sectors,
                                       hybrid,
                                       rock_ridge.options.enabled ? &rock_ridge : nullptr,
                                       b.boot_entry != nullptr};
    const ImageLayout layout = lay_out_image(table, layout_options);
    if (!rock_ridge.refusal.empty()) {
        outcome.problems.push_back({rock_ridge.refusal_kind, {}, rock_ridge.refusal});
        return;
    }
    if (layout.sectors_beyond_limit) {
        outcome.problems.push_back({ProblemKind::volume_too_large, {}, std::to_string(layout.sectors_beyond_limit)});
        return;
    }
    put_path_table(volume_descriptors.primary, layout.path_table_bytes[primary_tree],
                   layout.type_l_path_table[primary_tree], layout.type_m_path_table[primary_tree]);
    if (joliet)
        put_path_table(volume_descriptors.supplementary, layout.path_table_bytes[joliet_tree],
                       layout.type_l_path_table[joliet_tree], layout.type_m_path_table[joliet_tree]);
    if (catalog)
        put_le32(volume_descriptors.boot_record + descriptor_offset::boot_catalog_pointer, layout.boot_catalog);
    // The boot image's sector: its own area's, or its file's in the tree.
    // (Read by value: the entry's fields are packed.)
    uint32_t boot_sector = layout.boot_image;
    if (b.boot_entry)
        boot_sector = b.boot_entry->extent[primary_tree];
    if (boot)
        put_le32(boot_catalog + catalog_offset::load_rba, boot_sector);
    if (efi)
        put_efi_catalog_entries(boot_catalog, boot, layout.efi_image, efi_sector_count(efi_boot_settings.image_size));
    else if (boot)
        std::memset(boot_catalog + 2 * catalog_entry_size, 0, sector_size - 2 * catalog_entry_size);

    // Stage 3: the remaining settings.
    set_stage(link, 3);
    const uint32_t total_sectors = layout.volume_space_size;
    // The padding of a hybrid image counts in the progress, so that it ends at
    // 100 percent.
    link.progress.total_sectors = hybrid ? layout.image_sectors - 1 : total_sectors;
    outcome.total_sectors = total_sectors;
    outcome.padding_sectors = layout.image_sectors - 1 - total_sectors;
    if (b.input.layout_only)
        return;
    put_both32(volume_descriptors.primary + descriptor_offset::volume_space_size, total_sectors);
    put_both32(volume_descriptors.supplementary + descriptor_offset::volume_space_size, total_sectors);
    table.root->recording_date = b.settings.dir_record.recorded_date;
    if (table.moved_folder)  // made by the build, as the root
        table.moved_folder->recording_date = table.root->recording_date;
    if (b.settings.dir_record.use_recorded_date)
        apply_recorded_date(b);
    make_directory_record(volume_descriptors.primary + descriptor_offset::root_directory_record, table.root,
                          primary_tree);
    if (joliet)
        make_directory_record(volume_descriptors.supplementary + descriptor_offset::root_directory_record, table.root,
                              joliet_tree);
    // The boot information table goes over bytes 8..63 of the boot image's
    // first sector as it is copied.
    bool isolinux_hybrid = false;
    if (boot && b.input.boot_info_table &&
        make_boot_info_table(boot_settings.boot_image_path, boot_settings.boot_image_size, boot_sector, writer.patch,
                             isolinux_hybrid, outcome.problems)) {
        writer.patch_sector = boot_sector;
        writer.patch_offset = boot_info_table::primary_descriptor;
    }

    if (hybrid && b.input.hybrid.isohybrid_code && !isolinux_hybrid) {
        outcome.problems.push_back({ProblemKind::boot_path_unusable, b.input.boot_path,
                                    "no ISOLINUX hybrid signature (0x7078C0FB at byte 64), which the isohybrid MBR "
                                    "code needs"});
        return;
    }
    // The partition tables, from the finished primary descriptor.
    std::vector<uint8_t> system_area(hybrid ? system_area_sectors * sector_size : 0);
    std::vector<uint8_t> disk_tail(hybrid ? hybrid_tail_sectors * sector_size : 0);
    if (hybrid) {
        HybridDisk disk;
        disk.volume_sectors = total_sectors;
        disk.image_sectors = layout.image_sectors;
        disk.esp_sector = efi ? layout.efi_image : 0;
        disk.esp_bytes = efi ? efi_boot_settings.image_size : 0;
        disk.mbr_code = b.input.hybrid.mbr_code.data();
        disk.mbr_code_size = b.input.hybrid.mbr_code.size();
        disk.guid_seed = volume_descriptors.primary;
        disk.guid_seed_size = sector_size;
        if (isolinux_hybrid && !b.input.hybrid.mbr_code.empty())
            disk.isohybrid_boot_sector = boot_sector;
        make_hybrid_disk(disk, system_area.data(), disk_tail.data());
    }

    // Stage 4: the output. Its counts start at zero before it is announced.
    link.progress.counter = 0;
    link.progress.sectors_written = 0;
    set_stage(link, 4);
    const uint8_t zero[sector_size] = {};
    writer.sectors = b.input.sectors;
    writer.link = &link;
    if (!open_image(writer, output_path, link.progress.total_sectors)) {
        outcome.problems.push_back({ProblemKind::output_not_created, output_path, writer.failure});
        return;
    }
    for (const ImageArea area : image_areas(layout_options)) {
        switch (area) {
        case ImageArea::system_area:
            for (uint32_t i = 0; i < system_area_sectors; ++i)
                write_sector(writer, hybrid ? system_area.data() + i * sector_size : zero);
            break;
        case ImageArea::primary_descriptor: write_sector(writer, volume_descriptors.primary); break;
        case ImageArea::boot_record: write_sector(writer, volume_descriptors.boot_record); break;
        case ImageArea::supplementary_descriptor: write_sector(writer, volume_descriptors.supplementary); break;
        case ImageArea::terminator: write_sector(writer, volume_descriptors.terminator); break;
        case ImageArea::primary_path_tables:
            write_path_table(writer, table, primary_tree, false);
            write_path_table(writer, table, primary_tree, true);
            break;
        case ImageArea::joliet_path_tables:
            write_path_table(writer, table, joliet_tree, false);
            write_path_table(writer, table, joliet_tree, true);
            break;
        case ImageArea::primary_directories:
            write_directories(writer, table, primary_tree, layout_options.rock_ridge);
            break;
        case ImageArea::continuation_area: write_continuation_area(writer, rock_ridge); break;
        case ImageArea::joliet_directories: write_directories(writer, table, joliet_tree); break;
        case ImageArea::boot_catalog: write_boot_catalog(writer, boot_catalog); break;
        case ImageArea::boot_image:
            copy_file_sectors(writer, boot_settings.boot_image_path, boot_settings.boot_image_size);
            break;
        case ImageArea::efi_image:
            copy_file_sectors(writer, efi_boot_settings.image_path.c_str(), efi_boot_settings.image_size);
            break;
        case ImageArea::file_data: write_file_data(writer, table); break;
        case ImageArea::trailing_sector: write_sector(writer, zero); break;
        case ImageArea::hybrid_padding:
            for (uint32_t i = total_sectors + 1; i < layout.image_sectors - hybrid_tail_sectors; ++i)
                write_sector(writer, zero);
            for (uint32_t i = 0; i < hybrid_tail_sectors; ++i)
                write_sector(writer, disk_tail.data() + i * sector_size);
            break;
        case ImageArea::count: break;
        }
    }
    bool ok = close_image(writer);
    if (b.input.keep_built_files) {
        outcome.joliet = joliet;
        if (boot && !b.boot_entry)
            outcome.files.push_back({boot_settings.boot_image_path,
                                     layout.boot_image,
                                     boot_settings.boot_image_size,
                                     true,
                                     {},
                                     false,
                                     {},
                                     b.input.boot_info_table});
        if (efi)
            outcome.files.push_back(
                {efi_boot_settings.image_path, layout.efi_image, efi_boot_settings.image_size, true, {}, false, {}});
        // Each entry's place: its folder's place and its own identifier;
        // relocated directories have theirs in the ISO 9660 tree's order.
        std::unordered_map<const SourceEntry*, std::string> relocated_place;
        if (!table.primary_order.empty()) {
            std::vector<std::string> folders;
            for (const SourceEntry* e : table.primary_order) {
                if (e == table.root || (e->posix && e->posix->stands_for))
                    continue;
                folders.resize(depth_in(e, primary_tree) - 2u);
                std::string place = folders.empty() ? std::string() : folders.back();
                path_key_append(place, e->identifier[primary_tree], e->identifier_length[primary_tree]);
                if (e->directory)
                    folders.push_back(place);
                if (e == table.moved_folder)
                    outcome.primary_only_places.push_back(place);
                else
                    relocated_place.emplace(e, std::move(place));
            }
        }
        std::vector<std::string> folder_place[2];
        for (uint32_t i = 1; i < table.count; ++i) {
            const SourceEntry* e = table.entries[i];
            std::string place[2];
            for (int tree : {primary_tree, joliet_tree}) {
                folder_place[tree].resize(e->depth - 2u);
                place[tree] = folder_place[tree].empty() ? std::string() : folder_place[tree].back();
                path_key_append(place[tree], e->identifier[tree], e->identifier_length[tree]);
                if (e->directory)
                    folder_place[tree].push_back(place[tree]);
            }
            if (!relocated_place.empty())
                place[primary_tree] = relocated_place[e];
            BuiltPosix posix;
            if (e->posix) {
                posix.present = true;
                posix.name = e->posix->name ? e->posix->name : "";
                posix.mode = rock_ridge_mode(*e->posix, b.input.rock_ridge);
                posix.link = e->posix->link_target != nullptr;
                posix.link_target = e->posix->link_target ? e->posix->link_target : "";
            }
            if (e->directory) {
                outcome.folders.push_back({e->source_path, {place[0], place[1]}, std::move(posix)});
                continue;
            }
            const bool no_data = e->posix && !holds_data(*e->posix);
            outcome.files.push_back({e->source_path,
                                     e->extent[primary_tree],
                                     file_size(e),
                                     false,
                                     {std::move(place[0]), std::move(place[1])},
                                     no_data,
                                     std::move(posix),
                                     e == b.boot_entry && b.input.boot_info_table});
        }
    }
    for (BuildProblem& p : writer.problems)
        outcome.problems.push_back(std::move(p));
    writer.problems.clear();
    if (!ok)
        outcome.problems.push_back({ProblemKind::write_failed, output_path, writer.failure});
    outcome.aborted = link.stopped;
    outcome.written = ok && !outcome.aborted;
}

}  // namespace

BuildOutcome create_iso(const BuildInput& input, const BuildHooks& hooks)
{
    BuildOutcome outcome;
    if (input.output.size() >= path_capacity) {
        outcome.problems.push_back({ProblemKind::output_path_too_long, input.output, {}});
        return outcome;
    }
    Build b{input, input.settings, measure_efi_boot_image(input.efi_boot), {}, {}, {}};
    b.link.hooks = &hooks;

    // The table grows during the scan if the folders gained entries, so a
    // large claimed count need not be allocated up front.
    const uint64_t capacity = input.registered_entries + 100;
    allocate_entry_table(b.table, uint32_t(capacity > (1u << 20) ? (1u << 20) : capacity));
    b.table.joliet_units = input.joliet_long ? 103 : 64;
    b.table.relaxed_names = input.relaxed_names;
    Scan scan{b.table,
              b.link,
              input.dot_files,
              input.rock_ridge.enabled,
              !input.rock_ridge.enabled || input.rock_ridge.follow_links,
              input.large_files,
              input.latest_file_time,
              &input.left_out,
              input.listings,
              b.settings.dir_record.recorded_date,
              {},
              1,
              false,
              0,
              {},
              {},
              &input.excluded};
    scan_sources(b, scan);
    outcome.dot_names_left_out = scan.dot_names_left_out;
    outcome.first_dot_names_left_out = std::move(scan.first_dot_names_left_out);
    outcome.problems = std::move(b.table.problems);
    b.table.problems.clear();
    if (!input.boot_path.empty() && !stop_asked(b.link))
        take_boot_path(b, outcome.problems);
    check_limits(b, outcome.problems);
    if (stop_asked(b.link))
        outcome.aborted = true;  // stopped during the scan: nothing is written
    else if (!any_refusal(outcome.problems))
        build_image(b, outcome);
    return outcome;
}
