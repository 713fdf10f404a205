#include "mastering/boot.h"

#include "mastering/descriptors.h"
#include "platform/endian.h"
#include "mastering/writer.h"
#include "shell/hooks.h"

uint16_t boot_catalog_checksum(const uint8_t* catalog)
{
    uint32_t sum = 0;
    for (int i = 0; i < catalog_entry_size; i += 2)
        if (i != catalog_offset::checksum)
            sum += get_le16(catalog + i);
    return uint16_t(0x10000 - (sum & 0xFFFF));
}

void write_boot_catalog()
{
    if (abort_requested)
        return;
    put_le16(boot_catalog + catalog_offset::checksum, 0);
    put_le16(boot_catalog + catalog_offset::checksum, boot_catalog_checksum(boot_catalog));
    write_sector(boot_catalog);
}

void write_boot_image()
{
    if (abort_requested)
        return;
    copy_file_sectors(boot_settings.boot_image_path, boot_settings.boot_image_size);
}
