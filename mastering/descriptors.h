// The volume descriptor set (ECMA-119 8), the El Torito boot catalog sector
// and the settings of one build: made from their templates for each build,
// the settings readers and the build write fields in place.
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

// What the three settings windows decide for one build.
struct ImageSettings {
    VolumeDescriptorSet descriptors;
    uint8_t boot_catalog[sector_size];
    bool joliet = false;
    BootSettings boot;
    DirRecordSettings dir_record;
};

// The four descriptors and the boot catalog as their templates hold them,
// before any setting is read into them.
void init_image_settings(ImageSettings& settings);
