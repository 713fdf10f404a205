// ANSI text services through user32 and the code-page functions of kernel32.
// Names come from the ANSI entry points, so the UCS-2 conversions for Joliet
// use the ANSI code page as well (the same as the OEM one on code page 932
// systems).
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {
namespace {

bool high_surrogate(uint16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

}  // namespace

// Every step asks the system.
bool ascii_stands_alone = false;

const char* char_next_multibyte(const char* p)
{
    return CharNextA(p);
}

void uppercase_ansi(char* text)
{
    CharUpperA(text);
}

size_t oem_to_ucs2(const char* text, uint16_t* out, size_t capacity)
{
    if (capacity == 0)
        return 0;
    // Convert in full, then keep what fits: a short buffer truncates the
    // text instead of failing the whole conversion.
    const int needed = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    size_t units = 0;
    if (needed > 1) {
        std::vector<wchar_t> wide(static_cast<size_t>(needed));
        const int made = MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), needed);
        if (made > 1) {
            units = static_cast<size_t>(made) - 1;
            if (units > capacity - 1) {
                units = capacity - 1;
                // Never end on the first half of a surrogate pair.
                if (units > 0 && high_surrogate(static_cast<uint16_t>(wide[units - 1])))
                    --units;
            }
            for (size_t i = 0; i < units; ++i)
                out[i] = static_cast<uint16_t>(wide[i]);
        }
    }
    out[units] = 0;
    return units + 1;
}

size_t ucs2_to_oem(const uint16_t* text, char* out, size_t capacity)
{
    if (capacity == 0)
        return 0;
    std::vector<wchar_t> wide;
    for (const uint16_t* p = text; *p != 0; ++p)
        wide.push_back(static_cast<wchar_t>(*p));
    const size_t room = capacity - 1;
    size_t bytes = 0;
    if (!wide.empty()) {
        const int length = static_cast<int>(wide.size());
        const int needed = WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
        if (needed > 0 && static_cast<size_t>(needed) <= room) {
            bytes =
                static_cast<size_t>(WideCharToMultiByte(CP_ACP, 0, wide.data(), length, out, needed, nullptr, nullptr));
        } else if (needed > 0) {
            // Too long: convert character by character and stop before the
            // first one that no longer fits, so no double-byte character is
            // cut in half.
            for (size_t i = 0; i < wide.size();) {
                const size_t step = high_surrogate(static_cast<uint16_t>(wide[i])) && i + 1 < wide.size() ? 2 : 1;
                char piece[16];
                const int made = WideCharToMultiByte(CP_ACP, 0, wide.data() + i, static_cast<int>(step), piece,
                                                     sizeof piece, nullptr, nullptr);
                if (made <= 0 || bytes + static_cast<size_t>(made) > room)
                    break;
                for (int k = 0; k < made; ++k)
                    out[bytes++] = piece[k];
                i += step;
            }
        }
    }
    out[bytes] = '\0';
    return bytes + 1;
}

bool select_code_page(const char* name)
{
    return name != nullptr && name[0] == '\0';
}

const char* code_page_name()
{
    static char name[16];
    snprintf(name, sizeof name, "CP%u", static_cast<unsigned>(GetACP()));
    return name;
}

}  // namespace platform
