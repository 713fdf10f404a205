#include "mastering/build.h"

#include <cstring>

#include "mastering/boot.h"
#include "mastering/descriptors.h"
#include "platform/endian.h"
#include "mastering/entries.h"
#include "mastering/identifiers.h"
#include "mastering/layout.h"
#include "mastering/partition_table.h"
#include "mastering/records.h"
#include "mastering/writer.h"
#include "settings/readers.h"
#include "shell/hooks.h"
#include "shell/registration.h"

namespace {

bool running = false;

struct RunningFlag {
    RunningFlag() { running = true; }
    ~RunningFlag() { running = false; }
};

void put_path_table(uint8_t* descriptor, uint32_t size, uint32_t type_l, uint32_t type_m)
{
    put_both32(descriptor + descriptor_offset::path_table_size, size);
    put_le32(descriptor + descriptor_offset::type_l_path_table, type_l);
    put_be32(descriptor + descriptor_offset::type_m_path_table, type_m);
}

void set_stage(int32_t stage)
{
    build_progress.stage = stage;
    if (status_callback && stage > 1)
        status_callback();
}

// Items the layout cannot hold, found before the output is created.
void check_limits(std::vector<BuildProblem>& problems)
{
    uint32_t directories = 0;
    for (uint32_t i = 0; i < entry_table.count; ++i)
        if (entry_table.entries[i]->directory)
            ++directories;
    bool reported = false;
    for (const BuildProblem& p : problems)
        reported = reported || p.kind == ProblemKind::too_many_directories;
    if (directories > max_directories && !reported)
        problems.push_back({ProblemKind::too_many_directories, {}, std::to_string(directories) + " directories"});
    if (boot_settings.boot_enabled && boot_settings.boot_image_full_size >= (uint64_t(1) << 32))
        problems.push_back({ProblemKind::file_too_large, boot_settings.boot_image_path, {}});
    if (boot_settings.boot_enabled && boot_settings.boot_image_path_too_long)
        problems.push_back({ProblemKind::path_too_long, boot_settings.boot_image_path, {}});
    if (!efi_boot_settings.image_path.empty() && efi_boot_settings.image_full_size >= (uint64_t(1) << 32))
        problems.push_back({ProblemKind::file_too_large, efi_boot_settings.image_path, {}});
}

bool any_refusal(const std::vector<BuildProblem>& problems)
{
    for (const BuildProblem& p : problems)
        if (severity_of(p.kind) == ProblemSeverity::refused)
            return true;
    return false;
}

}  // namespace

bool keep_built_files = false;

bool build_running()
{
    return running;
}

void apply_recorded_date()
{
    for (uint32_t i = 0; i < entry_table.count; ++i)
        entry_table.entries[i]->recording_date = dir_record_settings.recorded_date;
}

// Runs the four stages on the scanned table and writes the image.
static void build_image(const char* output_path, BuildOutcome& outcome)
{
    const bool boot = boot_settings.boot_enabled;
    const bool efi = !efi_boot_settings.image_path.empty();
    const bool catalog = boot || efi;
    const bool hybrid = hybrid_settings.enabled;
    const bool joliet = joliet_enabled;

    // Stage 1: order and identifiers.
    build_progress.stage = 1;
    build_progress.counter = 0;
    sort_entries();
    assign_identifiers();
    resolve_identifier_clashes();
    make_sibling_identifiers_distinct();

    // Stage 2: data positions.
    set_stage(2);
    const LayoutOptions layout_options{
        joliet, boot, boot_settings.boot_image_sectors, efi, efi_boot_settings.image_sectors, hybrid};
    const ImageLayout layout = lay_out_image(layout_options);
    put_path_table(volume_descriptors.primary, layout.path_table_bytes[primary_tree],
                   layout.type_l_path_table[primary_tree], layout.type_m_path_table[primary_tree]);
    if (joliet)
        put_path_table(volume_descriptors.supplementary, layout.path_table_bytes[joliet_tree],
                       layout.type_l_path_table[joliet_tree], layout.type_m_path_table[joliet_tree]);
    if (catalog)
        put_le32(volume_descriptors.boot_record + descriptor_offset::boot_catalog_pointer, layout.boot_catalog);
    if (boot)
        put_le32(boot_catalog + catalog_offset::load_rba, layout.boot_image);
    if (efi)
        put_efi_catalog_entries(boot_catalog, boot, layout.efi_image, efi_sector_count(efi_boot_settings.image_size));
    else if (boot)
        std::memset(boot_catalog + 2 * catalog_entry_size, 0, sector_size - 2 * catalog_entry_size);

    // Stage 3: the remaining settings.
    set_stage(3);
    const uint32_t total_sectors = layout.volume_space_size;
    // The padding of a hybrid image counts in the progress, so that it ends at
    // 100 percent.
    build_progress.total_sectors = hybrid ? layout.image_sectors - 1 : total_sectors;
    outcome.total_sectors = total_sectors;
    outcome.padding_sectors = layout.image_sectors - 1 - total_sectors;
    put_both32(volume_descriptors.primary + descriptor_offset::volume_space_size, total_sectors);
    put_both32(volume_descriptors.supplementary + descriptor_offset::volume_space_size, total_sectors);
    entry_table.root->recording_date = dir_record_settings.recorded_date;
    if (dir_record_settings.use_recorded_date)
        apply_recorded_date();
    make_directory_record(volume_descriptors.primary + descriptor_offset::root_directory_record, entry_table.root,
                          primary_tree);
    if (joliet)
        make_directory_record(volume_descriptors.supplementary + descriptor_offset::root_directory_record,
                              entry_table.root, joliet_tree);
    // The partition tables, from the finished primary descriptor.
    static uint8_t system_area[system_area_sectors * sector_size];
    static uint8_t disk_tail[hybrid_tail_sectors * sector_size];
    if (hybrid) {
        HybridDisk disk;
        disk.volume_sectors = total_sectors;
        disk.image_sectors = layout.image_sectors;
        disk.esp_sector = efi ? layout.efi_image : 0;
        disk.esp_bytes = efi ? efi_boot_settings.image_size : 0;
        disk.mbr_code = hybrid_settings.mbr_code.data();
        disk.mbr_code_size = hybrid_settings.mbr_code.size();
        disk.guid_seed = volume_descriptors.primary;
        disk.guid_seed_size = sector_size;
        make_hybrid_disk(disk, system_area, disk_tail);
    }

    // Stage 4: the output. Its counts start at zero before it is announced.
    build_progress.counter = 0;
    build_progress.sectors_written = 0;
    set_stage(4);
    const uint8_t zero[sector_size] = {};
    if (!open_image(output_path)) {
        outcome.problems.push_back({ProblemKind::output_not_created, output_path, writer_failure()});
        return;
    }
    for (const ImageArea area : image_areas(layout_options)) {
        switch (area) {
        case ImageArea::system_area:
            for (uint32_t i = 0; i < system_area_sectors; ++i)
                write_sector(hybrid ? system_area + i * sector_size : zero);
            break;
        case ImageArea::primary_descriptor: write_sector(volume_descriptors.primary); break;
        case ImageArea::boot_record: write_sector(volume_descriptors.boot_record); break;
        case ImageArea::supplementary_descriptor: write_sector(volume_descriptors.supplementary); break;
        case ImageArea::terminator: write_sector(volume_descriptors.terminator); break;
        case ImageArea::primary_path_tables:
            write_path_table(primary_tree, false);
            write_path_table(primary_tree, true);
            break;
        case ImageArea::joliet_path_tables:
            write_path_table(joliet_tree, false);
            write_path_table(joliet_tree, true);
            break;
        case ImageArea::primary_directories: write_directories(primary_tree); break;
        case ImageArea::joliet_directories: write_directories(joliet_tree); break;
        case ImageArea::boot_catalog: write_boot_catalog(); break;
        case ImageArea::boot_image: write_boot_image(); break;
        case ImageArea::efi_image: write_efi_boot_image(); break;
        case ImageArea::file_data: write_file_data(); break;
        case ImageArea::trailing_sector: write_sector(zero); break;
        case ImageArea::hybrid_padding:
            for (uint32_t i = total_sectors + 1; i < layout.image_sectors - hybrid_tail_sectors; ++i)
                write_sector(zero);
            for (uint32_t i = 0; i < hybrid_tail_sectors; ++i)
                write_sector(disk_tail + i * sector_size);
            break;
        case ImageArea::count: break;
        }
    }
    bool ok = close_image();
    if (keep_built_files) {
        outcome.joliet = joliet;
        if (boot)
            outcome.files.push_back(
                {boot_settings.boot_image_path, layout.boot_image, boot_settings.boot_image_size, true, {}});
        if (efi)
            outcome.files.push_back(
                {efi_boot_settings.image_path, layout.efi_image, efi_boot_settings.image_size, true, {}});
        // Each entry's place: its folder's place and its own identifier.
        std::vector<std::string> folder_place[2];
        for (uint32_t i = 1; i < entry_table.count; ++i) {
            const SourceEntry* e = entry_table.entries[i];
            std::string place[2];
            for (int tree : {primary_tree, joliet_tree}) {
                folder_place[tree].resize(e->depth - 2u);
                place[tree] = folder_place[tree].empty() ? std::string() : folder_place[tree].back();
                path_key_append(place[tree], e->identifier[tree], e->identifier_length[tree]);
                if (e->directory)
                    folder_place[tree].push_back(place[tree]);
            }
            if (e->directory)
                outcome.folders.push_back({e->source_path, {place[0], place[1]}});
            else
                outcome.files.push_back({e->source_path,
                                         e->extent[primary_tree],
                                         e->data_length[primary_tree],
                                         false,
                                         {std::move(place[0]), std::move(place[1])}});
        }
    }
    for (BuildProblem& p : writer_problems())
        outcome.problems.push_back(std::move(p));
    writer_problems().clear();
    if (!ok)
        outcome.problems.push_back({ProblemKind::write_failed, output_path, writer_failure()});
    outcome.aborted = abort_requested != 0;
    outcome.written = ok && !outcome.aborted;
}

BuildOutcome create_iso(const ControlReader& volume_dialog, const ControlReader& boot_dialog,
                        const ControlReader& dir_record_dialog, const LineSource& lines, const char* output_path)
{
    BuildOutcome outcome;
    if (running)
        return outcome;  // one build at a time; the running one goes on undisturbed
    RunningFlag flag;

    read_volume_dialog(volume_dialog);
    read_boot_dialog(boot_dialog);
    read_dir_record_dialog(dir_record_dialog);
    measure_efi_boot_image();

    if (std::strlen(output_path) >= path_capacity) {
        outcome.problems.push_back({ProblemKind::output_path_too_long, output_path, {}});
        return outcome;
    }

    int count = lines.count ? lines.count(lines.context) : 0;
    char line[line_capacity];
    uint64_t entries = 0;
    for (int i = count - 1; i >= 0; --i) {
        lines.get(lines.context, i, line, sizeof line);
        int32_t n = line_entry_count(line);
        if (n > 0)
            entries += uint32_t(n);
    }
    uint64_t capacity = entries + 100;
    // The table grows during the scan if the folders gained entries, so a
    // large claimed count need not be allocated up front.
    allocate_entry_table(uint32_t(capacity > (1u << 20) ? (1u << 20) : capacity));
    for (int i = count - 1; i >= 0; --i) {
        lines.get(lines.context, i, line, sizeof line);
        scan_source(line_path(line), 2);
    }
    outcome.problems = std::move(entry_table.problems);
    entry_table.problems.clear();
    check_limits(outcome.problems);
    if (abort_requested)
        outcome.aborted = true;  // stopped during the scan: nothing is written
    else if (!any_refusal(outcome.problems))
        build_image(output_path, outcome);
    free_entry_table();
    return outcome;
}
