// What both implementations of platform/folders.h share.
#include "platform/folders.h"

#include <utility>

namespace platform {

Folder::Folder(Folder&& other) noexcept : handle_(other.handle_), path_(std::move(other.path_))
{
    other.handle_ = File::invalid;
}

Folder& Folder::operator=(Folder&& other) noexcept
{
    if (this != &other) {
        close();
        handle_ = other.handle_;
        path_ = std::move(other.path_);
        other.handle_ = File::invalid;
    }
    return *this;
}

}  // namespace platform
