// Text operations of the mastering core: byte strings in the system's
// multibyte code page and big-endian UCS-2 strings for Joliet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Copies a zero-terminated byte string; returns a pointer to the copied terminator.
char* copy_string(char* destination, const char* source);

// Byte-wise comparison of two zero-terminated strings as unsigned values:
// 1, -1 or 0; a proper prefix compares lower.
int compare_bytes(const char* a, const char* b);

// The platform's ANSI uppercasing, in place.
void uppercase_in_place(char* text);

// Swaps the bytes of every unit of a zero-terminated UCS-2 string in place;
// returns the units including the terminator.
size_t swap_ucs2_bytes(uint16_t* text);

// Converts a narrow string from the code page of names to big-endian UCS-2 (each
// unit stored high byte first). Writes at most capacity units including the
// terminator; returns the units including the terminator.
size_t to_ucs2be(uint16_t* destination, const char* source, size_t capacity);

// Uppercases a big-endian UCS-2 string in place through the code page of names.
void uppercase_ucs2be(uint16_t* text, size_t capacity);

// compare_bytes over 16-bit units (compared as stored).
int compare_ucs2(const uint16_t* a, const uint16_t* b);

// Length of a zero-terminated UCS-2 string in units.
size_t ucs2_length(const uint16_t* text);

// A UCS-2 unit stored big-endian: the bytes of the unit as they lie in memory.
inline uint16_t ucs2be_unit(uint16_t host_value)
{
    const uint8_t bytes[2] = {uint8_t(host_value >> 8), uint8_t(host_value)};
    uint16_t stored;
    std::memcpy(&stored, bytes, 2);
    return stored;
}
inline uint16_t ucs2be_value(uint16_t stored)
{
    uint8_t bytes[2];
    std::memcpy(bytes, &stored, 2);
    return uint16_t(bytes[0] << 8 | bytes[1]);
}
