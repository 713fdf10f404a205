#include "mastering/descriptors.h"

#include <cstring>

#include "platform/endian.h"

VolumeDescriptorSet volume_descriptors;
uint8_t boot_catalog[sector_size];
bool joliet_enabled = false;
BootSettings boot_settings;
DirRecordSettings dir_record_settings;

namespace {

void put_standard_identifier(uint8_t* descriptor, uint8_t type)
{
    descriptor[0] = type;
    std::memcpy(descriptor + 1, "CD001", 5);
    descriptor[6] = 1;  // volume descriptor version
}

}  // namespace

void init_volume_descriptors()
{
    // Primary volume descriptor, ECMA-119 8.4.
    uint8_t* primary = volume_descriptors.primary;
    std::memset(primary, 0, sector_size);
    put_standard_identifier(primary, 1);
    put_both16(primary + 120, 1);     // volume set size
    put_both16(primary + 124, 1);     // volume sequence number
    put_both16(primary + 128, 2048);  // logical block size
    primary[881] = 1;                 // file structure version

    // Boot record, ECMA-119 8.2 with the El Torito boot system identifier;
    // the identifier is followed by zero bytes, not spaces.
    uint8_t* boot = volume_descriptors.boot_record;
    std::memset(boot, 0, sector_size);
    put_standard_identifier(boot, 0);
    std::memcpy(boot + 7, "EL TORITO SPECIFICATION", 23);

    // Joliet supplementary volume descriptor, ECMA-119 8.5: the primary's
    // template with its own type and the UCS-2 level 1 escape sequence.
    uint8_t* joliet = volume_descriptors.supplementary;
    std::memcpy(joliet, primary, sector_size);
    joliet[0] = 2;
    joliet[88] = 0x25;
    joliet[89] = 0x2F;
    joliet[90] = 0x40;

    // Volume descriptor set terminator, ECMA-119 8.3.
    uint8_t* terminator = volume_descriptors.terminator;
    std::memset(terminator, 0, sector_size);
    put_standard_identifier(terminator, 255);

    // Boot catalog: validation entry header and key bytes, and an initial
    // entry marked bootable (El Torito 2.1, 2.2).
    std::memset(boot_catalog, 0, sector_size);
    boot_catalog[0] = 1;
    boot_catalog[30] = 0x55;
    boot_catalog[31] = 0xAA;
    boot_catalog[catalog_offset::boot_indicator] = 0x88;
}
