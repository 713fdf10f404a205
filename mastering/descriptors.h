// The volume descriptor set (ECMA-119 8), the El Torito boot catalog sector
// and the build settings. Filled with their templates once at start; the
// settings readers and the build write fields in place.
#pragma once

#include <cstdint>

#include "mastering/dates.h"
#include "format/ecma119.h"
#include "format/el_torito.h"

struct VolumeDescriptorSet {
    uint8_t primary[sector_size];        // ECMA-119 8.4
    uint8_t boot_record[sector_size];    // El Torito boot record, ECMA-119 8.2
    uint8_t supplementary[sector_size];  // Joliet, ECMA-119 8.5
    uint8_t terminator[sector_size];     // ECMA-119 8.3
};
static_assert(sizeof(VolumeDescriptorSet) == 4 * sector_size);  // written sector by sector

extern VolumeDescriptorSet volume_descriptors;
extern uint8_t boot_catalog[sector_size];

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
