// Registration lines of any shape: the column readers never read beyond the
// line and the path they give lies inside it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "shell/registration.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exact-size heap copy, so that any read past the terminator is caught.
    std::vector<char> line(data, data + size);
    line.push_back(0);
    const char* text = line.data();
    (void)line_entry_count(text);
    (void)line_sectors(text);
    const char* path = line_path(text);
    if (path < text || path > text + std::strlen(text))
        __builtin_trap();
    return 0;
}
