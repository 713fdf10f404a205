// Conversion of whole image files between 2048-byte logical sectors and
// 2352-byte raw Mode 1 sectors. The direction follows the file's first bytes:
// 00 FF FF FF (a sync pattern) is a raw image, 00 00 00 00 (the zero system
// area of ISO 9660) a plain one; anything else is left alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "sector/check.h"

enum class ConversionResult {
    raw_to_plain,
    plain_to_raw,
    unknown_form,
    too_short,
    cannot_open_input,
    cannot_create_output,
    output_name_too_long,
    read_failed,
    write_failed,
    output_is_input,
    stopped,  // the stop flag was raised; the output is incomplete
};

// The conversion that a file's first bytes and size decide, before anything
// is opened for writing: raw_to_plain, plain_to_raw, unknown_form or
// too_short (less than four bytes, or not one whole sector of its form).
// `head` holds the file's first min(head_size, 4) bytes.
ConversionResult conversion_direction(const uint8_t* head, size_t head_size, uint64_t file_size);

// The direction of a checked conversion (the command line's): raw_to_plain
// when looks_raw tells an image of 2352-byte sectors, even with its first
// sector damaged; otherwise as conversion_direction, but a file that only
// starts like a sync pattern is of unknown form.
ConversionResult checked_conversion_direction(const uint8_t* head, size_t head_size, uint64_t file_size);

// What a checked conversion from raw sectors found, by sector number. The
// image is one data track of the mode most of its first sectors carry.
struct RawConversionCheck {
    TrackMode mode = TrackMode::mode1;
    // The EDC of the sector's form does not match: its user data as it stands.
    SectorList bad_edc;
    // Sync pattern, header address or mode byte not those of a data sector of
    // this image at that place (a zeroed, foreign or audio sector): bytes
    // 16..2063 (24..2071 in a Mode 2 image) as they stand.
    SectorList foreign;
    // Mode 2 Form 2 or formless: more than 2048 bytes of user data, of which
    // the first 2048 (24..2071) are taken.
    SectorList no_user_data;
    bool clean() const { return bad_edc.count == 0 && foreign.count == 0 && no_user_data.count == 0; }
};

// Capacity of a converted-name buffer, terminator included.
inline constexpr size_t converted_name_capacity = 512;

// Converts one file. The direction is decided before anything is created: an
// input of neither form, or without one whole sector of its form, creates no
// output and leaves an existing file of that name untouched. Sizes are 64-bit;
// a tail shorter than one sector is not converted; its length goes to
// `dropped_tail` when one is given (0 when nothing was dropped). A `stop`
// flag, when given, is looked at after every batch of sectors. Without
// `check`, the direction is the one conversion_direction gives and a raw
// sector's bytes 16..2063 are taken whatever it holds. With `check`, the
// direction is checked_conversion_direction's, and every raw sector is
// checked on the way (sync, header address, mode byte, the EDC of its form)
// and the user data of a Mode 2 Form 1 sector taken from byte 24.
// With `read_problem`, a read that fails or comes up short (the file shrank)
// leaves why there; other failures leave the reason in the last error.
[[nodiscard]] ConversionResult convert_image(const char* input_path, const char* output_path,
                                             uint64_t* dropped_tail = nullptr, const volatile int32_t* stop = nullptr,
                                             RawConversionCheck* check = nullptr, std::string* read_problem = nullptr);

// The output name of a conversion: the input path with ".iso" appended. False
// (and an empty `out`) when it would not fit 511 bytes.
[[nodiscard]] bool make_converted_name(const char* input_path, char* out /* converted_name_capacity */);

// English text of a result, for messages.
const char* conversion_result_text(ConversionResult result);
