#include <unistd.h>

#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

bool absolute_path(const char* path, std::string& full)
{
    std::string text = path;
    if (text.empty() || text[0] != '/') {
        std::vector<char> cwd(4096);
        if (!getcwd(cwd.data(), cwd.size()))
            return false;
        std::string joined = text_from_system(cwd.data());
        joined.push_back('/');
        joined.append(path);
        text.swap(joined);
    }
    // Drop "." components and doubled separators; ".." climbs one level.
    std::vector<std::string> parts;
    size_t i = 0;
    while (i < text.size()) {
        size_t j = text.find('/', i);
        if (j == std::string::npos)
            j = text.size();
        std::string part = text.substr(i, j - i);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = j + 1;
    }
    full.clear();
    for (const std::string& part : parts) {
        full.push_back('/');
        full.append(part);
    }
    if (full.empty())
        full.push_back('/');
    return true;
}

}  // namespace platform
