#include "mastering/text.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/platform.h"

char* copy_string(char* destination, const char* source)
{
    while ((*destination = *source) != 0) {
        ++destination;
        ++source;
    }
    return destination;
}

int compare_bytes(const char* a, const char* b)
{
    const auto* x = reinterpret_cast<const unsigned char*>(a);
    const auto* y = reinterpret_cast<const unsigned char*>(b);
    while (*x == *y && *x != 0) {
        ++x;
        ++y;
    }
    if (*x > *y)
        return 1;
    if (*x < *y)
        return -1;
    return 0;
}

void uppercase_in_place(char* text)
{
    platform::uppercase_ansi(text);
}

size_t swap_ucs2_bytes(uint16_t* text)
{
    size_t units = 0;
    for (;;) {
        uint16_t u = text[units++];
        if (u == 0)
            return units;
        text[units - 1] = uint16_t(u << 8 | u >> 8);
    }
}

size_t ucs2_length(const uint16_t* text)
{
    size_t n = 0;
    while (text[n] != 0)
        ++n;
    return n;
}

size_t to_ucs2be(uint16_t* destination, const char* source, size_t capacity)
{
    if (capacity == 0)
        return 0;
    platform::oem_to_ucs2(source, destination, capacity);
    // Host order to stored big-endian order, unit by unit.
    size_t units = 0;
    for (;;) {
        uint16_t u = destination[units++];
        destination[units - 1] = ucs2be_unit(u);
        if (u == 0)
            return units;
    }
}

namespace {

// The text through the code page and back, uppercased on the way when asked.
std::vector<uint16_t> through_code_page(const uint16_t* host, size_t n, bool uppercase)
{
    std::vector<uint16_t> piece(host, host + n);
    piece.push_back(0);
    // Every unit may take up to four bytes in the code page.
    std::vector<char> narrow(4 * n + 4);
    platform::ucs2_to_oem(piece.data(), narrow.data(), narrow.size());
    if (uppercase)
        uppercase_in_place(narrow.data());
    std::vector<uint16_t> back(4 * n + 4);
    size_t units = platform::oem_to_ucs2(narrow.data(), back.data(), back.size());
    back.resize(units - 1);
    return back;
}

}  // namespace

void uppercase_ucs2be(uint16_t* text, size_t capacity)
{
    size_t n = ucs2_length(text);
    std::vector<uint16_t> host(n + 1);
    for (size_t i = 0; i < n; ++i)
        host[i] = ucs2be_value(text[i]);
    host[n] = 0;
    if (through_code_page(host.data(), n, false) == std::vector<uint16_t>(host.begin(), host.begin() + long(n))) {
        std::vector<char> narrow(4 * n + 4);
        platform::ucs2_to_oem(host.data(), narrow.data(), narrow.size());
        uppercase_in_place(narrow.data());
        to_ucs2be(text, narrow.data(), capacity);
        return;
    }
    // Characters the code page cannot hold would all come back as the same
    // '?', and different names would seem equal: each character is
    // uppercased on its own, and one that does not survive the trip is kept.
    std::vector<uint16_t> out;
    for (size_t i = 0; i < n;) {
        size_t step = host[i] >= 0xD800 && host[i] <= 0xDBFF && i + 1 < n ? 2 : 1;
        std::vector<uint16_t> original(host.begin() + long(i), host.begin() + long(i + step));
        if (through_code_page(&host[i], step, false) == original) {
            std::vector<uint16_t> upper = through_code_page(&host[i], step, true);
            out.insert(out.end(), upper.begin(), upper.end());
        } else {
            out.insert(out.end(), original.begin(), original.end());
        }
        i += step;
    }
    size_t units = capacity == 0 ? 0 : std::min(out.size(), capacity - 1);
    for (size_t i = 0; i < units; ++i)
        text[i] = ucs2be_unit(out[i]);
    if (capacity > 0)
        text[units] = 0;
}

int compare_ucs2(const uint16_t* a, const uint16_t* b)
{
    while (*a == *b && *a != 0) {
        ++a;
        ++b;
    }
    if (*a > *b)
        return 1;
    if (*a < *b)
        return -1;
    return 0;
}
