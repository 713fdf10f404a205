#include "platform/platform.h"

namespace platform {

File create_for_writing_once(const char* path)
{
    return create_for_writing(path);
}

}  // namespace platform
