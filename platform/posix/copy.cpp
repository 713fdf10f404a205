#include <cerrno>

#include <sys/types.h>
#include <unistd.h>

#include "platform/platform.h"

namespace platform {

int64_t copy_in_system(File& from, File& to, uint64_t n)
{
#ifdef __linux__
    if (!from.valid() || !to.valid()) {
        errno = EBADF;
        return -1;
    }
    // The system copies page by page; where the two positions fall at different
    // places within a page it copies slower than a read and a write would.
    static const off_t page = off_t(sysconf(_SC_PAGESIZE) > 0 ? sysconf(_SC_PAGESIZE) : 4096);
    const off_t source_at = lseek(int(from.handle()), 0, SEEK_CUR);
    const off_t target_at = lseek(int(to.handle()), 0, SEEK_CUR);
    if (source_at < 0 || target_at < 0 || source_at % page != target_at % page)
        return copy_unsupported;
    // One call may move less than asked without being at the end; 0 is the end.
    constexpr uint64_t most_per_call = uint64_t(1) << 30;
    uint64_t done = 0;
    while (done < n) {
        const uint64_t want = n - done < most_per_call ? n - done : most_per_call;
        const ssize_t got = copy_file_range(int(from.handle()), nullptr, int(to.handle()), nullptr, size_t(want), 0);
        if (got > 0) {
            done += uint64_t(got);
            continue;
        }
        if (got == 0)
            break;
        if (errno == EINTR)
            continue;
        if (done > 0)
            break;  // the error comes back on the next call
        // Older kernels refuse copies across file systems, some file systems and
        // special files refuse them altogether.
        if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)
            return copy_unsupported;
        return -1;
    }
    return int64_t(done);
#else
    (void)from;
    (void)to;
    (void)n;
    return copy_unsupported;
#endif
}

}  // namespace platform
