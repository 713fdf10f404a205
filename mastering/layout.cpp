#include "mastering/layout.h"

#include "mastering/entries.h"

uint32_t path_table_size(int tree)
{
    uint32_t size = 0;
    for (uint32_t i = 0; i < entry_table.count; ++i) {
        const SourceEntry* e = entry_table.entries[i];
        if (e->directory)
            size += (8 + e->identifier_length[tree] + 1) & ~1u;
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
            uint32_t size = 2048, fill = 68;  // the "." and ".." records
            for_each_child(i, [&](const SourceEntry* c) {
                uint32_t r = directory_record_length(c->identifier_length[tree]);
                fill += r;
                if (fill > 2048) {
                    size += 2048;
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
