// Making a tree of files below a folder that is held open, one name at a
// time, never through a symbolic link: what taking files out of an image
// needs where the names come from a stranger. Each entry is made under a
// temporary name in its folder and renamed to its own once complete.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace platform {

// A folder held open. POSIX: its descriptor; Win32: its handle (held without
// sharing deletion, so that it cannot be renamed or replaced meanwhile) and
// its path.
class Folder {
public:
    Folder() = default;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) noexcept;
    ~Folder() { close(); }

    bool valid() const { return handle_ != File::invalid; }
    void close();

    intptr_t handle_ = File::invalid;
    std::string path_;  // Win32 only: the folder's full path, with a separator at its end
};

// Opens the folder at `path` (following symbolic links: the user named it),
// making it first when it is missing and `make` is set.
[[nodiscard]] bool open_folder(const char* path, bool make, Folder& folder);

// What a name in a folder is, looked at without following a link.
enum class EntryKind : uint8_t { missing, file, folder, link, other, unknown };
struct EntryLook {
    EntryKind kind = EntryKind::unknown;
    FileIdentity identity;
};
[[nodiscard]] EntryLook look_in(const Folder& folder, const std::string& name);

// Why the system cannot hold `name` as one entry of a folder, or nullptr:
// empty, "." or "..", a separator, a NUL, and on Win32 the characters and
// device names Windows reserves.
[[nodiscard]] const char* unusable_name(const std::string& name);

// Opens the folder `name` in `folder`, making it with `mode` (less the
// process's umask; owner-only until a mode is set, by default) when it is
// missing; refuses a symbolic link in its place.
[[nodiscard]] bool enter_folder(const Folder& folder, const std::string& name, bool make, Folder& inner,
                                uint32_t mode = 0700);

// Creates a new empty file of a fresh temporary name in the folder.
[[nodiscard]] File create_temporary_in(const Folder& folder, std::string& temporary);
// Makes a symbolic link, a FIFO or a device node (`mode` gives its type) of a
// fresh temporary name in the folder. False where the system makes no such
// entry (Win32), with last_error_text() saying why.
[[nodiscard]] bool make_link_in(const Folder& folder, const std::string& target, std::string& temporary);
[[nodiscard]] bool make_node_in(const Folder& folder, uint32_t mode, uint64_t device, std::string& temporary);
// Renames the temporary entry to `name` in the same folder. Without
// `replace` an existing entry of that name is left alone and the rename
// fails (EEXIST).
[[nodiscard]] bool rename_in(const Folder& folder, const std::string& temporary, const std::string& name, bool replace);
void remove_in(const Folder& folder, const std::string& temporary);

// What an entry gets once written: its permission bits (POSIX; Win32: a
// missing owner write bit makes it read-only), owner when `owner_set`, and
// times (seconds since 1970-01-01 UTC).
struct EntryAttributes {
    uint32_t mode = 0;
    bool owner_set = false;
    uint32_t owner = 0, group = 0;
    int64_t modified = 0, accessed = 0;
};
// For an open file or folder; false names the failing step in `why`.
[[nodiscard]] bool set_file_attributes(File& file, const EntryAttributes& a, std::string& why);
[[nodiscard]] bool set_folder_attributes(Folder& folder, const EntryAttributes& a, std::string& why);
// For a link or node by name in the folder (never following a link; a
// link's mode is not set).
[[nodiscard]] bool set_entry_attributes(const Folder& folder, const std::string& name, bool link,
                                        const EntryAttributes& a, std::string& why);

// What is left to set once a file has its name: on Win32 the read-only
// attribute of a file without the owner's write bit; nothing on POSIX.
[[nodiscard]] bool finish_entry(const Folder& folder, const std::string& name, const EntryAttributes& a,
                                std::string& why);

// True when the process may set owners and make device nodes (root).
[[nodiscard]] bool may_set_owners();

}  // namespace platform
