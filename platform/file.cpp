// The parts of the file handle that do not depend on the operating system.
#include "platform/platform.h"

#include <cstring>

namespace platform {

File& File::operator=(File&& other) noexcept
{
    if (this != &other) {
        close();
        handle_ = other.handle_;
        other.handle_ = invalid;
    }
    return *this;
}

bool list_directory_then_find(const char* path, std::vector<FoundName>& items, Links links)
{
    items.clear();
    if (!list_directory(path, [&items](const char* name) {
            if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0)
                items.push_back({name, false, {}});
        }))
        return false;
    std::string child = path;
    child += path_separator;
    const size_t folder_length = child.size();
    for (FoundName& item : items) {
        child.resize(folder_length);
        child += item.name;
        item.found = find_file(child.c_str(), item.info, links);
    }
    return true;
}

// The loop over read_some is the same on every system.
int64_t read_full(File& file, void* data, size_t n)
{
    auto* bytes = static_cast<unsigned char*>(data);
    size_t done = 0;
    while (done < n) {
        const int64_t got = read_some(file, bytes + done, n - done);
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += static_cast<size_t>(got);
    }
    return static_cast<int64_t>(done);
}

std::string short_read_text(int64_t got, uint64_t wanted)
{
    if (got < 0)
        return last_error_text();
    return "read " + std::to_string(got) + " of " + std::to_string(wanted) + " bytes: the file ended early";
}

}  // namespace platform
