#include "verify/extract.h"

#include <algorithm>
#include <set>

#include "format/ecma119.h"
#include "platform/folders.h"

namespace {

struct Identity {
    uint64_t volume, object;
    bool operator<(const Identity& o) const { return volume != o.volume ? volume < o.volume : object < o.object; }
};

struct Extraction {
    ImageSource& source;
    const ImageFiles& files;
    const ExtractOptions& options;
    const std::function<void(const std::string&)>& report;
    const volatile int32_t* stop;
    ExtractOutcome outcome;
    std::vector<uint8_t> wanted;  // 1: take the item; 2: only a folder on the way to one
    std::set<Identity> made;      // every entry this extraction made or entered
    uint64_t budget = 0;
    bool set_owners = false;
    std::vector<uint8_t> buffer;

    bool stopped()
    {
        if (stop && *stop)
            outcome.stopped = true;
        return outcome.stopped;
    }

    void refuse(const std::string& path, const std::string& why)
    {
        ++outcome.refused;
        report(shown_name(path) + ": " + why);
    }

    platform::EntryAttributes attributes_of(const ImageItem& item) const
    {
        platform::EntryAttributes a;
        a.mode = item.attributes ? item.mode & 07777 : item.kind == ItemKind::folder ? 0755 : 0644;
        if (!set_owners)
            a.mode &= ~uint32_t(06000);  // no set-user-id or set-group-id from a stranger
        a.owner_set = set_owners && item.attributes;
        a.owner = item.owner;
        a.group = item.group;
        a.modified = item.modified;
        a.accessed = item.accessed;
        return a;
    }

    void remember(const platform::Folder& here, const std::string& name)
    {
        const platform::EntryLook look = platform::look_in(here, name);
        if (look.kind != platform::EntryKind::missing && look.kind != platform::EntryKind::unknown)
            made.insert({look.identity.volume, look.identity.object});
    }
};

// The file's data from the image into `out`.
bool copy_data(Extraction& x, const std::vector<FileSection>& sections, platform::File& out, std::string& why)
{
    constexpr uint32_t batch = 256;  // sectors per read: 512 KiB
    for (const FileSection& s : sections) {
        uint64_t done = 0;  // bytes of the section written
        if (x.source.form == ImageForm::plain && !x.source.memory && s.size > 0) {
            // Inside the system where it can: the image's bytes are the file's.
            if (!platform::seek_to(x.source.file, uint64_t(s.extent) * sector_size)) {
                why = "reading the image: " + platform::last_error_text();
                return false;
            }
            while (done < s.size && !x.stopped()) {
                const int64_t n =
                    platform::copy_in_system(x.source.file, out, std::min<uint64_t>(s.size - done, 64 << 20));
                if (n == platform::copy_unsupported)
                    break;
                if (n <= 0) {
                    why = n < 0 ? "copying from the image: " + platform::last_error_text()
                                : "the image ends inside the file's data";
                    return false;
                }
                done += uint64_t(n);
            }
        }
        x.buffer.resize(size_t(batch) * sector_size);
        while (done < s.size && !x.stopped()) {
            const uint64_t sector = s.extent + done / sector_size, skip = done % sector_size;
            const uint32_t count =
                uint32_t(std::min<uint64_t>(batch, (skip + s.size - done + sector_size - 1) / sector_size));
            std::string fault;
            if (sector > UINT32_MAX || !read_user_data(x.source, uint32_t(sector), count, x.buffer.data(), fault)) {
                why = "reading the image: " + (fault.empty() ? std::string("past the last sector") : fault);
                return false;
            }
            const size_t n = size_t(std::min<uint64_t>(s.size - done, uint64_t(count) * sector_size - skip));
            if (!platform::write_all(out, x.buffer.data() + skip, n)) {
                why = "writing: " + platform::last_error_text();
                return false;
            }
            done += n;
        }
        if (x.stopped())
            return false;
    }
    return true;
}

// A file, link or node: made under a temporary name, then renamed to its own.
void write_entry(Extraction& x, const ImageItem& item, const platform::Folder& here, const platform::EntryLook& look)
{
    if (look.kind == platform::EntryKind::folder) {
        x.refuse(item.path, "a folder stands at this path; left as it is");
        return;
    }
    if (look.kind != platform::EntryKind::missing && !x.options.overwrite) {
        x.refuse(item.path, "exists; not replaced (--overwrite replaces it)");
        return;
    }
    const platform::EntryAttributes a = x.attributes_of(item);
    std::string temporary, why;
    platform::FileIdentity written_as;  // a file's, taken while it is open
    switch (item.kind) {
    case ItemKind::file: {
        const uint64_t size = item.size;
        if (x.outcome.bytes + size > x.budget) {
            x.refuse(item.path, "the image's files claim more data than " + std::to_string(extract_budget_factor) +
                                    " times the image's size (overlapping extents); not extracted");
            return;
        }
        platform::File out = platform::create_temporary_in(here, temporary);
        if (!out.valid()) {
            x.refuse(item.path, "cannot create a file beside it: " + platform::last_error_text());
            return;
        }
        const std::vector<FileSection> one{{item.extent, uint32_t(size)}};
        const bool written = copy_data(x, item.sections.empty() ? one : item.sections, out, why) &&
                             platform::set_file_attributes(out, a, why);
        if (!platform::file_identity(out, written_as))
            written_as = {};
        out.close();
        if (!written) {
            platform::remove_in(here, temporary);
            if (!x.outcome.stopped)
                x.refuse(item.path, why);
            return;
        }
        x.outcome.bytes += size;
        break;
    }
    case ItemKind::link:
        if (!platform::make_link_in(here, item.link_target, temporary)) {
            x.refuse(item.path, "symbolic link not made: " + platform::last_error_text());
            return;
        }
        break;
    case ItemKind::fifo:
    case ItemKind::character_device:
    case ItemKind::block_device: {
        const bool device = item.kind != ItemKind::fifo;
        if (device && !(x.options.devices && platform::may_set_owners())) {
            x.refuse(item.path, "a device node; not made (--devices makes them, as root)");
            return;
        }
        if (!platform::make_node_in(here, item.mode, item.device, temporary)) {
            x.refuse(item.path,
                     std::string(device ? "device node" : "FIFO") + " not made: " + platform::last_error_text());
            return;
        }
        break;
    }
    case ItemKind::socket: x.refuse(item.path, "a socket; nothing can be made of it"); return;
    case ItemKind::folder: return;
    }
    if (item.kind != ItemKind::file &&
        !platform::set_entry_attributes(here, temporary, item.kind == ItemKind::link, a, why)) {
        platform::remove_in(here, temporary);
        x.refuse(item.path, why);
        return;
    }
    if (!platform::rename_in(here, temporary, item.name, x.options.overwrite)) {
        const std::string error = platform::last_error_text();
        platform::remove_in(here, temporary);
        x.refuse(item.path, "cannot put it in place: " + error);
        return;
    }
    if (written_as.volume || written_as.object)
        x.made.insert({written_as.volume, written_as.object});
    else
        x.remember(here, item.name);
    if (!platform::finish_entry(here, item.name, a, why))
        x.refuse(item.path, why);
    ++(item.kind == ItemKind::file ? x.outcome.files : item.kind == ItemKind::link ? x.outcome.links : x.outcome.nodes);
}

void extract_folder(Extraction& x, uint32_t index, platform::Folder& here)
{
    for (uint32_t child : x.files.items[index].children) {
        if (x.stopped())
            return;
        if (!x.wanted[child])
            continue;
        const ImageItem& item = x.files.items[child];
        if (const char* bad = platform::unusable_name(item.name)) {
            x.refuse(item.path, std::string(bad) + "; not extracted" +
                                    (item.kind == ItemKind::folder ? ", nor anything in it" : ""));
            continue;
        }
        const platform::EntryLook look = platform::look_in(here, item.name);
        if (look.kind != platform::EntryKind::missing && look.kind != platform::EntryKind::unknown &&
            x.made.count({look.identity.volume, look.identity.object})) {
            x.refuse(item.path,
                     "a second entry for a path already extracted (two records of one name, or names "
                     "this file system does not tell apart, such as ones differing only in case); the "
                     "first is kept");
            continue;
        }
        if (item.kind != ItemKind::folder) {
            write_entry(x, item, here, look);
            continue;
        }
        if (look.kind == platform::EntryKind::link) {
            x.refuse(item.path,
                     "a symbolic link stands at this path; it is not followed, and nothing is extracted "
                     "into it");
            continue;
        }
        if (look.kind != platform::EntryKind::missing && look.kind != platform::EntryKind::folder) {
            x.refuse(item.path, "something other than a folder stands at this path; left as it is");
            continue;
        }
        platform::Folder inner;
        // A folder only on the way to a chosen item is made as mkdir makes one.
        if (!platform::enter_folder(here, item.name, look.kind == platform::EntryKind::missing, inner,
                                    x.wanted[child] == 1 ? 0700 : 0777)) {
            x.refuse(item.path, "cannot make or open the folder: " + platform::last_error_text());
            continue;
        }
        x.remember(here, item.name);
        if (look.kind == platform::EntryKind::missing)
            ++x.outcome.folders;
        extract_folder(x, child, inner);
        std::string why;
        if (x.wanted[child] == 1 && !x.outcome.stopped &&
            !platform::set_folder_attributes(inner, x.attributes_of(item), why))
            x.refuse(item.path, why);
    }
}

const char* platform_file_name(uint8_t id)
{
    switch (id) {
    case 0: return "bios";
    case 1: return "powerpc";
    case 2: return "mac";
    case 0xEF: return "efi";
    }
    return "other";
}

}  // namespace

ExtractOutcome extract_image(ImageSource& source, const ImageReading& reading, const ImageFiles& files,
                             const char* folder, const ExtractOptions& options,
                             const std::function<void(const std::string&)>& report, const volatile int32_t* stop)
{
    Extraction x{source, files, options, report, stop, {}, {}, {}, 0, false, {}};
    x.budget = std::max(source.size * extract_budget_factor, extract_budget_floor);
    x.set_owners = options.same_owner && platform::may_set_owners();
    x.wanted.assign(files.items.size(), options.paths.empty() ? 1 : 0);
    for (const std::string& path : options.paths) {
        const int64_t found = find_item(files, path);
        if (found < 0) {
            x.refuse(path, "not in the image's " + files.tree + " tree");
            continue;
        }
        // The item and everything below it; the folders on the way are
        // made, not given the image's attributes.
        std::vector<uint32_t> todo{uint32_t(found)};
        while (!todo.empty()) {
            const uint32_t i = todo.back();
            todo.pop_back();
            x.wanted[i] = 1;
            todo.insert(todo.end(), files.items[i].children.begin(), files.items[i].children.end());
        }
        for (uint32_t up = files.items[uint32_t(found)].parent; up != 0 && x.wanted[up] == 0;
             up = files.items[up].parent)
            x.wanted[up] = 2;
    }
    platform::Folder top;
    if (!platform::open_folder(folder, true, top)) {
        x.outcome.failure =
            std::string("cannot make or open the folder ") + folder + ": " + platform::last_error_text();
        return x.outcome;
    }
    x.remember(top, ".");
    extract_folder(x, 0, top);
    if (options.boot && !x.stopped()) {
        for (size_t i = 0; i < reading.boot_entries.size() && !x.stopped(); ++i) {
            const BootEntry& e = reading.boot_entries[i];
            ImageItem item;
            item.name = "boot-" + std::to_string(i + 1) + "-" + platform_file_name(e.platform_id) + ".img";
            item.path = item.name;
            item.extent = e.load_rba;
            item.size = boot_image_bytes(source, reading, e);
            item.modified = item.accessed = files.items[0].modified;
            if (const char* bad = platform::unusable_name(item.name))
                x.refuse(item.path, bad);  // never: the name is made here
            else
                write_entry(x, item, top, platform::look_in(top, item.name));
        }
    }
    return x.outcome;
}
