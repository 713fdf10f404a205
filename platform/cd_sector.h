// The two sector forms of a CD-ROM (ECMA-130): the user data of one Mode 1
// sector, which is one logical sector of ISO 9660 (ECMA-119 6.1.2) and one
// sector of a plain image; and the whole raw sector as a drive's READ CD
// returns it and as a raw image holds it: sync, header, user data, EDC and ECC.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t user_data_size = 2048;
inline constexpr size_t raw_sector_size = 2352;

// The sector form of an image file: raw 2352-byte sectors when it starts with a
// sync pattern, plain 2048-byte sectors otherwise; unknown when neither fits.
enum class ImageForm : uint8_t { plain, raw, unknown };
