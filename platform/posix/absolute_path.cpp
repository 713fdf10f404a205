#include <stdlib.h>
#include <unistd.h>

#include <cstddef>

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
    // Drop "." components and doubled separators. ".." is the file system's
    // own parent, as when the kernel resolves the path: behind a symbolic
    // link that is the parent of the link's target, not of the link. So the
    // part up to the last ".." is resolved by the file system, the rest kept.
    std::vector<std::string> parts;
    size_t last_parent = 0;
    size_t i = 0;
    while (i < text.size()) {
        size_t j = text.find('/', i);
        if (j == std::string::npos)
            j = text.size();
        std::string part = text.substr(i, j - i);
        if (!part.empty() && part != ".") {
            parts.push_back(part);
            if (part == "..")
                last_parent = parts.size();
        }
        i = j + 1;
    }
    if (last_parent > 0) {
        std::string prefix;
        for (size_t k = 0; k < last_parent; ++k)
            prefix += "/" + parts[k];
        char* resolved = realpath(text_to_system(prefix.c_str()).c_str(), nullptr);
        if (!resolved)
            return false;
        std::string base = text_from_system(resolved);
        free(resolved);
        std::vector<std::string> resolved_parts;
        for (size_t start = 0; start < base.size();) {
            size_t end = base.find('/', start);
            if (end == std::string::npos)
                end = base.size();
            if (end > start)
                resolved_parts.push_back(base.substr(start, end - start));
            start = end + 1;
        }
        resolved_parts.insert(resolved_parts.end(), parts.begin() + std::ptrdiff_t(last_parent), parts.end());
        parts.swap(resolved_parts);
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
