// The operating-system services the portable core needs: file enumeration with
// attributes, sizes and times; time zone; ANSI character stepping, uppercasing
// and code-page conversion; files. One implementation per platform lives in
// platform/posix/ and platform/win32/; nothing else in the core talks to the
// operating system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace platform {

#ifdef _WIN32
inline constexpr char path_separator = '\\';
#else
inline constexpr char path_separator = '/';
#endif

// Attribute bits as the Win32 find functions report them; the POSIX side
// produces the same two bits.
inline constexpr uint32_t attribute_hidden = 0x02;
inline constexpr uint32_t attribute_directory = 0x10;

struct FileInfo {
    uint32_t attributes = 0;       // attribute_hidden | attribute_directory
    uint64_t size = 0;             // full 64-bit size (0 for a folder)
    uint64_t last_write = 0;       // 100-ns units since 1601-01-01 UTC
    bool special = false;          // socket, FIFO or device (POSIX only)
    uint64_t volume = 0;           // identity of the object for loop detection;
    uint64_t object = 0;           // both 0 where the platform gives none
    bool size_unreported = false;  // a file of /proc or /sys: its content is not in its size
    // What POSIX says of the object (Windows: made up from the attributes,
    // as a POSIX reader of the image would see it). Rock Ridge records these.
    uint32_t mode = 0;  // st_mode: the file type and permission bits
    uint32_t links = 1;
    uint32_t owner = 0, group = 0;
    uint64_t device = 0;                        // st_rdev of a block or character device
    uint64_t last_access = 0, last_change = 0;  // as last_write
    bool symbolic_link = false;                 // looked at without following links, and it is one
};

// How a look at a path treats a symbolic link: follows it to what it names,
// or describes the link itself.
enum class Links : uint8_t { follow, keep };

// A find-first on the path itself, closed at once. False when nothing is found.
[[nodiscard]] bool find_file(const char* path, FileInfo& info, Links links = Links::follow);
// The target of the symbolic link at the path, as it is stored (in the
// system's characters); false when it is no link or cannot be read.
[[nodiscard]] bool read_link(const char* path, std::string& target);
// Why find_file fails for the path, as English text ("Permission denied",
// "dangling symbolic link").
[[nodiscard]] std::string find_failure_text(const char* path);

// Enumerates the names of a folder (the "*.*" pattern of the folder), "." and
// ".." included where the platform returns them. False when the enumeration
// cannot be started. The POSIX side hands the names over in byte order so that
// builds are reproducible.
[[nodiscard]] bool list_directory(const char* path, const std::function<void(const char* name)>& visit);

// The names list_directory gives for the folder, without "." and "..", each
// with what find_file says of the path folder + separator + name
// (`found` false where it finds nothing). All are looked up before the call
// returns; the POSIX side asks relative to the open folder, which spares the
// system a walk along the whole path for every name.
struct FoundName {
    std::string name;
    bool found = false;
    FileInfo info;
};
[[nodiscard]] bool list_directory_found(const char* path, std::vector<FoundName>& items, Links links = Links::follow);
// The same through list_directory and a find_file per name: what a platform
// without a cheaper way does.
[[nodiscard]] bool list_directory_then_find(const char* path, std::vector<FoundName>& items,
                                            Links links = Links::follow);

// Time. The base bias is the minutes that, added to local standard time, give
// UTC (-540 for UTC+9), without any daylight adjustment.
[[nodiscard]] int32_t time_zone_base_bias();

// Converts a file time taken as local time to UTC with the bias in force now,
// daylight adjustment included (LocalFileTimeToFileTime).
[[nodiscard]] uint64_t local_file_time_to_file_time(uint64_t local_time);

struct CalendarTime {
    uint16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milliseconds = 0;
};

// Splits a file time into calendar fields (FileTimeToSystemTime).
[[nodiscard]] CalendarTime file_time_to_calendar(uint64_t file_time);

// The local date and time now (GetLocalTime).
[[nodiscard]] CalendarTime local_time_now();

// ANSI text. Character stepping follows the multibyte rules of the code page in
// use (double-byte on East Asian code pages, UTF-8 sequences under UTF-8).
// char_next returns p itself at the terminating zero, like CharNextA.
[[nodiscard]] const char* char_next_multibyte(const char* p);
// True once the platform knows that the code page in use gives every byte
// below 0x80 a character of its own (UTF-8, CP932 on POSIX): char_next steps
// over those without a call. Paths are mostly such bytes.
extern bool ascii_stands_alone;
[[nodiscard]] inline const char* char_next(const char* p)
{
    const unsigned char c = static_cast<unsigned char>(*p);
    return ascii_stands_alone && c != 0 && c < 0x80 ? p + 1 : char_next_multibyte(p);
}
// Uppercases a zero-terminated string in place (CharUpperA); the POSIX side
// changes ASCII letters only.
void uppercase_ansi(char* text);

// Code page of names (ANSI) <-> UCS-2 (host order). Both convert a zero-terminated string,
// write at most `capacity` units/bytes including the terminator, always
// terminate (when capacity > 0) and return the units/bytes written including
// the terminator.
size_t oem_to_ucs2(const char* text, uint16_t* out, size_t capacity);
size_t ucs2_to_oem(const uint16_t* text, char* out, size_t capacity);

// Chooses the code page of names and texts. The POSIX side takes the locale's
// (UTF-8 by default) and accepts "UTF-8" and "CP932"; the Win32 side always
// uses the system's ANSI and OEM code pages and only accepts an empty name.
[[nodiscard]] bool select_code_page(const char* name);
[[nodiscard]] const char* code_page_name();

// Text crossing between the program's code page and the system's own
// character set (file names, arguments, terminal output). The same when the
// two agree, which is always the case on Win32.
[[nodiscard]] std::string text_to_system(const char* text);
[[nodiscard]] std::string text_from_system(const char* text);

// Win32 consoles: closing the console window, logging off and shutting down
// raise SIGTERM in the program (whose handler asks it to stop), and the
// console's handler then waits while the program cleans up and ends, until
// the system's time for it runs out. Nothing elsewhere.
void raise_sigterm_when_console_ends();

// True when the standard stream is a terminal (a console), where progress
// lines are shown (isatty).
[[nodiscard]] bool is_terminal(std::FILE* stream);
// Win32 text streams turn LF into CR LF; this makes the stream pass bytes as
// they are. Nothing elsewhere.
void write_bytes_unchanged(std::FILE* stream);

// Files, shared for reading. An invalid File is returned on failure;
// last_error_text() then says why.
class File {
public:
    File() = default;
    explicit File(intptr_t handle) : handle_(handle) {}
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = invalid; }
    File& operator=(File&& other) noexcept;
    ~File() { close(); }

    bool valid() const { return handle_ != invalid; }
    intptr_t handle() const { return handle_; }
    void close();

    static constexpr intptr_t invalid = -1;

private:
    intptr_t handle_ = invalid;
};

// Opens an existing file for reading, sharing read access.
[[nodiscard]] File open_for_reading(const char* path);
// The same for a file a walk has just found to be a regular file, without
// asking the system again what it is: a folder put in its place since fails
// at the first read, a FIFO or device answers that read without waiting.
[[nodiscard]] File open_found_file(const char* path);
// open_found_file may keep the folder of the last file open, so that the next
// file of the same folder is found without a walk along the whole path; this
// lets it go.
void forget_found_folder();
// Creates a file for writing, replacing an existing one (truncated), shared
// for reading, normal attributes.
[[nodiscard]] File create_for_writing(const char* path);
// The same, except that a file that is already empty (a fresh temporary) is
// not truncated again: on some file systems a truncation makes the close wait
// until the data written since has been handed to the disk.
[[nodiscard]] File create_for_writing_once(const char* path);

// Reads up to n bytes; returns the bytes read (0 at the end) or -1 on error.
[[nodiscard]] int64_t read_some(File& file, void* data, size_t n);
// Reads until n bytes or the end; returns the bytes read or -1 on error.
[[nodiscard]] int64_t read_full(File& file, void* data, size_t n);
// Why read_full gave `got` of the `wanted` bytes: the system's reason after a
// failure (got < 0); else the file ended early, which no system call reports,
// so the last error would be stale ("read 20 of 4096 bytes: the file ended
// early").
[[nodiscard]] std::string short_read_text(int64_t got, uint64_t wanted);
// Writes all n bytes; false on failure (short write, disk full, I/O error).
[[nodiscard]] bool write_all(File& file, const void* data, size_t n);
[[nodiscard]] bool seek_to(File& file, uint64_t position);
// Size of an open file; false on failure.
[[nodiscard]] bool file_size(File& file, uint64_t& size);

// Copies up to n bytes from the position of `from` to the position of `to`
// inside the system, without passing the data through the program
// (copy_file_range on Linux); both positions advance by the bytes copied.
// Returns the bytes copied (fewer only at the end of `from`), -1 on an error
// (last_error_text() says which), or copy_unsupported when the system cannot
// copy between these two files this way, or not faster than a read and a
// write; the caller then reads and writes itself. Win32 always answers
// copy_unsupported.
inline constexpr int64_t copy_unsupported = -2;
[[nodiscard]] int64_t copy_in_system(File& from, File& to, uint64_t n);

// Sets aside room on the disk for a file about to be written up to n bytes,
// without changing its size, so that the writes fill space found once rather
// than each claiming its own (fallocate on Linux). True when room was set
// aside; nothing happens where the system cannot, or where the file lives in
// memory and setting aside costs more than it saves (tmpfs); the writes then
// find room as usual.
bool reserve_space(File& file, uint64_t n);
// Gives back room set aside past the file's position (an output that ended
// early).
void release_space_past_position(File& file);

// Hands the first n bytes of an open regular file to `use` straight from the
// system's file cache, mapped into memory, in pieces of at most mapped_piece
// bytes in file order; `use` returns false to stop. The file's position does
// not move. A file that ends before n (it shrank) or a read error ends the
// hand-over at the piece in use, at whatever byte `use` touched: the caller
// learns from its own count how far it got, and reads the rest itself, which
// then meets the end or the error again. Where the system maps no such file
// (not a regular file, Win32), nothing is handed over. One hand-over at a
// time in the process: the POSIX side catches the fault of a vanished page
// through a SIGBUS handler of its own while a piece is in use.
inline constexpr size_t mapped_piece = size_t(16) << 20;
enum class MappedRead {
    whole,       // every piece was handed over, or `use` stopped
    not_mapped,  // nothing was handed over
    cut_short,   // the hand-over ended early
};
using MappedUse = bool (*)(const uint8_t* data, size_t n, void* context);
[[nodiscard]] MappedRead read_mapped(File& file, uint64_t n, MappedUse use, void* context);

// The identity of a file system object, the same however the path is spelt:
// device and inode on POSIX, volume serial number and file index on Win32.
struct FileIdentity {
    uint64_t volume = 0, object = 0;
    bool operator==(const FileIdentity&) const = default;
};
// False when the path names nothing (or the system gives no identity).
[[nodiscard]] bool file_identity(const char* path, FileIdentity& identity);
[[nodiscard]] bool file_identity(File& file, FileIdentity& identity);

enum class PathKind { missing, regular, folder, other /* device, FIFO, socket */ };
// What a path names, following symbolic links.
[[nodiscard]] PathKind path_kind(const char* path);

// Creates a new, empty file in the folder of `path`, so that it can later be
// renamed over `path`; its name begins with a dot. `target` receives the path
// the rename must go to: `path` itself, or on POSIX the file a symbolic link
// at `path` leads to. An existing regular file's permissions are carried over.
[[nodiscard]] File create_temporary_beside(const char* path, std::string& temporary, std::string& target);
// Moves `from` over `to` in one step, replacing an existing file.
[[nodiscard]] bool rename_into_place(const char* from, const char* to);
[[nodiscard]] bool remove_file(const char* path);

// The full path of a path given relative to the current folder
// (GetFullPathNameA on Win32). On POSIX a ".." is resolved by the file system
// as the kernel does (false, with errno, when that part does not exist); the
// rest of the text is not checked.
[[nodiscard]] bool absolute_path(const char* path, std::string& full);

// The last error of this thread as English text ("No space left on device").
[[nodiscard]] std::string last_error_text();

}  // namespace platform
