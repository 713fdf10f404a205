#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace platform {

bool absolute_path(const char* path, std::string& full)
{
    char buffer[1024];
    DWORD n = GetFullPathNameA(path, sizeof buffer, buffer, nullptr);
    if (n == 0 || n >= sizeof buffer)
        return false;
    full.assign(buffer, n);
    return true;
}

}  // namespace platform

namespace platform {

// The Win32 side uses the system's code pages for everything: nothing to convert.
std::string text_to_system(const char* text)
{
    return text ? text : "";
}
std::string text_from_system(const char* text)
{
    return text ? text : "";
}

}  // namespace platform
