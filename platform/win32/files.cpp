// Files and folders through the ANSI entry points of kernel32.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "platform/platform.h"

namespace platform {
namespace {

HANDLE handle_of(const File& file)
{
    return reinterpret_cast<HANDLE>(file.handle());
}

// ReadFile and WriteFile take 32-bit counts; larger requests go in pieces.
constexpr size_t max_chunk = 1u << 30;

// The find functions take '*' and '?' as wildcards, and '?' is also what the
// ANSI entry points give for a character the code page cannot hold: a path
// with either must never find some other file.
bool has_wildcard(const char* path)
{
    return std::strpbrk(path, "*?") != nullptr;
}

}  // namespace

bool find_file(const char* path, FileInfo& info, Links)
{
    if (has_wildcard(path)) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    info = FileInfo{};
    info.attributes = found.dwFileAttributes;  // raw, so callers can test 0x02 and 0x10
    info.size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    info.last_write =
        (static_cast<uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) | found.ftLastWriteTime.dwLowDateTime;
    info.last_access =
        (static_cast<uint64_t>(found.ftLastAccessTime.dwHighDateTime) << 32) | found.ftLastAccessTime.dwLowDateTime;
    info.last_change = info.last_write;
    // As a POSIX reader would see it: folders searchable, read-only files
    // without write permission.
    const bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool read_only = (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    info.mode = folder ? 0040755u : (read_only ? 0100444u : 0100644u);
    return true;
}

bool read_link(const char*, std::string&)
{
    return false;
}

std::string find_failure_text(const char* path)
{
    FileInfo info;
    if (find_file(path, info))
        return "found now";
    return last_error_text();
}

bool list_directory(const char* path, const std::function<void(const char* name)>& visit)
{
    std::string pattern = path;
    pattern += "\\*.*";
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    do {
        // A name the ANSI code page cannot hold arrives with '?' in place of
        // its characters; its short name still opens that very file.
        const bool lossy = std::strchr(found.cFileName, '?') != nullptr;
        visit(lossy && found.cAlternateFileName[0] != '\0' ? found.cAlternateFileName : found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return true;
}

bool list_directory_found(const char* path, std::vector<FoundName>& items, Links links)
{
    return list_directory_then_find(path, items, links);
}

void File::close()
{
    if (handle_ != invalid) {
        const DWORD saved = GetLastError();
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
        SetLastError(saved);  // a close after a failure must not hide its reason
        handle_ = invalid;
    }
}

File open_for_reading(const char* path)
{
    const HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    return h == INVALID_HANDLE_VALUE ? File() : File(reinterpret_cast<intptr_t>(h));
}

File open_found_file(const char* path)
{
    return open_for_reading(path);
}

void forget_found_folder() {}

File create_for_writing(const char* path)
{
    const HANDLE h =
        CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? File() : File(reinterpret_cast<intptr_t>(h));
}

int64_t read_some(File& file, void* data, size_t n)
{
    if (!file.valid()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return -1;
    }
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(n < max_chunk ? n : max_chunk);
    if (!ReadFile(handle_of(file), data, want, &got, nullptr))
        return -1;
    return got;
}

bool write_all(File& file, const void* data, size_t n)
{
    if (!file.valid()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (n > 0) {
        DWORD put = 0;
        const DWORD want = static_cast<DWORD>(n < max_chunk ? n : max_chunk);
        if (!WriteFile(handle_of(file), bytes, want, &put, nullptr))
            return false;
        if (put == 0) {
            SetLastError(ERROR_DISK_FULL);  // no progress and no error: nothing more fits
            return false;
        }
        bytes += put;
        n -= put;
    }
    return true;
}

bool seek_to(File& file, uint64_t position)
{
    if (position > static_cast<uint64_t>(std::numeric_limits<LONGLONG>::max())) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return false;
    }
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(position);
    return SetFilePointerEx(handle_of(file), distance, nullptr, FILE_BEGIN) != 0;
}

bool file_size(File& file, uint64_t& size)
{
    LARGE_INTEGER value;
    if (!GetFileSizeEx(handle_of(file), &value))
        return false;
    size = static_cast<uint64_t>(value.QuadPart);
    return true;
}

bool file_identity(File& file, FileIdentity& identity)
{
    BY_HANDLE_FILE_INFORMATION information;
    if (!file.valid() || !GetFileInformationByHandle(handle_of(file), &information))
        return false;
    identity = {information.dwVolumeSerialNumber,
                (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
    return true;
}

bool file_identity(const char* path, FileIdentity& identity)
{
    // No access asked for, every kind of sharing granted: the object is only
    // looked at. Backup semantics lets folders open too.
    const HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    File file(reinterpret_cast<intptr_t>(h));
    return file_identity(file, identity);
}

PathKind path_kind(const char* path)
{
    // "\\.\X:" and its kind name drives, whatever their file type says.
    if (std::strncmp(path, "\\\\.\\", 4) == 0)
        return PathKind::other;
    const HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return PathKind::missing;
    const DWORD type = GetFileType(h);
    CloseHandle(h);
    if (type != FILE_TYPE_DISK)
        return PathKind::other;  // NUL, CON, pipes
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return PathKind::other;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::folder : PathKind::regular;
}

File create_temporary_beside(const char* path, std::string& temporary, std::string& target)
{
    target = path;
    const std::string name = path;
    const size_t split = name.find_last_of("\\/:");
    const std::string folder = split == std::string::npos ? std::string() : name.substr(0, split + 1);
    static unsigned serial = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char leaf[64];
        snprintf(leaf, sizeof leaf, ".tarnwickiso-%lu-%u.tmp", static_cast<unsigned long>(GetCurrentProcessId()),
                 ++serial);
        temporary = folder + leaf;
        const HANDLE h = CreateFileA(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE)
            return File(reinterpret_cast<intptr_t>(h));
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    temporary.clear();
    return File();
}

bool rename_into_place(const char* from, const char* to)
{
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
}

bool remove_file(const char* path)
{
    return DeleteFileA(path) != 0;
}

std::string last_error_text()
{
    const DWORD code = GetLastError();
    char text[512];
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                        MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text, sizeof text, nullptr);
    std::string result;
    if (length == 0) {
        char number[32];
        snprintf(number, sizeof number, "error %lu", static_cast<unsigned long>(code));
        result = number;
    } else {
        result.assign(text, length);
        // System messages end in ".\r\n"; the callers add their own punctuation.
        while (!result.empty() &&
               (result.back() == '\r' || result.back() == '\n' || result.back() == ' ' || result.back() == '.'))
            result.pop_back();
    }
    SetLastError(code);
    return result;
}

}  // namespace platform
