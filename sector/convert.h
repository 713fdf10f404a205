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

// Capacity of a converted-name buffer, terminator included.
inline constexpr size_t converted_name_capacity = 512;

// Converts one file. The direction is decided before anything is created: an
// input of neither form, or without one whole sector of its form, creates no
// output and leaves an existing file of that name untouched. Sizes are 64-bit;
// a tail shorter than one sector is not converted; its length goes to
// `dropped_tail` when one is given (0 when nothing was dropped). A `stop`
// flag, when given, is looked at after every batch of sectors. With
// `bad_edc`, a conversion from raw sectors also notes each sector whose Mode 1
// EDC (over bytes 0..2063) does not match; the bytes written are the same.
// With `read_problem`, a read that fails or comes up short (the file shrank)
// leaves why there; other failures leave the reason in the last error.
ConversionResult convert_image(const char* input_path, const char* output_path, uint64_t* dropped_tail = nullptr,
                               const volatile int32_t* stop = nullptr, SectorList* bad_edc = nullptr,
                               std::string* read_problem = nullptr);

// The output name of a conversion: the input path with ".iso" appended. False
// (and an empty `out`) when it would not fit 511 bytes.
bool make_converted_name(const char* input_path, char* out /* converted_name_capacity */);

// English text of a result, for messages.
const char* conversion_result_text(ConversionResult result);
