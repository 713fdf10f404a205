// The volume descriptor set (ECMA-119 8), the El Torito boot catalog sector
// and the build settings. Filled with their templates once at start; the
// settings readers and the build write fields in place.
#pragma once

#include <cstdint>

#include "mastering/dates.h"

inline constexpr int sector_size = 2048;

struct VolumeDescriptorSet {
    uint8_t primary[sector_size];        // ECMA-119 8.4
    uint8_t boot_record[sector_size];    // El Torito boot record, ECMA-119 8.2
    uint8_t supplementary[sector_size];  // Joliet, ECMA-119 8.5
    uint8_t terminator[sector_size];     // ECMA-119 8.3
};

extern VolumeDescriptorSet volume_descriptors;
extern uint8_t boot_catalog[sector_size];

// Byte offsets of the descriptor fields (ECMA-119 8.4).
namespace descriptor_offset {
inline constexpr int system_id = 8;
inline constexpr int volume_id = 40;
inline constexpr int escape_sequences = 88;
inline constexpr int volume_space_size = 80;
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
inline constexpr int boot_catalog_pointer = 71;  // in the boot record
}  // namespace descriptor_offset

// Byte offsets in the boot catalog sector (El Torito 2.1, 2.2).
namespace catalog_offset {
inline constexpr int platform_id = 1;
inline constexpr int id_string = 4;
inline constexpr int id_string_length = 24;
inline constexpr int checksum = 28;
inline constexpr int boot_indicator = 32;
inline constexpr int media_type = 33;
inline constexpr int load_segment = 34;
inline constexpr int system_type = 36;
inline constexpr int sector_count = 38;
inline constexpr int load_rba = 40;
}  // namespace catalog_offset

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
