#include "mastering/descriptors.h"

#include <cstring>

#include "platform/endian.h"

namespace {

void put_standard_identifier(uint8_t* descriptor, uint8_t type)
{
    descriptor[descriptor_offset::type] = type;
    std::memcpy(descriptor + descriptor_offset::standard_identifier, standard_identifier_text, 5);
    descriptor[descriptor_offset::version] = 1;
}

}  // namespace

void init_image_settings(ImageSettings& settings)
{
    settings = ImageSettings{};
    VolumeDescriptorSet& volume_descriptors = settings.descriptors;
    uint8_t* boot_catalog = settings.boot_catalog;
    // Primary volume descriptor, ECMA-119 8.4.
    uint8_t* primary = volume_descriptors.primary;
    std::memset(primary, 0, sector_size);
    put_standard_identifier(primary, descriptor_type::primary);
    put_both16(primary + descriptor_offset::volume_set_size, 1);
    put_both16(primary + descriptor_offset::volume_sequence_number, 1);
    put_both16(primary + descriptor_offset::logical_block_size, sector_size);
    primary[descriptor_offset::file_structure_version] = 1;

    // Boot record, ECMA-119 8.2 with the El Torito boot system identifier;
    // the identifier is followed by zero bytes, not spaces.
    uint8_t* boot = volume_descriptors.boot_record;
    std::memset(boot, 0, sector_size);
    put_standard_identifier(boot, descriptor_type::boot_record);
    std::memcpy(boot + descriptor_offset::boot_system_id, el_torito_system_id, sizeof el_torito_system_id - 1);

    // Joliet supplementary volume descriptor, ECMA-119 8.5: the primary's
    // template with its own type and the UCS-2 level 1 escape sequence.
    uint8_t* joliet = volume_descriptors.supplementary;
    std::memcpy(joliet, primary, sector_size);
    joliet[descriptor_offset::type] = descriptor_type::supplementary;
    std::memcpy(joliet + descriptor_offset::escape_sequences, joliet_escape_sequence, sizeof joliet_escape_sequence);

    // Volume descriptor set terminator, ECMA-119 8.3.
    uint8_t* terminator = volume_descriptors.terminator;
    std::memset(terminator, 0, sector_size);
    put_standard_identifier(terminator, descriptor_type::terminator);

    // Boot catalog: validation entry header and key bytes, and an initial
    // entry marked bootable (El Torito 2.1, 2.2).
    std::memset(boot_catalog, 0, sector_size);
    boot_catalog[catalog_offset::header_id] = catalog_byte::header_id;
    boot_catalog[catalog_offset::key] = catalog_byte::key_first;
    boot_catalog[catalog_offset::key + 1] = catalog_byte::key_second;
    boot_catalog[catalog_offset::boot_indicator] = catalog_byte::bootable;
}
