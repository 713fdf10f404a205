#include "mastering/records.h"

#include <algorithm>
#include <cstring>

#include "mastering/descriptors.h"
#include "platform/endian.h"
#include "mastering/entries.h"
#include "mastering/layout.h"
#include "mastering/rock_ridge.h"
#include "mastering/writer.h"

namespace {

// ECMA-119 9.1.6 file flags: bit 0 existence ("hidden"), bit 1 directory.
uint8_t file_flags(const SourceEntry* e)
{
    return uint8_t((e->hidden ? file_flag::existence : 0) | (e->directory ? file_flag::directory : 0));
}

// The record of entry e in the tree under the given identifier of n bytes;
// for a file of several extents, the record of extent `piece`.
uint8_t* put_directory_record(uint8_t* p, const SourceEntry* e, int tree, const uint8_t* identifier, uint32_t n,
                              uint32_t piece = 0)
{
    namespace at = directory_record_offset;
    uint32_t extent = e->extent[tree], length = e->data_length[tree];
    uint8_t flags = file_flags(e);
    if (const uint32_t records = record_count(e); records > 1) {
        // The extents lie one after the other; all but the last are full.
        extent += piece * (multi_extent_piece / sector_size);
        length = uint32_t(std::min<uint64_t>(file_size(e) - uint64_t(piece) * multi_extent_piece, multi_extent_piece));
        if (piece + 1 < records)
            flags |= file_flag::multi_extent;
    }
    p[at::length] = uint8_t(directory_record_length(n));
    p[at::extended_attribute_length] = 0;
    put_both32(p + at::extent, extent);
    put_both32(p + at::data_length, length);
    std::memcpy(p + at::recording_date, e->recording_date.bytes, sizeof e->recording_date.bytes);
    p[at::file_flags] = flags;
    p[at::file_unit_size] = 0;
    p[at::interleave_gap_size] = 0;
    put_both16(p + at::volume_sequence_number, 1);
    p[at::identifier_length] = uint8_t(n);
    std::memcpy(p + at::identifier, identifier, n);
    return p + directory_record_length(n);
}

// The "." or ".." record describing directory e.
uint8_t* make_dot_record(uint8_t* p, const SourceEntry* e, int tree, uint8_t identifier)
{
    return put_directory_record(p, e, tree, &identifier, 1);
}

}  // namespace

uint8_t* make_directory_record(uint8_t* p, const SourceEntry* e, int tree, uint32_t piece)
{
    return put_directory_record(p, e, tree, e->identifier[tree], e->identifier_length[tree], piece);
}

void write_directories(ImageWriter& writer, const EntryTable& table, int tree, const RockRidgePlan* rock_ridge)
{
    // Rock Ridge fields follow the records of the ISO 9660 tree.
    const RockRidgePlan* su = tree == primary_tree ? rock_ridge : nullptr;
    auto with_system_use = [&](uint8_t* record, uint8_t* end, const SourceEntry* e, RecordRole role) {
        if (!su || !e->posix)
            return end;
        const uint32_t n = put_system_use(end, table, *su, e, role);
        record[directory_record_offset::length] = uint8_t(record[directory_record_offset::length] + n);
        return end + n;
    };
    if (writer_stopped(writer))
        return;
    const TreeEntries entries = tree_entries(table, tree);
    uint8_t sector[sector_size];
    for (uint32_t level = 1; level <= table.max_depth; ++level) {
        const SourceEntry* parent = table.root;
        for (uint32_t i = 0; i < entries.count; ++i) {
            const SourceEntry* d = entries[i];
            if (!d->directory)
                continue;
            const uint32_t depth = depth_in(d, tree);
            if (depth == level - 1)
                parent = d;
            if (depth != level)
                continue;
            std::memset(sector, 0, sizeof sector);
            uint8_t* p = with_system_use(sector, make_dot_record(sector, d, tree, dot_identifier), d, RecordRole::dot);
            uint8_t* dot_dot = p;
            // A relocated directory's ".." names its real parent (PL).
            const bool moved = su && d->posix && d->posix->real_parent;
            p = with_system_use(dot_dot, make_dot_record(p, parent, tree, dot_dot_identifier), moved ? d : parent,
                                moved ? RecordRole::moved_dot_dot : RecordRole::dot_dot);
            for_each_child_in(table, tree, i, [&](const SourceEntry* c) {
                uint32_t length =
                    su ? record_length_with_system_use(c, RecordRole::in_parent, c->identifier_length[tree])
                       : directory_record_length(c->identifier_length[tree]);
                // Every record of a file of several extents carries the same
                // System Use fields: readers take the name from the last one.
                for (uint32_t piece = 0, records = record_count(c); piece < records; ++piece) {
                    if (uint32_t(p - sector) + length > sector_size) {
                        write_sector(writer, sector);
                        std::memset(sector, 0, sizeof sector);
                        p = sector;
                    }
                    uint8_t* record = p;
                    p = with_system_use(record, make_directory_record(p, c, tree, piece), c, RecordRole::in_parent);
                }
            });
            write_sector(writer, sector);
        }
    }
}

void write_path_table(ImageWriter& writer, const EntryTable& table, int tree, bool big_endian)
{
    if (writer_stopped(writer))
        return;
    namespace at = path_table_offset;
    // Two sectors: a record may run across the end of the first.
    uint8_t buffer[2 * sector_size] = {};
    uint32_t position = 0;
    uint16_t parent_number = 1;  // the root is its own parent
    for (uint32_t level = 1; level <= table.max_depth; ++level) {
        for (const SourceEntry* e : tree_entries(table, tree)) {
            if (!e->directory)
                continue;
            const uint32_t depth = depth_in(e, tree);
            if (depth == level - 1)
                parent_number = e->directory_number[tree];
            if (depth != level)
                continue;
            uint32_t length = e->identifier_length[tree];
            uint8_t* r = buffer + position;
            r[at::identifier_length] = uint8_t(length);
            r[at::extended_attribute_length] = 0;
            if (big_endian) {
                put_be32(r + at::extent, e->extent[tree]);
                put_be16(r + at::parent_number, parent_number);
            } else {
                put_le32(r + at::extent, e->extent[tree]);
                put_le16(r + at::parent_number, parent_number);
            }
            std::memcpy(r + at::identifier, e->identifier[tree], length);
            if (length & 1)
                r[at::identifier + length] = 0;
            position += path_table_record_length(length);
            if (position > sector_size) {
                write_sector(writer, buffer);
                std::memmove(buffer, buffer + sector_size, position - sector_size);
                std::memset(buffer + (position - sector_size), 0, sizeof buffer - (position - sector_size));
                position -= sector_size;
            }
        }
    }
    write_sector(writer, buffer);
}
