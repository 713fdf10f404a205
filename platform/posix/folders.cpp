// Entries made relative to folder descriptors (openat and its kin), with
// O_NOFOLLOW on every step, so that no symbolic link below the folder is
// ever followed, whoever made it.
#include "platform/folders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#if defined(__linux__)
#include <sys/syscall.h>
#endif

namespace platform {

namespace {

int fd_of(const Folder& folder)
{
    return int(folder.handle_);
}

std::string fresh_name()
{
    static std::atomic<unsigned> serial{0};
    return ".tarnwickiso-" + std::to_string(getpid()) + "-" + std::to_string(++serial) + ".tmp";
}

timespec time_of(int64_t seconds)
{
    timespec t{};
    t.tv_sec = time_t(seconds);
    return t;
}

// renameat2 with RENAME_NOREPLACE: a rename that never replaces, in one step.
// Where the system or file system lacks it, a hard link and an unlink do the
// same for files (a link fails on an existing name); other entries are
// looked at first.
bool rename_without_replacing(int fd, const char* from, const char* to)
{
#if defined(__linux__) && defined(SYS_renameat2)
    constexpr unsigned rename_noreplace = 1;
    if (syscall(SYS_renameat2, fd, from, fd, to, rename_noreplace) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
#endif
    if (linkat(fd, from, fd, to, 0) == 0) {
        unlinkat(fd, from, 0);
        return true;
    }
    if (errno == EEXIST)
        return false;
    struct stat st {};
    if (fstatat(fd, to, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return false;
    }
    return renameat(fd, from, fd, to) == 0;
}

}  // namespace

void Folder::close()
{
    if (valid())
        ::close(int(handle_));
    handle_ = File::invalid;
}

bool open_folder(const char* path, bool make, Folder& folder)
{
    const std::string system_path = text_to_system(path);
    if (make && mkdir(system_path.c_str(), 0777) != 0 && errno != EEXIST)
        return false;
    const int fd = open(system_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    folder.close();
    folder.handle_ = fd;
    return true;
}

EntryLook look_in(const Folder& folder, const std::string& name)
{
    EntryLook look;
    struct stat st {};
    if (fstatat(fd_of(folder), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        look.kind = errno == ENOENT ? EntryKind::missing : EntryKind::unknown;
        return look;
    }
    look.kind = S_ISREG(st.st_mode)   ? EntryKind::file
                : S_ISDIR(st.st_mode) ? EntryKind::folder
                : S_ISLNK(st.st_mode) ? EntryKind::link
                                      : EntryKind::other;
    look.identity = {uint64_t(st.st_dev), uint64_t(st.st_ino)};
    return look;
}

const char* unusable_name(const std::string& name)
{
    if (name.empty())
        return "an empty name";
    if (name == "." || name == "..")
        return "a name that stands for a folder itself or its parent";
    if (name.find('/') != std::string::npos)
        return "a name holding '/'";
    if (name.find('\0') != std::string::npos)
        return "a name holding a NUL byte";
    return nullptr;
}

bool enter_folder(const Folder& folder, const std::string& name, bool make, Folder& inner, uint32_t mode)
{
    if (make && mkdirat(fd_of(folder), name.c_str(), mode_t(mode)) != 0 && errno != EEXIST)
        return false;
    const int fd = openat(fd_of(folder), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    inner.close();
    inner.handle_ = fd;
    return true;
}

File create_temporary_in(const Folder& folder, std::string& temporary)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = fresh_name();
        const int fd =
            openat(fd_of(folder), temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0)
            return File(fd);
        if (errno != EEXIST)
            return File();
    }
    return File();
}

bool make_link_in(const Folder& folder, const std::string& target, std::string& temporary)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = fresh_name();
        if (symlinkat(target.c_str(), fd_of(folder), temporary.c_str()) == 0)
            return true;
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool make_node_in(const Folder& folder, uint32_t mode, uint64_t device, std::string& temporary)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = fresh_name();
        if (mknodat(fd_of(folder), temporary.c_str(), mode_t(mode & (S_IFMT | 0600)), dev_t(device)) == 0)
            return true;
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool rename_in(const Folder& folder, const std::string& temporary, const std::string& name, bool replace)
{
    const int fd = fd_of(folder);
    if (replace)
        return renameat(fd, temporary.c_str(), fd, name.c_str()) == 0;
    return rename_without_replacing(fd, temporary.c_str(), name.c_str());
}

void remove_in(const Folder& folder, const std::string& temporary)
{
    unlinkat(fd_of(folder), temporary.c_str(), 0);
}

namespace {

bool set_on_descriptor(int fd, const EntryAttributes& a, std::string& why)
{
    if (a.owner_set && fchown(fd, uid_t(a.owner), gid_t(a.group)) != 0) {
        why = "setting the owner: " + last_error_text();
        return false;
    }
    if (fchmod(fd, mode_t(a.mode & 07777)) != 0) {
        why = "setting the mode: " + last_error_text();
        return false;
    }
    const timespec times[2] = {time_of(a.accessed), time_of(a.modified)};
    if (futimens(fd, times) != 0) {
        why = "setting the times: " + last_error_text();
        return false;
    }
    return true;
}

}  // namespace

bool set_file_attributes(File& file, const EntryAttributes& a, std::string& why)
{
    return set_on_descriptor(int(file.handle()), a, why);
}

bool set_folder_attributes(Folder& folder, const EntryAttributes& a, std::string& why)
{
    return set_on_descriptor(fd_of(folder), a, why);
}

bool set_entry_attributes(const Folder& folder, const std::string& name, bool link, const EntryAttributes& a,
                          std::string& why)
{
    const int fd = fd_of(folder);
    if (a.owner_set && fchownat(fd, name.c_str(), uid_t(a.owner), gid_t(a.group), AT_SYMLINK_NOFOLLOW) != 0) {
        why = "setting the owner: " + last_error_text();
        return false;
    }
    if (!link && fchmodat(fd, name.c_str(), mode_t(a.mode & 07777), 0) != 0) {
        why = "setting the mode: " + last_error_text();
        return false;
    }
    const timespec times[2] = {time_of(a.accessed), time_of(a.modified)};
    if (utimensat(fd, name.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
        why = "setting the times: " + last_error_text();
        return false;
    }
    return true;
}

bool finish_entry(const Folder&, const std::string&, const EntryAttributes&, std::string&)
{
    return true;  // the mode was set on the open file
}

bool may_set_owners()
{
    return geteuid() == 0;
}

}  // namespace platform
