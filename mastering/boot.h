// El Torito boot catalog and boot image output.
#pragma once

#include <cstdint>

// The validation entry checksum (El Torito 2.1): the sixteen little-endian
// words of bytes 0..31 then add up to 0.
uint16_t boot_catalog_checksum(const uint8_t* catalog);

void write_boot_catalog();
void write_boot_image();
