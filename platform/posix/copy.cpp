#include <cerrno>
#include <csetjmp>
#include <csignal>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#ifdef __linux__
#include <sys/vfs.h>
#endif
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

bool reserve_space(File& file, uint64_t n)
{
#ifdef __linux__
    // Space of tmpfs is memory: reserving it fills every page ahead of the
    // write that fills it again.
    constexpr unsigned long tmpfs_magic = 0x01021994UL;
    struct statfs fs {};
    if (!file.valid() || n == 0 || fstatfs(int(file.handle()), &fs) != 0 ||
        static_cast<unsigned long>(fs.f_type) == tmpfs_magic)
        return false;
    return fallocate(int(file.handle()), FALLOC_FL_KEEP_SIZE, 0, off_t(n)) == 0;
#else
    (void)file;
    (void)n;
    return false;
#endif
}

void release_space_past_position(File& file)
{
    if (!file.valid())
        return;
    // A truncation to the size the file already has still frees the blocks
    // set aside past it.
    const off_t at = lseek(int(file.handle()), 0, SEEK_CUR);
    if (at >= 0)
        (void)ftruncate(int(file.handle()), at);
}

namespace {

// A mapped piece in use. A page of it past the end of the file (another
// program cut the file short) or one the disk cannot read raises SIGBUS on
// the first touch; the handler then goes back to the recovery point set just
// before the piece was handed over, where the mapping is let go as usual.
// Only async-signal-safe calls run in the handler.
volatile sig_atomic_t piece_armed = 0;
const uint8_t* piece_begin = nullptr;
const uint8_t* piece_end = nullptr;
sigjmp_buf piece_recovery;
struct sigaction action_before;

void on_bus_error(int, siginfo_t* info, void*)
{
    const auto* at = static_cast<const uint8_t*>(info->si_addr);
    if (piece_armed && at >= piece_begin && at < piece_end) {
        piece_armed = 0;
        siglongjmp(piece_recovery, 1);
    }
    // A fault of someone else's: the handler in force before takes it when
    // the faulting access repeats.
    sigaction(SIGBUS, &action_before, nullptr);
}

enum class PieceEnd { more, stopped, faulted };

PieceEnd use_piece(const uint8_t* data, size_t n, MappedUse use, void* context)
{
    piece_begin = data;
    piece_end = data + n;
    if (sigsetjmp(piece_recovery, 1) != 0)
        return PieceEnd::faulted;
    piece_armed = 1;
    const bool more = use(data, n, context);
    piece_armed = 0;
    return more ? PieceEnd::more : PieceEnd::stopped;
}

}  // namespace

MappedRead read_mapped(File& file, uint64_t n, MappedUse use, void* context)
{
    struct stat st {};
    // A hand-over from inside another one would take its recovery point.
    if (piece_armed || !file.valid() || n == 0 || fstat(int(file.handle()), &st) != 0 || !S_ISREG(st.st_mode))
        return MappedRead::not_mapped;
    struct sigaction action {};
    action.sa_sigaction = on_bus_error;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGBUS, &action, &action_before) != 0)
        return MappedRead::not_mapped;
    MappedRead result = MappedRead::whole;
    for (uint64_t at = 0; at < n;) {
        const size_t piece = n - at < mapped_piece ? size_t(n - at) : mapped_piece;
        // No MAP_POPULATE: the first touch of a page maps the cached pages
        // around it in one fault, which costs less than entering every page
        // one by one beforehand.
        void* map = mmap(nullptr, piece, PROT_READ, MAP_SHARED, int(file.handle()), off_t(at));
        if (map == MAP_FAILED) {
            result = at == 0 ? MappedRead::not_mapped : MappedRead::cut_short;
            break;
        }
        const PieceEnd end = use_piece(static_cast<const uint8_t*>(map), piece, use, context);
        munmap(map, piece);
        if (end == PieceEnd::faulted)
            result = MappedRead::cut_short;
        if (end != PieceEnd::more)
            break;
        at += piece;
    }
    sigaction(SIGBUS, &action_before, nullptr);
    return result;
}

}  // namespace platform
