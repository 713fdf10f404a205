// Directory records (ECMA-119 9.1) and path tables (ECMA-119 9.4) of both
// trees.
#pragma once

#include <cstdint>

#include "mastering/dates.h"

struct SourceEntry;

// Byte offsets of the directory record fields (ECMA-119 9.1). The fixed part
// is 33 bytes; the identifier follows it, then a zero pad byte when the
// identifier's length is even (9.1.12).
namespace directory_record_offset {
inline constexpr int length = 0;                     // 9.1.1
inline constexpr int extended_attribute_length = 1;  // 9.1.2
inline constexpr int extent = 2;                     // 9.1.3, both-endian 32-bit
inline constexpr int data_length = 10;               // 9.1.4, both-endian 32-bit
inline constexpr int recording_date = 18;            // 9.1.5, 7 bytes
inline constexpr int file_flags = 25;                // 9.1.6
inline constexpr int file_unit_size = 26;            // 9.1.7
inline constexpr int interleave_gap_size = 27;       // 9.1.8
inline constexpr int volume_sequence_number = 28;    // 9.1.9, both-endian 16-bit
inline constexpr int identifier_length = 32;         // 9.1.10
inline constexpr int identifier = 33;                // 9.1.11
}  // namespace directory_record_offset
static_assert(directory_record_offset::extent + 8 == directory_record_offset::data_length);
static_assert(directory_record_offset::data_length + 8 == directory_record_offset::recording_date);
static_assert(directory_record_offset::recording_date + sizeof(RecordDate) == directory_record_offset::file_flags);
static_assert(directory_record_offset::volume_sequence_number + 4 == directory_record_offset::identifier_length);

// Record length of a directory record with an identifier of n bytes.
constexpr uint32_t directory_record_length(uint32_t n)
{
    return (directory_record_offset::identifier + n + 1) & ~1u;
}

// The "." and ".." records open every directory; their identifiers are the
// single bytes 0x00 and 0x01 (ECMA-119 7.6.2).
inline constexpr uint8_t dot_identifier = 0x00;
inline constexpr uint8_t dot_dot_identifier = 0x01;
inline constexpr uint32_t dot_record_length = directory_record_length(1);
static_assert(dot_record_length == 34);

// Byte offsets of the path table record fields (ECMA-119 9.4); the pad byte
// follows an identifier of odd length (9.4.6).
namespace path_table_offset {
inline constexpr int identifier_length = 0;          // 9.4.1
inline constexpr int extended_attribute_length = 1;  // 9.4.2
inline constexpr int extent = 2;                     // 9.4.3, 32-bit in the table's byte order
inline constexpr int parent_number = 6;              // 9.4.4, 16-bit in the table's byte order
inline constexpr int identifier = 8;                 // 9.4.5
}  // namespace path_table_offset
static_assert(path_table_offset::extent + 4 == path_table_offset::parent_number);
static_assert(path_table_offset::parent_number + 2 == path_table_offset::identifier);

// Record length of a path table record with an identifier of n bytes.
constexpr uint32_t path_table_record_length(uint32_t n)
{
    return (path_table_offset::identifier + n + 1) & ~1u;
}
static_assert(path_table_record_length(1) == 10);  // the root's record

// Writes bytes 0..32+n of the record of entry e in the tree; the pad byte is
// left as the destination holds it, so the destination must be zero-filled.
// Returns the position after the record.
uint8_t* make_directory_record(uint8_t* destination, const SourceEntry* e, int tree);

void write_directories(int tree);
void write_path_table(int tree, bool big_endian);
