// Entries made by full path below folders held open without delete sharing
// (so that no folder on the way can be renamed or replaced meanwhile), with
// every name looked at as it stands: a reparse point (a symbolic link or a
// junction) is never entered or written through.
#include <windows.h>

#include <atomic>
#include <cctype>
#include <cstring>
#include <string>

#include "platform/folders.h"

namespace platform {

namespace {

HANDLE handle_of(const Folder& folder)
{
    return reinterpret_cast<HANDLE>(folder.handle_);
}

std::string fresh_name()
{
    static std::atomic<unsigned> serial{0};
    return ".tarnwickiso-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial) + ".tmp";
}

// Seconds since 1970 as a FILETIME (100-ns units since 1601).
FILETIME file_time_of(int64_t seconds)
{
    const int64_t ticks = (seconds + 11'644'473'600LL) * 10'000'000LL;
    const uint64_t t = ticks < 0 ? 0 : uint64_t(ticks);
    FILETIME f;
    f.dwLowDateTime = DWORD(t);
    f.dwHighDateTime = DWORD(t >> 32);
    return f;
}

HANDLE open_held_folder(const std::string& path)
{
    return CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool is_plain_folder(HANDLE h)
{
    BY_HANDLE_FILE_INFORMATION information;
    return GetFileInformationByHandle(h, &information) && (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool set_times(HANDLE h, const EntryAttributes& a, std::string& why)
{
    const FILETIME accessed = file_time_of(a.accessed), modified = file_time_of(a.modified);
    if (!SetFileTime(h, nullptr, &accessed, &modified)) {
        why = "setting the times: " + last_error_text();
        return false;
    }
    return true;
}

}  // namespace

void Folder::close()
{
    if (valid())
        CloseHandle(handle_of(*this));
    handle_ = File::invalid;
}

bool open_folder(const char* path, bool make, Folder& folder)
{
    std::string full;
    if (!absolute_path(path, full))
        return false;
    if (make && !CreateDirectoryA(full.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    // The user's own folder may be reached through a link: it is opened as
    // the system resolves it.
    const HANDLE h = CreateFileA(full.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    folder.close();
    folder.handle_ = reinterpret_cast<intptr_t>(h);
    folder.path_ = full;
    if (folder.path_.empty() || (folder.path_.back() != '\\' && folder.path_.back() != '/'))
        folder.path_ += '\\';
    return true;
}

EntryLook look_in(const Folder& folder, const std::string& name)
{
    EntryLook look;
    const std::string path = folder.path_ + name;
    const HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD e = GetLastError();
        look.kind = e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? EntryKind::missing : EntryKind::unknown;
        return look;
    }
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileInformationByHandle(h, &information)) {
        const DWORD at = information.dwFileAttributes;
        look.kind = (at & FILE_ATTRIBUTE_REPARSE_POINT) ? EntryKind::link
                    : (at & FILE_ATTRIBUTE_DIRECTORY)   ? EntryKind::folder
                                                        : EntryKind::file;
        look.identity = {information.dwVolumeSerialNumber,
                         (uint64_t(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
    }
    if (GetFileType(h) != FILE_TYPE_DISK)
        look.kind = EntryKind::other;
    CloseHandle(h);
    return look;
}

const char* unusable_name(const std::string& name)
{
    if (name.empty())
        return "an empty name";
    if (name == "." || name == "..")
        return "a name that stands for a folder itself or its parent";
    for (unsigned char c : name) {
        if (c == '/' || c == '\\')
            return "a name holding a path separator";
        if (c < 0x20 || std::strchr("<>:\"|?*", c))
            return "a name holding a character Windows does not allow in names";
    }
    if (name.back() == '.' || name.back() == ' ')
        return "a name ending in a dot or a space, which Windows drops";
    // CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without an extension.
    std::string base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    for (char& c : base)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" ||
        (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && base[3] >= '1' &&
         base[3] <= '9'))
        return "a device name Windows reserves";
    return nullptr;
}

bool enter_folder(const Folder& folder, const std::string& name, bool make, Folder& inner, uint32_t)
{
    const std::string path = folder.path_ + name;
    if (make && !CreateDirectoryA(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    const HANDLE h = open_held_folder(path);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    if (!is_plain_folder(h)) {
        CloseHandle(h);
        SetLastError(ERROR_CANT_ACCESS_FILE);
        return false;
    }
    inner.close();
    inner.handle_ = reinterpret_cast<intptr_t>(h);
    inner.path_ = path + '\\';
    return true;
}

File create_temporary_in(const Folder& folder, std::string& temporary)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = fresh_name();
        const HANDLE h = CreateFileA((folder.path_ + temporary).c_str(), GENERIC_WRITE | FILE_WRITE_ATTRIBUTES,
                                     FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE)
            return File(reinterpret_cast<intptr_t>(h));
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            return File();
    }
    return File();
}

bool make_link_in(const Folder&, const std::string&, std::string&)
{
    SetLastError(ERROR_NOT_SUPPORTED);
    return false;
}

bool make_node_in(const Folder&, uint32_t, uint64_t, std::string&)
{
    SetLastError(ERROR_NOT_SUPPORTED);
    return false;
}

bool rename_in(const Folder& folder, const std::string& temporary, const std::string& name, bool replace)
{
    return MoveFileExA((folder.path_ + temporary).c_str(), (folder.path_ + name).c_str(),
                       replace ? MOVEFILE_REPLACE_EXISTING : 0) != 0;
}

void remove_in(const Folder& folder, const std::string& temporary)
{
    DeleteFileA((folder.path_ + temporary).c_str());
}

bool set_file_attributes(File& file, const EntryAttributes& a, std::string& why)
{
    // A file made read-only now could not be renamed over an older one on
    // every system; the attribute follows the rename (finish_entry).
    return set_times(reinterpret_cast<HANDLE>(file.handle()), a, why);
}

bool set_folder_attributes(Folder& folder, const EntryAttributes& a, std::string& why)
{
    return set_times(handle_of(folder), a, why);
}

bool set_entry_attributes(const Folder&, const std::string&, bool, const EntryAttributes&, std::string&)
{
    return true;  // no links or nodes are made here
}

bool finish_entry(const Folder& folder, const std::string& name, const EntryAttributes& a, std::string& why)
{
    if (a.mode & 0200)
        return true;
    const std::string path = folder.path_ + name;
    const DWORD at = GetFileAttributesA(path.c_str());
    if (at == INVALID_FILE_ATTRIBUTES || !SetFileAttributesA(path.c_str(), at | FILE_ATTRIBUTE_READONLY)) {
        why = "making it read-only: " + last_error_text();
        return false;
    }
    return true;
}

bool may_set_owners()
{
    return false;
}

}  // namespace platform
