#include "platform/platform.h"

namespace platform {

// The program reads and writes file data itself on Win32.
int64_t copy_in_system(File&, File&, uint64_t)
{
    return copy_unsupported;
}

// Files find their room as they are written on Win32.
bool reserve_space(File&, uint64_t)
{
    return false;
}

void release_space_past_position(File&) {}

MappedRead read_mapped(File&, uint64_t, MappedUse, void*)
{
    return MappedRead::not_mapped;
}

}  // namespace platform
