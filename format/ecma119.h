// The records of an ISO 9660 volume (ECMA-119) and of its Joliet extension:
// the logical sector, the volume descriptors, directory records and path
// table records, as byte offsets beside the section that defines each field.
#pragma once

#include <cstdint>

#include "platform/cd_sector.h"

// The logical sector of the volume (ECMA-119 6.1.2): one Mode 1 sector's user
// data.
inline constexpr int sector_size = int(user_data_size);

// Sectors 0 to 15 are the system area (ECMA-119 6.2.1), all zero; the
// volume descriptor set starts at sector 16.
inline constexpr uint32_t system_area_sectors = 16;

// Volume descriptor types (ECMA-119 8.1.1).
namespace descriptor_type {
inline constexpr uint8_t boot_record = 0;
inline constexpr uint8_t primary = 1;
inline constexpr uint8_t supplementary = 2;
inline constexpr uint8_t terminator = 255;
}  // namespace descriptor_type

// 8.1.2: the standard identifier of every descriptor.
inline constexpr char standard_identifier_text[] = "CD001";  // 5 bytes, no terminator on disc

// Byte offsets of the descriptor fields (ECMA-119 8.4; the supplementary
// descriptor, 8.5, shares them and adds the escape sequences).
namespace descriptor_offset {
inline constexpr int type = 0;                 // 8.1.1
inline constexpr int standard_identifier = 1;  // 8.1.2, "CD001"
inline constexpr int version = 6;              // 8.1.3
inline constexpr int boot_system_id = 7;       // in the boot record, 8.2.4
inline constexpr int system_id = 8;
inline constexpr int volume_id = 40;
inline constexpr int volume_space_size = 80;
inline constexpr int escape_sequences = 88;  // in the supplementary, 8.5.6
inline constexpr int volume_set_size = 120;
inline constexpr int volume_sequence_number = 124;
inline constexpr int logical_block_size = 128;
inline constexpr int path_table_size = 132;
inline constexpr int type_l_path_table = 140;
inline constexpr int type_m_path_table = 148;
inline constexpr int root_directory_record = 156;
inline constexpr int volume_set_id = 190;
inline constexpr int publisher_id = 318;
inline constexpr int preparer_id = 446;
inline constexpr int application_id = 574;
inline constexpr int copyright_file_id = 702;
inline constexpr int abstract_file_id = 739;
inline constexpr int bibliographic_file_id = 776;
inline constexpr int creation_date = 813;
inline constexpr int modification_date = 830;
inline constexpr int expiration_date = 847;
inline constexpr int effective_date = 864;
inline constexpr int file_structure_version = 881;
inline constexpr int application_use = 883;
inline constexpr int boot_catalog_pointer = 71;  // in the boot record (El Torito 1.0, 2.0)
}  // namespace descriptor_offset
static_assert(descriptor_offset::root_directory_record + 34 == descriptor_offset::volume_set_id);
static_assert(descriptor_offset::effective_date + 17 == descriptor_offset::file_structure_version);
static_assert(descriptor_offset::application_use + 512 + 653 == sector_size);  // 8.4.33, 8.4.34

// The escape sequence "%/@" of the Joliet supplementary descriptor: UCS-2
// level 1.
inline constexpr uint8_t joliet_escape_sequence[3] = {0x25, 0x2F, 0x40};

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
static_assert(directory_record_offset::recording_date + 7 == directory_record_offset::file_flags);
static_assert(directory_record_offset::volume_sequence_number + 4 == directory_record_offset::identifier_length);

// Record length of a directory record with an identifier of n bytes.
constexpr uint32_t directory_record_length(uint32_t n)
{
    return (directory_record_offset::identifier + n + 1) & ~1u;
}

// File flags (ECMA-119 9.1.6).
namespace file_flag {
inline constexpr uint8_t existence = 0x01;  // "hidden"
inline constexpr uint8_t directory = 0x02;
inline constexpr uint8_t multi_extent = 0x80;  // the file goes on in the next record
}  // namespace file_flag

// A file of 4 GiB or more needs several records (ECMA-119 6.5.1, level 3),
// each with its own extent: all but the last of this length, the largest
// whole number of sectors a 32-bit data length holds.
inline constexpr uint64_t four_gib = uint64_t(1) << 32;
inline constexpr uint32_t multi_extent_piece = 0xFFFFF800u;
// The records of a file of `size` bytes: one below 4 GiB.
constexpr uint32_t file_record_count(uint64_t size)
{
    return size < four_gib ? 1 : uint32_t((size + multi_extent_piece - 1) / multi_extent_piece);
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
