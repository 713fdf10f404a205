// The raw sector of a CD-ROM (ECMA-130 14, and the Mode 2 forms of CD-ROM XA):
// the byte positions and fixed bytes that the encoder, the checks, the repair,
// the conversion and the image reader share. The two sector sizes themselves
// are in platform/cd_sector.h, which the drive commands use too.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/cd_sector.h"

// ECMA-130 14.1: the sync pattern, 00h, ten FFh, 00h.
inline constexpr uint8_t sync_pattern[12] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
// ECMA-130 14.2: the header, three BCD address bytes and the mode byte.
inline constexpr size_t sector_header_offset = sizeof sync_pattern;
inline constexpr size_t sector_mode_offset = sector_header_offset + 3;
// Everything behind sync and header: Mode 2 user data (ECMA-130 14.4).
inline constexpr size_t sector_data_offset = sector_header_offset + 4;
inline constexpr size_t mode2_data_size = raw_sector_size - sector_data_offset;
static_assert(mode2_data_size == 2336);

namespace mode1 {
// ECMA-130 14.3: user data, EDC over bytes 0..2063, eight zero bytes, P and Q
// parity.
inline constexpr size_t header_offset = sector_header_offset, data_offset = sector_data_offset, edc_offset = 2064,
                        zero_offset = 2068, p_offset = 2076, q_offset = 2248;
static_assert(data_offset + user_data_size == edc_offset);
}  // namespace mode1

namespace mode2 {
// CD-ROM XA: the subheader (file, channel, submode, coding) twice at 16 and
// 20; Form 1 user data at 24 with its EDC at 2072 over 16..2071; Form 2 EDC at
// 2348 over 16..2347 (zero when none was recorded).
inline constexpr size_t subheader_offset = sector_data_offset;
inline constexpr size_t submode_offset = subheader_offset + 2;
inline constexpr size_t form1_data_offset = subheader_offset + 8;
inline constexpr size_t form1_edc_offset = form1_data_offset + user_data_size;
inline constexpr size_t form2_edc_offset = raw_sector_size - 4;
inline constexpr uint8_t submode_form2 = 0x20;
static_assert(form1_edc_offset == 2072 && form2_edc_offset == 2348);
}  // namespace mode2
