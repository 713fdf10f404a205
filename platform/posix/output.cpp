#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"

namespace platform {

File create_for_writing_once(const char* path)
{
    const int fd = open(text_to_system(path).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return File();
    File file(fd);
    struct stat st {};
    if (fstat(fd, &st) != 0)
        return File();
    // Devices and pipes are written as they are, as with O_TRUNC.
    if (S_ISREG(st.st_mode) && st.st_size > 0 && ftruncate(fd, 0) != 0)
        return File();
    return file;
}

void raise_sigterm_when_console_ends() {}

bool is_terminal(std::FILE* stream)
{
    return isatty(fileno(stream)) != 0;
}

void write_bytes_unchanged(std::FILE*) {}

}  // namespace platform
