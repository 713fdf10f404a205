// Files and folders on POSIX systems, reported in the shape the Win32 find
// functions give: attribute bits, 64-bit sizes and 1601-based file times.
#define _FILE_OFFSET_BITS 64

#include <dirent.h>
#include <stdlib.h>
#include <fcntl.h>
#include <locale.h>
#include <string.h>
#include <sys/stat.h>
#ifdef __linux__
#include <sys/vfs.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "platform/civil.h"
#include "platform/platform.h"

namespace platform {
namespace {

// Seconds and nanoseconds since 1970 as a file time, held to the range that
// the Win32 calendar functions accept (0 .. 2^63 - 1).
uint64_t file_time_from_unix(int64_t seconds, long nanoseconds)
{
    constexpr int64_t max_seconds =
        std::numeric_limits<int64_t>::max() / static_cast<int64_t>(detail::ticks_per_second) -
        detail::seconds_1601_to_1970 - 1;
    if (seconds < -detail::seconds_1601_to_1970)
        return 0;
    if (seconds > max_seconds)
        return static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    const uint64_t since_1601 = static_cast<uint64_t>(seconds + detail::seconds_1601_to_1970);
    return since_1601 * detail::ticks_per_second + static_cast<uint64_t>(nanoseconds) / 100;
}

bool leaf_is_hidden(const char* path)
{
    const char* slash = strrchr(path, '/');
    const char* leaf = slash != nullptr ? slash + 1 : path;
    // "." and ".." name a folder by its place, not a dot-name of its own.
    if (strcmp(leaf, ".") == 0 || strcmp(leaf, "..") == 0)
        return false;
    return leaf[0] == '.';
}

int fd_of(const File& file)
{
    return static_cast<int>(file.handle());
}

// File systems whose files are made when read and report no size (procfs,
// sysfs and their kin): an empty-looking file there still has content.
bool on_generated_file_system(const char* system_path)
{
#ifdef __linux__
    struct statfs fs {};
    if (statfs(system_path, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x9fa0UL:      // proc
    case 0x62656572UL:  // sysfs
    case 0x64626720UL:  // debugfs
    case 0x74726163UL:  // tracefs
    case 0x73636673UL:  // securityfs
    case 0x27e0ebUL:    // cgroup
    case 0x63677270UL:  // cgroup2
    case 0x62656570UL:  // configfs
    case 0xde5e81e4UL:  // efivarfs
        return true;
    default: return false;
    }
#else
    (void)system_path;
    return false;
#endif
}

// What find_file says of a path the system described as `st`; the path (in
// the system's characters) is made only when an empty file may lie on a
// generated file system.
template <typename PathOf>
void describe(const struct stat& st, bool hidden, PathOf path_of, FileInfo& info)
{
    info = FileInfo{};
    if (S_ISDIR(st.st_mode))
        info.attributes |= attribute_directory;
    if (hidden)
        info.attributes |= attribute_hidden;
    info.size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
    info.last_write = file_time_from_unix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    info.special = S_ISSOCK(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode);
    info.volume = static_cast<uint64_t>(st.st_dev);
    info.object = static_cast<uint64_t>(st.st_ino);
    info.size_unreported = S_ISREG(st.st_mode) && st.st_size == 0 && on_generated_file_system(path_of().c_str());
    info.mode = static_cast<uint32_t>(st.st_mode);
    info.links = static_cast<uint32_t>(st.st_nlink);
    info.owner = static_cast<uint32_t>(st.st_uid);
    info.group = static_cast<uint32_t>(st.st_gid);
    info.device = static_cast<uint64_t>(st.st_rdev);
    info.last_access = file_time_from_unix(st.st_atim.tv_sec, st.st_atim.tv_nsec);
    info.last_change = file_time_from_unix(st.st_ctim.tv_sec, st.st_ctim.tv_nsec);
    info.symbolic_link = S_ISLNK(st.st_mode);
    if (info.symbolic_link)
        info.size = 0;
}

}  // namespace

bool find_file(const char* path, FileInfo& info, Links links)
{
    struct stat st {};
    if (path == nullptr || path[0] == '\0')
        return false;
    const std::string system_path = text_to_system(path);
    if ((links == Links::follow ? stat(system_path.c_str(), &st) : lstat(system_path.c_str(), &st)) != 0)
        return false;
    describe(
        st, leaf_is_hidden(path), [path] { return text_to_system(path); }, info);
    return true;
}

std::string find_failure_text(const char* path)
{
    const std::string system_path = text_to_system(path);
    struct stat st {};
    if (stat(system_path.c_str(), &st) == 0)
        return "found now";
    const int code = errno;
    struct stat link {};
    if (code == ENOENT && lstat(system_path.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
        return "dangling symbolic link";
    errno = code;
    return last_error_text();
}

// The names of an open folder, read straight from the system: opendir asks
// the system about the folder once more (an fstat) before its first read.
static bool read_names(const char* system_path, std::vector<std::string>& names)
{
#ifdef __linux__
    const int fd = open(system_path, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    alignas(8) thread_local char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = getdents64(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {  // an error part way ends the names, as readdir's would
            const int code = errno;
            ::close(fd);
            errno = code;
            return true;
        }
        for (ssize_t at = 0; at < got;) {
            const auto* item = reinterpret_cast<const dirent64*>(buffer + at);
            names.emplace_back(text_from_system(item->d_name));
            at += item->d_reclen;
        }
    }
#else
    DIR* dir = opendir(system_path);
    if (dir == nullptr)
        return false;
    while (const dirent* item = readdir(dir))
        names.emplace_back(text_from_system(item->d_name));
    closedir(dir);
    return true;
#endif
}

bool read_link(const char* path, std::string& target)
{
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t n = readlink(text_to_system(path).c_str(), buffer.data(), buffer.size());
        if (n < 0)
            return false;
        if (size_t(n) < buffer.size()) {
            target.assign(buffer.data(), size_t(n));
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool list_directory_found(const char* path, std::vector<FoundName>& items, Links links)
{
    items.clear();
#ifdef __linux__
    const std::string system_path = text_to_system(path);
    const int fd = open(system_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    std::vector<std::pair<std::string, std::string>> names;  // (name, system name)
    alignas(8) thread_local char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = getdents64(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;  // an error part way ends the names, as readdir's would
        for (ssize_t at = 0; at < got;) {
            const auto* item = reinterpret_cast<const dirent64*>(buffer + at);
            if (strcmp(item->d_name, ".") != 0 && strcmp(item->d_name, "..") != 0)
                names.emplace_back(text_from_system(item->d_name), item->d_name);
            at += item->d_reclen;
        }
    }
    std::sort(names.begin(), names.end());  // byte order, as list_directory
    items.resize(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        FoundName& item = items[i];
        item.name = std::move(names[i].first);
        struct stat st {};
        item.found = fstatat(fd, names[i].second.c_str(), &st, links == Links::keep ? AT_SYMLINK_NOFOLLOW : 0) == 0;
        if (item.found) {
            describe(
                st, item.name[0] == '.', [&] { return system_path + '/' + names[i].second; }, item.info);
        }
    }
    const int code = errno;
    ::close(fd);
    errno = code;
    return true;
#else
    return list_directory_then_find(path, items, links);
#endif
}

bool list_directory(const char* path, const std::function<void(const char* name)>& visit)
{
    std::vector<std::string> names;
    if (!read_names(text_to_system(path).c_str(), names))
        return false;
    // std::string compares through char_traits<char>, which orders bytes as
    // unsigned values: the byte order that keeps builds reproducible.
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
        visit(name.c_str());
    return true;
}

void File::close()
{
    if (handle_ != invalid) {
        const int saved = errno;
        ::close(static_cast<int>(handle_));
        errno = saved;  // a close after a failure must not hide its reason
        handle_ = invalid;
    }
}

File open_for_reading(const char* path)
{
    // O_NONBLOCK keeps a FIFO without a writer from hanging the open; it is
    // cleared again once the object is known not to be a folder.
    const int fd = open(text_to_system(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return File();
    File file(fd);
    struct stat st {};
    if (fstat(fd, &st) != 0)
        return File();
    if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;  // folders are not files to read, as on Windows
        return File();
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0)
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return file;
}

namespace {

// The folder of the last file open_found_file opened, held as a path handle.
struct FoundFolder {
    std::string path;  // in the system's characters, without the last separator
    int fd = -1;
};
thread_local FoundFolder found_folder;

}  // namespace

File open_found_file(const char* path)
{
    // O_NONBLOCK stays: it changes nothing for a regular file and keeps
    // anything else from hanging the open or the reads.
    constexpr int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
    const std::string system_path = text_to_system(path);
    const size_t slash = system_path.rfind('/');
    if (slash == std::string::npos || slash == 0) {
        const int fd = open(system_path.c_str(), flags);
        return fd < 0 ? File() : File(fd);
    }
    if (found_folder.fd < 0 || found_folder.path.compare(0, std::string::npos, system_path, 0, slash) != 0) {
        forget_found_folder();
        found_folder.path.assign(system_path, 0, slash);
#ifdef O_PATH
        found_folder.fd = open(found_folder.path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
#else
        found_folder.fd = open(found_folder.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#endif
        if (found_folder.fd < 0) {
            // Whatever stands in the way, the open of the whole path says it.
            found_folder.path.clear();
            const int fd = open(system_path.c_str(), flags);
            return fd < 0 ? File() : File(fd);
        }
    }
    const int fd = openat(found_folder.fd, system_path.c_str() + slash + 1, flags);
    return fd < 0 ? File() : File(fd);
}

void forget_found_folder()
{
    if (found_folder.fd >= 0) {
        const int code = errno;
        ::close(found_folder.fd);
        errno = code;
    }
    found_folder.fd = -1;
    found_folder.path.clear();
}

File create_for_writing(const char* path)
{
    const int fd = open(text_to_system(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return fd < 0 ? File() : File(fd);
}

int64_t read_some(File& file, void* data, size_t n)
{
    if (!file.valid()) {
        errno = EBADF;
        return -1;
    }
    for (;;) {
        const ssize_t got = read(fd_of(file), data, n);
        if (got >= 0)
            return got;
        if (errno != EINTR)
            return -1;
    }
}

bool write_all(File& file, const void* data, size_t n)
{
    if (!file.valid()) {
        errno = EBADF;
        return false;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (n > 0) {
        const ssize_t put = write(fd_of(file), bytes, n);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (put == 0) {
            errno = ENOSPC;  // no progress and no error: nothing more fits
            return false;
        }
        bytes += put;
        n -= static_cast<size_t>(put);
    }
    return true;
}

bool seek_to(File& file, uint64_t position)
{
    if (position > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) {
        errno = EINVAL;
        return false;
    }
    return lseek(fd_of(file), static_cast<off_t>(position), SEEK_SET) >= 0;
}

bool file_size(File& file, uint64_t& size)
{
    struct stat st {};
    if (fstat(fd_of(file), &st) != 0)
        return false;
    if (S_ISBLK(st.st_mode)) {
        // A block device reports no size in stat; its end does.
        const off_t here = lseek(fd_of(file), 0, SEEK_CUR);
        const off_t end = lseek(fd_of(file), 0, SEEK_END);
        if (here < 0 || end < 0 || lseek(fd_of(file), here, SEEK_SET) < 0)
            return false;
        size = static_cast<uint64_t>(end);
        return true;
    }
    size = static_cast<uint64_t>(st.st_size);
    return true;
}

bool file_identity(const char* path, FileIdentity& identity)
{
    struct stat st {};
    if (path == nullptr || path[0] == '\0' || stat(text_to_system(path).c_str(), &st) != 0)
        return false;
    identity = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    return true;
}

bool file_identity(File& file, FileIdentity& identity)
{
    struct stat st {};
    if (!file.valid() || fstat(fd_of(file), &st) != 0)
        return false;
    identity = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    return true;
}

PathKind path_kind(const char* path)
{
    struct stat st {};
    if (path == nullptr || path[0] == '\0' || stat(text_to_system(path).c_str(), &st) != 0)
        return PathKind::missing;
    if (S_ISREG(st.st_mode))
        return PathKind::regular;
    if (S_ISDIR(st.st_mode))
        return PathKind::folder;
    return PathKind::other;
}

File create_temporary_beside(const char* path, std::string& temporary, std::string& target)
{
    // Works on system-encoded names throughout; the names handed back are
    // converted once at the end.
    std::string system_target = text_to_system(path);
    struct stat st {};
    if (lstat(system_target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // Replace what the link leads to, not the link.
        if (char* resolved = realpath(system_target.c_str(), nullptr)) {
            system_target = resolved;
            free(resolved);
        }
    }
    const bool had_mode = stat(system_target.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    const size_t slash = system_target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : system_target.substr(0, slash + 1);
    static unsigned serial = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name =
            folder + ".tarnwickiso-" + std::to_string(getpid()) + "-" + std::to_string(++serial) + ".tmp";
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return File();
        }
        if (had_mode)
            fchmod(fd, st.st_mode & 07777);
        temporary = text_from_system(name.c_str());
        target = text_from_system(system_target.c_str());
        return File(fd);
    }
    errno = EEXIST;
    return File();
}

bool rename_into_place(const char* from, const char* to)
{
    return rename(text_to_system(from).c_str(), text_to_system(to).c_str()) == 0;
}

bool remove_file(const char* path)
{
    return unlink(text_to_system(path).c_str()) == 0;
}

std::string last_error_text()
{
    const int code = errno;
    // The "C" locale keeps the text English whatever LC_MESSAGES says.
    static const locale_t english = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    std::string text = english != static_cast<locale_t>(0) ? strerror_l(code, english) : strerror(code);
    errno = code;
    return text;
}

}  // namespace platform
