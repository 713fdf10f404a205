// The volume descriptor set (ECMA-119 8), the El Torito boot catalog sector
// and the build settings. Filled with their templates once at start; the
// settings readers and the build write fields in place.
#pragma once

#include <cstdint>

#include "mastering/dates.h"
#include "platform/cd_sector.h"

// The logical sector of the volume: one Mode 1 sector's user data.
inline constexpr int sector_size = int(user_data_size);

struct VolumeDescriptorSet {
    uint8_t primary[sector_size];        // ECMA-119 8.4
    uint8_t boot_record[sector_size];    // El Torito boot record, ECMA-119 8.2
    uint8_t supplementary[sector_size];  // Joliet, ECMA-119 8.5
    uint8_t terminator[sector_size];     // ECMA-119 8.3
};
static_assert(sizeof(VolumeDescriptorSet) == 4 * sector_size);  // written sector by sector

extern VolumeDescriptorSet volume_descriptors;
extern uint8_t boot_catalog[sector_size];

// Volume descriptor types (ECMA-119 8.1.1).
namespace descriptor_type {
inline constexpr uint8_t boot_record = 0;
inline constexpr uint8_t primary = 1;
inline constexpr uint8_t supplementary = 2;
inline constexpr uint8_t terminator = 255;
}  // namespace descriptor_type

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
inline constexpr int boot_catalog_pointer = 71;  // in the boot record (El Torito)
}  // namespace descriptor_offset
static_assert(descriptor_offset::root_directory_record + 34 == descriptor_offset::volume_set_id);
static_assert(descriptor_offset::effective_date + 17 == descriptor_offset::file_structure_version);
static_assert(descriptor_offset::application_use + 512 + 653 == sector_size);  // 8.4.33, 8.4.34

// The escape sequence "%/@" of the Joliet supplementary descriptor: UCS-2
// level 1.
inline constexpr uint8_t joliet_escape_sequence[3] = {0x25, 0x2F, 0x40};

// Byte offsets in the boot catalog sector (El Torito 2.1, 2.2): the
// validation entry, then the initial entry, 32 bytes each.
namespace catalog_offset {
inline constexpr int header_id = 0;
inline constexpr int platform_id = 1;
inline constexpr int id_string = 4;
inline constexpr int id_string_length = 24;
inline constexpr int checksum = 28;
inline constexpr int key = 30;  // two bytes
inline constexpr int boot_indicator = 32;
inline constexpr int media_type = 33;
inline constexpr int load_segment = 34;
inline constexpr int system_type = 36;
inline constexpr int sector_count = 38;
inline constexpr int load_rba = 40;
}  // namespace catalog_offset
inline constexpr int catalog_entry_size = 32;
static_assert(catalog_offset::key + 2 == catalog_entry_size);
static_assert(catalog_offset::boot_indicator == catalog_entry_size);
static_assert(catalog_offset::load_rba + 4 + 20 == 2 * catalog_entry_size);

// Fixed bytes of the boot catalog (El Torito 2.1, 2.2).
namespace catalog_byte {
inline constexpr uint8_t header_id = 0x01;
inline constexpr uint8_t key_first = 0x55;
inline constexpr uint8_t key_second = 0xAA;
inline constexpr uint8_t bootable = 0x88;
}  // namespace catalog_byte

struct BootSettings {
    bool boot_enabled = false;
    char boot_image_path[512] = {};
    uint32_t boot_image_size = 0;
    uint32_t boot_image_sectors = 0;
    uint64_t boot_image_full_size = 0;  // the size as found, to refuse 4 GiB and more
    // The path field held more than 511 bytes; the build is refused rather
    // than made from a cut path.
    bool boot_image_path_too_long = false;
};

struct DirRecordSettings {
    bool use_recorded_date = false;
    RecordDate recorded_date = {};
};

extern bool joliet_enabled;
extern BootSettings boot_settings;
extern DirRecordSettings dir_record_settings;

// Fills the four descriptors and the boot catalog with their start-up
// templates. Called once at program start.
void init_volume_descriptors();
