#include "mastering/records.h"

#include <cstring>

#include "platform/endian.h"
#include "mastering/entries.h"
#include "mastering/layout.h"
#include "mastering/writer.h"
#include "shell/hooks.h"

namespace {

// ECMA-119 9.1.6 file flags: bit 0 existence ("hidden"), bit 1 directory.
uint8_t file_flags(const SourceEntry* e)
{
    return uint8_t((e->hidden ? 0x01 : 0) | (e->directory ? 0x02 : 0));
}

// The 34-byte "." (0x00) or ".." (0x01) record describing directory e.
uint8_t* make_dot_record(uint8_t* p, const SourceEntry* e, int tree, uint8_t identifier)
{
    p[0] = 34;
    p[1] = 0;
    put_both32(p + 2, e->extent[tree]);
    put_both32(p + 10, e->data_length[tree]);
    std::memcpy(p + 18, e->recording_date.bytes, 7);
    p[25] = file_flags(e);
    p[26] = 0;
    p[27] = 0;
    put_both16(p + 28, 1);
    p[32] = 1;
    p[33] = identifier;
    return p + 34;
}

}  // namespace

uint8_t* make_directory_record(uint8_t* p, const SourceEntry* e, int tree)
{
    uint32_t n = e->identifier_length[tree];
    p[0] = uint8_t(directory_record_length(n));  // ECMA-119 9.1.1
    p[1] = 0;                                    // extended attribute record length
    put_both32(p + 2, e->extent[tree]);          // 9.1.3
    put_both32(p + 10, e->data_length[tree]);    // 9.1.4
    std::memcpy(p + 18, e->recording_date.bytes, 7);  // 9.1.5
    p[25] = file_flags(e);
    p[26] = 0;                                   // file unit size
    p[27] = 0;                                   // interleave gap size
    put_both16(p + 28, 1);                       // volume sequence number
    p[32] = uint8_t(n);
    std::memcpy(p + 33, e->identifier[tree], n);
    return p + directory_record_length(n);
}

void write_directories(int tree)
{
    if (abort_requested)
        return;
    const uint32_t n = entry_table.count;
    uint8_t sector[2048];
    for (uint32_t level = 1; level <= entry_table.max_depth; ++level) {
        const SourceEntry* parent = entry_table.root;
        for (uint32_t i = 0; i < n; ++i) {
            const SourceEntry* d = entry_table.entries[i];
            if (!d->directory)
                continue;
            if (d->depth == level - 1)
                parent = d;
            if (d->depth != level)
                continue;
            std::memset(sector, 0, sizeof sector);
            uint8_t* p = make_dot_record(sector, d, tree, 0x00);
            p = make_dot_record(p, parent, tree, 0x01);
            for_each_child(i, [&](const SourceEntry* c) {
                uint32_t length = directory_record_length(c->identifier_length[tree]);
                if (uint32_t(p - sector) + length > 2048) {
                    write_sector(sector);
                    std::memset(sector, 0, sizeof sector);
                    p = sector;
                }
                p = make_directory_record(p, c, tree);
            });
            write_sector(sector);
        }
    }
}

void write_path_table(int tree, bool big_endian)
{
    if (abort_requested)
        return;
    const uint32_t n = entry_table.count;
    uint8_t buffer[4096] = {};
    uint32_t position = 0;
    uint32_t counter = 1;
    uint32_t parent_number = 1;
    for (uint32_t level = 1; level <= entry_table.max_depth; ++level) {
        for (uint32_t i = 0; i < n; ++i) {
            SourceEntry* e = entry_table.entries[i];
            if (!e->directory)
                continue;
            if (e->depth == level - 1)
                parent_number = e->directory;
            if (e->depth != level)
                continue;
            e->directory = counter++;
            uint32_t length = e->identifier_length[tree];
            uint8_t* r = buffer + position;  // ECMA-119 9.4
            r[0] = uint8_t(length);
            r[1] = 0;
            if (big_endian) {
                put_be32(r + 2, e->extent[tree]);
                put_be16(r + 6, uint16_t(parent_number));
            } else {
                put_le32(r + 2, e->extent[tree]);
                put_le16(r + 6, uint16_t(parent_number));
            }
            std::memcpy(r + 8, e->identifier[tree], length);
            if (length & 1)
                r[8 + length] = 0;
            position += (8 + length + 1) & ~1u;
            if (position > 2048) {
                write_sector(buffer);
                std::memmove(buffer, buffer + 2048, position - 2048);
                std::memset(buffer + (position - 2048), 0, 4096 - (position - 2048));
                position -= 2048;
            }
        }
    }
    write_sector(buffer);
}
