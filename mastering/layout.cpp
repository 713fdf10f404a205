#include "mastering/layout.h"

#include "mastering/entries.h"
#include "mastering/partition_table.h"

void number_directories()
{
    uint32_t number = 1;
    for (uint32_t level = 1; level <= entry_table.max_depth; ++level)
        for (uint32_t i = 0; i < entry_table.count; ++i) {
            SourceEntry* e = entry_table.entries[i];
            if (e->directory && e->depth == level)
                e->directory_number = uint16_t(number++);  // at most max_directories
        }
}

uint32_t path_table_size(int tree)
{
    uint32_t size = 0;
    for (uint32_t i = 0; i < entry_table.count; ++i) {
        const SourceEntry* e = entry_table.entries[i];
        if (e->directory)
            size += path_table_record_length(e->identifier_length[tree]);
    }
    return size;
}

void compute_directory_sizes()
{
    const uint32_t n = entry_table.count;
    for (uint32_t i = 0; i < n; ++i) {
        SourceEntry* d = entry_table.entries[i];
        if (!d->directory)
            continue;
        for (int tree = 0; tree < 2; ++tree) {
            uint32_t size = sector_size, fill = 2 * dot_record_length;  // the "." and ".." records
            for_each_child(i, [&](const SourceEntry* c) {
                uint32_t r = directory_record_length(c->identifier_length[tree]);
                fill += r;
                if (fill > sector_size) {
                    size += sector_size;
                    fill = r;
                }
            });
            d->data_length[tree] = size;
        }
    }
}

void compute_sector_counts()
{
    for (uint32_t i = 0; i < entry_table.count; ++i) {
        SourceEntry* e = entry_table.entries[i];
        e->sectors[0] = sectors_for(e->data_length[0]);
        e->sectors[1] = sectors_for(e->data_length[1]);
    }
}

uint32_t directory_sectors(int tree)
{
    uint32_t total = 0;
    for (uint32_t i = 0; i < entry_table.count; ++i)
        if (entry_table.entries[i]->directory)
            total += entry_table.entries[i]->sectors[tree];
    return total;
}

uint32_t file_sectors()
{
    uint32_t total = 0;
    for (uint32_t i = 0; i < entry_table.count; ++i)
        if (!entry_table.entries[i]->directory)
            total += entry_table.entries[i]->sectors[0];
    return total;
}

void assign_extents(uint32_t pd, uint32_t jd, uint32_t fa)
{
    for (uint32_t level = 1; level <= entry_table.max_depth; ++level) {
        for (uint32_t i = 0; i < entry_table.count; ++i) {
            SourceEntry* e = entry_table.entries[i];
            if (e->depth != level)
                continue;
            if (e->directory) {
                e->extent[0] = pd;
                e->extent[1] = jd;
                pd += e->sectors[0];
                jd += e->sectors[1];
            } else {
                e->extent[0] = e->extent[1] = fa;
                fa += e->sectors[0];
            }
        }
    }
}

ImageLayout lay_out_image(const LayoutOptions& options)
{
    ImageLayout layout;
    number_directories();

    // The descriptors: primary, boot record, supplementary, terminator.
    const bool catalog = options.boot || options.efi;
    uint32_t next = system_area_sectors + 2 + (catalog ? 1 : 0) + (options.joliet ? 1 : 0);
    const int trees = options.joliet ? 2 : 1;
    for (int tree = 0; tree < trees; ++tree) {
        layout.path_table_bytes[tree] = path_table_size(tree);
        const uint32_t s = sectors_for(layout.path_table_bytes[tree]);
        layout.type_l_path_table[tree] = next;
        layout.type_m_path_table[tree] = next + s;
        next += 2 * s;
    }

    compute_directory_sizes();
    compute_sector_counts();
    layout.directory_start[primary_tree] = layout.directory_start[joliet_tree] = next;
    next += directory_sectors(primary_tree);
    if (options.joliet) {
        layout.directory_start[joliet_tree] = next;
        next += directory_sectors(joliet_tree);
    }
    if (catalog) {
        layout.boot_catalog = next;
        next += 1;
    }
    if (options.boot) {
        layout.boot_image = next;
        next += options.boot_image_sectors;
    }
    if (options.efi) {
        layout.efi_image = next;
        next += options.efi_image_sectors;
    }
    layout.file_area = next;
    assign_extents(layout.directory_start[primary_tree], layout.directory_start[joliet_tree], layout.file_area);
    layout.volume_space_size = layout.file_area + file_sectors();
    layout.image_sectors =
        options.hybrid ? hybrid_image_sectors(layout.volume_space_size) : layout.volume_space_size + 1;
    return layout;
}
