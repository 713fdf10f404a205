// Image layout: every structure is placed on its 2048-byte sector before a
// byte is written.
#pragma once

#include <cstdint>

inline uint32_t sectors_for(uint32_t bytes) { return uint32_t((uint64_t(bytes) + 2047) >> 11); }

// Byte size of one path table of the tree (ECMA-119 9.4).
uint32_t path_table_size(int tree);
// Directory sizes: whole sectors; a record never crosses a sector boundary.
void compute_directory_sizes();
void compute_sector_counts();
uint32_t directory_sectors(int tree);
uint32_t file_sectors();
// Directories level by level in table order from pd and jd, files level by
// level from fa.
void assign_extents(uint32_t primary_directory_start, uint32_t joliet_directory_start,
                    uint32_t file_area_start);

// Record length of a directory record with an identifier of n bytes.
inline uint32_t directory_record_length(uint32_t n) { return (33 + n + 1) & ~1u; }
