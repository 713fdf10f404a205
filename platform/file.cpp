// The parts of the file handle that do not depend on the operating system.
#include "platform/platform.h"

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

}  // namespace platform
