// The System Use Sharing Protocol (SUSP 1.10/1.12) and the Rock Ridge
// Interchange Protocol (RRIP 1.10, and what a reader meets of 1.12): the
// fields a directory record carries in its System Use area (ECMA-119 9.1.13)
// after its identifier and pad byte. Every field starts with a two-letter
// signature, its length in bytes and its version.
#pragma once

#include <cstddef>
#include <cstdint>

namespace susp {
inline constexpr int signature = 0;  // two bytes
inline constexpr int length = 2;
inline constexpr int version = 3;
inline constexpr int data = 4;
inline constexpr size_t header_length = 4;

// SUSP 5.3 SP: in the System Use area of the root's "." record, first.
inline constexpr size_t sp_length = 7;
inline constexpr uint8_t sp_check_first = 0xBE, sp_check_second = 0xEF;
// SUSP 5.1 CE: where the System Use area goes on (block, offset, length,
// each both-endian 32-bit). A continuation area never crosses a block.
inline constexpr size_t ce_length = 28;
inline constexpr int ce_block = 4, ce_offset = 12, ce_area_length = 20;
// SUSP 5.5 ER: the extension in use; identifier, descriptor and source
// lengths at 4, 5, 6, the extension's version at 7, the texts from 8.
inline constexpr size_t er_header_length = 8;
// SUSP 5.4 ST: the end of the System Use entries of an area.
inline constexpr size_t st_length = 4;
// Linux follows at most this many continuation areas of one record.
inline constexpr int max_continuations = 32;
}  // namespace susp

namespace rrip {
// RRIP 1.10 4.1.1 PX: mode, links, owner, group (both-endian 32-bit each);
// RRIP 1.12 adds the file serial number (44 bytes).
inline constexpr size_t px_length = 36;
inline constexpr size_t px_length_1_12 = 44;
inline constexpr int px_mode = 4, px_links = 12, px_owner = 20, px_group = 28;
// 4.1.2 PN: the device number's high and low 32 bits.
inline constexpr size_t pn_length = 20;
inline constexpr int pn_high = 4, pn_low = 12;
// 4.1.3 SL: flags (bit 0: the link goes on in the next SL), then component
// records: flags, length, content. Component flags: bit 0 the component
// goes on in the next record, bit 1 ".", bit 2 "..", bit 3 the root.
inline constexpr int sl_flags = 4;
inline constexpr size_t sl_header_length = 5;
inline constexpr uint8_t sl_continue = 0x01;
inline constexpr uint8_t component_continue = 0x01, component_current = 0x02, component_parent = 0x04,
                         component_root = 0x08;
// 4.1.4 NM: flags (bit 0: the name goes on in the next NM; bit 1 ".",
// bit 2 ".."), then the name's bytes.
inline constexpr int nm_flags = 4;
inline constexpr size_t nm_header_length = 5;
inline constexpr uint8_t nm_continue = 0x01;
// 4.1.6 TF: flags, then one time per flag set, in the order of the bits:
// creation, modification, access, attributes (7-byte form unless bit 7).
inline constexpr int tf_flags = 4;
inline constexpr uint8_t tf_creation = 0x01, tf_modify = 0x02, tf_access = 0x04, tf_attributes = 0x08,
                         tf_long_form = 0x80;
// 4.1.5 CL, PL, RE: relocated directories. CL (in the record that stands in
// a relocated directory's place) and PL (in its ".." record) hold a
// directory's location, both-endian 32-bit; RE marks its own record.
inline constexpr size_t cl_length = 12, pl_length = 12, re_length = 4;
inline constexpr int location = 4;
// ISO 9660 holds directories at most this many levels deep (the root is
// level 1, ECMA-119 6.8.2.1): deeper ones are relocated.
inline constexpr uint32_t deepest_level = 8;

// The ER field's texts of RRIP 1.10, and the identifiers of RRIP 1.12.
inline constexpr char identifier_1991a[] = "RRIP_1991A";
inline constexpr char identifier_p1282[] = "IEEE_P1282";
inline constexpr char identifier_1282[] = "IEEE_1282";
inline constexpr char descriptor_1991a[] =
    "THE ROCK RIDGE INTERCHANGE PROTOCOL PROVIDES SUPPORT FOR POSIX FILE SYSTEM SEMANTICS";
inline constexpr char source_1991a[] =
    "PLEASE CONTACT DISC PUBLISHER FOR SPECIFICATION SOURCE.  SEE PUBLISHER IDENTIFIER IN PRIMARY VOLUME "
    "DESCRIPTOR FOR CONTACT INFORMATION.";

// POSIX file types in PX's mode (the values of st_mode).
inline constexpr uint32_t type_mask = 0170000, type_socket = 0140000, type_link = 0120000, type_file = 0100000,
                          type_block = 0060000, type_directory = 0040000, type_character = 0020000, type_fifo = 0010000;
}  // namespace rrip
