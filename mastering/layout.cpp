#include "mastering/layout.h"

#include <algorithm>

#include "mastering/entries.h"
#include "mastering/partition_table.h"
#include "mastering/rock_ridge.h"

void number_directories(EntryTable& table)
{
    for (int tree : {primary_tree, joliet_tree}) {
        uint32_t number = 1;
        for (uint32_t level = 1; level <= table.max_depth; ++level)
            for (SourceEntry* e : tree_entries(table, tree))
                if (e->directory && depth_in(e, tree) == level)
                    e->directory_number[tree] = uint16_t(number++);  // at most max_directories
    }
}

uint32_t path_table_size(const EntryTable& table, int tree)
{
    uint32_t size = 0;
    for (const SourceEntry* e : tree_entries(table, tree))
        if (e->directory)
            size += path_table_record_length(e->identifier_length[tree]);
    return size;
}

void compute_directory_sizes(EntryTable& table, bool system_use)
{
    for (int tree = 0; tree < 2; ++tree) {
        const TreeEntries entries = tree_entries(table, tree);
        for (uint32_t i = 0; i < entries.count; ++i) {
            SourceEntry* d = entries[i];
            if (!d->directory)
                continue;
            // Rock Ridge fields follow the records of the ISO 9660 tree.
            const bool su = system_use && tree == primary_tree;
            uint32_t size = sector_size, fill = 2 * dot_record_length;  // the "." and ".." records
            if (su)
                fill = record_length_with_system_use(d, RecordRole::dot, 1) +
                       record_length_with_system_use(
                           d, d->posix && d->posix->real_parent ? RecordRole::moved_dot_dot : RecordRole::dot_dot, 1);
            for_each_child_in(table, tree, i, [&](const SourceEntry* c) {
                uint32_t r = su ? record_length_with_system_use(c, RecordRole::in_parent, c->identifier_length[tree])
                                : directory_record_length(c->identifier_length[tree]);
                for (uint32_t k = record_count(c); k > 0; --k) {
                    fill += r;
                    if (fill > sector_size) {
                        size += sector_size;
                        fill = r;
                    }
                }
            });
            d->data_length[tree] = size;
        }
    }
}

void compute_sector_counts(EntryTable& table)
{
    auto count = [](SourceEntry* e) {
        if (e->directory) {
            e->sectors[0] = sectors_for(e->data_length[0]);
            e->sectors[1] = sectors_for(e->data_length[1]);
        } else {  // a file beyond the volume limit is refused by the layout
            e->sectors[0] = e->sectors[1] = uint32_t(std::min<uint64_t>(sectors_for_size(file_size(e)), UINT32_MAX));
        }
    };
    for (uint32_t i = 0; i < table.count; ++i)
        count(table.entries[i]);
    // The ISO 9660 tree's own entries: the relocation folder, and the
    // records that stand for relocated directories (empty files).
    for (const std::unique_ptr<SourceEntry>& e : table.primary_only)
        count(e.get());
}

uint32_t directory_sectors(const EntryTable& table, int tree)
{
    uint32_t total = 0;
    for (const SourceEntry* e : tree_entries(table, tree))
        if (e->directory)
            total += e->sectors[tree];
    return total;
}

uint64_t file_sectors(const EntryTable& table)
{
    uint64_t total = 0;
    for (uint32_t i = 0; i < table.count; ++i)
        if (!table.entries[i]->directory)
            total += table.entries[i]->sectors[0];
    return total;
}

void assign_extents(EntryTable& table, uint32_t pd, uint32_t jd, uint32_t fa)
{
    const bool relocated = !table.primary_order.empty();
    for (uint32_t level = 1; level <= table.max_depth; ++level) {
        for (uint32_t i = 0; i < table.count; ++i) {
            SourceEntry* e = table.entries[i];
            if (e->depth != level)
                continue;
            if (e->directory) {
                if (!relocated) {
                    e->extent[0] = pd;
                    pd += e->sectors[0];
                }
                e->extent[1] = jd;
                jd += e->sectors[1];
            } else {
                e->extent[0] = e->extent[1] = fa;
                fa += e->sectors[0];
            }
        }
        // The ISO 9660 tree's directories level by level in its own order.
        if (relocated)
            for (SourceEntry* e : table.primary_order)
                if (e->directory && depth_in(e, primary_tree) == level) {
                    e->extent[0] = pd;
                    pd += e->sectors[0];
                }
    }
    // A record that stands for a relocated directory points at it, empty.
    for (const std::unique_ptr<SourceEntry>& e : table.primary_only)
        if (e->posix && e->posix->stands_for)
            e->extent[0] = e->extent[1] = e->posix->stands_for->extent[primary_tree];
}

ImageAreas image_areas(const LayoutOptions& options)
{
    const bool catalog = options.boot || options.efi;
    ImageAreas areas;
    for (size_t i = 0; i < size_t(ImageArea::count); ++i) {
        const ImageArea area = ImageArea(i);
        bool present = true;
        switch (area) {
        case ImageArea::boot_record:
        case ImageArea::boot_catalog: present = catalog; break;
        case ImageArea::supplementary_descriptor:
        case ImageArea::joliet_path_tables:
        case ImageArea::joliet_directories: present = options.joliet; break;
        case ImageArea::boot_image: present = options.boot && !options.boot_in_tree; break;
        case ImageArea::efi_image: present = options.efi; break;
        case ImageArea::hybrid_padding: present = options.hybrid; break;
        case ImageArea::continuation_area: present = options.rock_ridge != nullptr; break;
        default: break;
        }
        if (present)
            areas.list[areas.size++] = area;
    }
    return areas;
}

ImageLayout lay_out_image(EntryTable& table, const LayoutOptions& options)
{
    ImageLayout layout;
    if (options.rock_ridge && !relocate_deep_directories(table)) {
        options.rock_ridge->refusal = "with a folder for the directories deeper than eight levels";
        options.rock_ridge->refusal_kind = ProblemKind::too_many_directories;
        return layout;
    }
    number_directories(table);
    if (options.rock_ridge)
        plan_system_use(table, *options.rock_ridge);
    compute_directory_sizes(table, options.rock_ridge != nullptr);
    compute_sector_counts(table);
    if (options.rock_ridge)
        plan_hard_links(table);

    // Counted in 64 bits: a tree of large files may pass what a volume holds.
    uint64_t next = 0;
    for (const ImageArea area : image_areas(options)) {
        switch (area) {
        case ImageArea::system_area: next += system_area_sectors; break;
        case ImageArea::primary_descriptor:
        case ImageArea::boot_record:
        case ImageArea::supplementary_descriptor:
        case ImageArea::terminator: next += 1; break;
        case ImageArea::primary_path_tables:
        case ImageArea::joliet_path_tables: {
            const int tree = area == ImageArea::primary_path_tables ? primary_tree : joliet_tree;
            layout.path_table_bytes[tree] = path_table_size(table, tree);
            const uint32_t s = sectors_for(layout.path_table_bytes[tree]);
            layout.type_l_path_table[tree] = next;
            layout.type_m_path_table[tree] = next + s;
            next += 2 * s;
            break;
        }
        case ImageArea::primary_directories:
            // Without Joliet its area starts where the primary's does.
            layout.directory_start[primary_tree] = layout.directory_start[joliet_tree] = next;
            next += directory_sectors(table, primary_tree);
            break;
        case ImageArea::continuation_area:
            place_continuations(*options.rock_ridge, next);
            next += options.rock_ridge->area_sectors;
            break;
        case ImageArea::joliet_directories:
            layout.directory_start[joliet_tree] = next;
            next += directory_sectors(table, joliet_tree);
            break;
        case ImageArea::boot_catalog:
            layout.boot_catalog = next;
            next += 1;
            break;
        case ImageArea::boot_image:
            layout.boot_image = next;
            next += options.boot_image_sectors;
            break;
        case ImageArea::efi_image:
            layout.efi_image = next;
            next += options.efi_image_sectors;
            break;
        case ImageArea::file_data:
            layout.file_area = next;
            next += file_sectors(table);
            layout.volume_space_size = uint32_t(next);
            if (next >= UINT32_MAX) {  // and one trailing sector
                layout.sectors_beyond_limit = next + 1;
                return layout;
            }
            break;
        case ImageArea::trailing_sector: next += 1; break;
        case ImageArea::hybrid_padding: next = hybrid_image_sectors(layout.volume_space_size); break;
        case ImageArea::count: break;
        }
    }
    if (next > UINT32_MAX) {
        layout.sectors_beyond_limit = next;
        return layout;
    }
    layout.image_sectors = uint32_t(next);
    assign_extents(table, layout.directory_start[primary_tree], layout.directory_start[joliet_tree], layout.file_area);
    if (options.rock_ridge)
        share_hard_link_extents(table);
    return layout;
}
