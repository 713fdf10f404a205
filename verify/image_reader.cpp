#include "verify/image_reader.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "mastering/boot.h"
#include "mastering/descriptors.h"
#include "mastering/layout.h"
#include "mastering/records.h"
#include "format/both_endian.h"
#include "format/ecma119.h"
#include "format/ecma130.h"
#include "format/el_torito.h"
#include "format/rock_ridge.h"
#include "platform/endian.h"
#include "sector/check.h"
#include "sector/mode1.h"

namespace {

// Raw sectors read per request while user data is pulled out of them.
constexpr uint32_t raw_batch = 64;

// The catalog sectors read; more El Torito entries than they hold are a fault.
constexpr uint32_t catalog_sectors = 4;

constexpr uint32_t max_depth_read = 255;
constexpr uint32_t max_path_table_records = 65535;
constexpr uint32_t max_descriptors = 256;

std::string number(uint64_t n)
{
    return std::to_string(n);
}

// Text of identifier bytes for messages: control bytes as \xNN.
std::string printable(const std::string& bytes)
{
    std::string text;
    for (unsigned char c : bytes) {
        if (c < 0x20 || c == 0x7F) {
            const char digits[] = "0123456789ABCDEF";
            text += "\\x";
            text += digits[c >> 4];
            text += digits[c & 15];
        } else
            text += char(c);
    }
    return text;
}

// A Joliet identifier (big-endian UCS-2) as text in the code page of names.
std::string joliet_text(const uint8_t* p, size_t n)
{
    std::vector<uint16_t> units(n / 2 + 1, 0);
    for (size_t i = 0; i + 1 < n; i += 2)
        units[i / 2] = get_be16(p + i);
    std::vector<char> text(n * 2 + 4, 0);
    platform::ucs2_to_oem(units.data(), text.data(), text.size());
    return printable(text.data());
}

bool read_bytes(ImageSource& s, uint64_t offset, void* out, size_t n, std::string& why)
{
    if (offset > s.size || n > s.size - offset) {
        why = "past the end of the file";
        return false;
    }
    if (s.memory) {
        std::memcpy(out, s.memory + offset, n);
        return true;
    }
    if (!platform::seek_to(s.file, offset)) {
        why = platform::last_error_text();
        return false;
    }
    int64_t got = platform::read_full(s.file, out, n);
    if (got != int64_t(n)) {
        why = got < 0 ? platform::last_error_text() : "the file ended early";
        return false;
    }
    return true;
}

// A place of the image that something occupies, for the overlap check.
struct Region {
    enum Kind : uint8_t { structure, directory, file, boot_data };
    uint64_t start, end;  // sectors, end exclusive
    Kind kind;
    const ImageTree* tree;
    bool joliet;
    uint32_t index;
    std::string what;  // for structure and boot_data
};

struct PathRecord {
    uint32_t extent;
    uint16_t parent;
    std::string identifier;
};

struct Reader {
    ImageSource& source;
    ImageReading& r;
    std::string er_seen;  // the identifiers of the ER fields met, one after the other
    uint64_t directory_bytes = 0;
    size_t more_faults = 0;
    bool stopped = false;
    std::vector<Region> regions;

    void fault(std::string text)
    {
        if (r.faults.size() < max_faults)
            r.faults.push_back(std::move(text));
        else
            ++more_faults;
    }

    // Checks sectors [extent, extent + ceil(bytes / 2048)) against the
    // volume space and the file. False when they cannot be read. `what`
    // gives the name of the owner, made only for a fault.
    // A boot image may lie beyond the volume space (a partition appended
    // to a hybrid image): `file_only` checks against the file alone.
    template <typename Name>
    bool inside(uint32_t extent, uint64_t bytes, Name what, bool file_only = false)
    {
        const uint64_t end = uint64_t(extent) + (bytes + sector_size - 1) / sector_size;
        if (end <= r.file_sectors && (file_only || end <= r.volume_space_size))
            return true;
        const std::string span = "sectors " + number(extent) + "-" + number(end == extent ? extent : end - 1);
        if (end > r.file_sectors) {
            fault(what() + ": " + span + " run past the end of the file (" + number(r.file_sectors) + " sectors)");
            return false;
        }
        fault(what() + ": " + span + " run past the volume space (" + number(r.volume_space_size) + " sectors)");
        return true;
    }
    bool inside(uint32_t extent, uint64_t bytes, const std::string& what)
    {
        return inside(extent, bytes, [&] { return what; });
    }

    // A both-endian field (ECMA-119 7.2.3, 7.3.3): its two forms must agree.
    uint32_t agreeing(BothEndian v, const std::string& where, const char* field)
    {
        if (!v.agree())
            fault(where + ": " + field + " is " + number(v.little) + " in the little-endian and " + number(v.big) +
                  " in the big-endian form");
        return v.little;
    }

    uint32_t both32(const uint8_t* p, const std::string& where, const char* field)
    {
        return agreeing(read_both32(p), where, field);
    }

    uint16_t both16(const uint8_t* p, const std::string& where, const char* field)
    {
        return uint16_t(agreeing(read_both16(p), where, field));
    }

    bool read(uint32_t first, uint32_t count, std::vector<uint8_t>& out, const std::string& what)
    {
        out.assign(size_t(count) * sector_size, 0);
        std::string why;
        if (read_user_data(source, first, count, out.data(), why))
            return true;
        fault(what + ": " + why);
        return false;
    }
};

// The System Use fields of one record (SUSP 4, 5; RRIP 4.1): the area in
// the record, then each continuation area its CE fields lead to, each read
// once, at most susp::max_continuations of them, each inside one block of
// the image. Faults name the record.
template <typename Where>
void read_system_use(Reader& rd, const uint8_t* area, uint32_t length, PosixRecord& out, Where where)
{
    constexpr size_t most_text = 4096;  // a name or link target longer than any system allows
    std::vector<uint8_t> continuation;
    bool name_done = false, link_done = false, component_open = false;
    for (int areas = 0;; ++areas) {
        uint32_t next_block = 0, next_offset = 0, next_length = 0;
        bool next = false;
        for (uint32_t at = 0; at + susp::header_length <= length;) {
            const uint8_t* f = area + at;
            const uint32_t n = f[susp::length];
            if (n < susp::header_length || at + n > length) {
                if (f[0] == 0)  // padding
                    break;
                rd.fault(where() + ": a System Use field of " + number(n) + " bytes where " + number(length - at) +
                         " remain");
                break;
            }
            at += n;
            const std::string signature(reinterpret_cast<const char*>(f), 2);
            if (signature == "ST")
                break;
            if (signature == "CE" && n >= susp::ce_length) {
                next_block = rd.both32(f + susp::ce_block, where(), "the CE block");
                next_offset = rd.both32(f + susp::ce_offset, where(), "the CE offset");
                next_length = rd.both32(f + susp::ce_area_length, where(), "the CE length");
                next = true;
            } else if (signature == "NM" && n >= rrip::nm_header_length) {
                out.present = true;
                if (name_done) {
                    rd.fault(where() + ": an NM field after the name had ended");
                    continue;
                }
                out.name.append(reinterpret_cast<const char*>(f) + rrip::nm_header_length, n - rrip::nm_header_length);
                name_done = !(f[rrip::nm_flags] & rrip::nm_continue);
                if (out.name.size() > most_text) {
                    rd.fault(where() + ": a Rock Ridge name of more than " + number(most_text) + " bytes");
                    out.name.resize(most_text);
                    name_done = true;
                }
            } else if (signature == "PX" && (n == rrip::px_length || n == rrip::px_length_1_12)) {
                out.present = out.has_attributes = true;
                out.mode = rd.both32(f + rrip::px_mode, where(), "the PX mode");
                out.links = rd.both32(f + rrip::px_links, where(), "the PX link count");
                out.owner = rd.both32(f + rrip::px_owner, where(), "the PX owner");
                out.group = rd.both32(f + rrip::px_group, where(), "the PX group");
            } else if (signature == "PX") {
                rd.fault(where() + ": a PX field of " + number(n) + " bytes (36 or 44 expected)");
            } else if (signature == "SL" && n >= rrip::sl_header_length) {
                out.present = out.link = true;
                if (link_done) {
                    rd.fault(where() + ": an SL field after the link had ended");
                    continue;
                }
                for (uint32_t c = rrip::sl_header_length; c < n;) {
                    if (c + 2 > n || c + 2 + f[c + 1] > n) {
                        rd.fault(where() + ": an SL component runs past its field");
                        break;
                    }
                    const uint8_t flags = f[c], size = f[c + 1];
                    std::string& t = out.link_target;
                    if (!component_open && !t.empty() && t.back() != '/')
                        t += '/';
                    if (flags & rrip::component_root)
                        t = "/";
                    else if (flags & rrip::component_current)
                        t += ".";
                    else if (flags & rrip::component_parent)
                        t += "..";
                    else
                        t.append(reinterpret_cast<const char*>(f) + c + 2, size);
                    component_open = (flags & rrip::component_continue) != 0;
                    c += 2 + size;
                    if (t.size() > most_text) {
                        rd.fault(where() + ": a link target of more than " + number(most_text) + " bytes");
                        t.resize(most_text);
                        link_done = true;
                        break;
                    }
                }
                link_done = link_done || !(f[rrip::sl_flags] & rrip::sl_continue);
            } else if (signature == "ER" && n >= susp::er_header_length && susp::er_header_length + f[4] <= n) {
                rd.er_seen.append(reinterpret_cast<const char*>(f) + susp::er_header_length, f[4]);
                rd.er_seen += ' ';
            } else if ((signature == "CL" || signature == "PL") && n == rrip::cl_length) {
                out.present = true;
                const bool child = signature == "CL";
                (child ? out.child_link : out.parent_link) = true;
                (child ? out.child_location : out.parent_location) =
                    rd.both32(f + rrip::location, where(), child ? "the CL location" : "the PL location");
            } else if (signature == "RE") {
                out.present = out.relocated = true;
            } else if (signature == "TF" && n > rrip::tf_flags) {
                out.present = true;
                const uint8_t flags = f[rrip::tf_flags];
                const uint32_t each = (flags & rrip::tf_long_form) ? 17 : 7;
                uint32_t t = rrip::tf_flags + 1;
                for (uint8_t bit = rrip::tf_creation; bit < rrip::tf_long_form && t + each <= n; bit <<= 1) {
                    if (!(flags & bit))
                        continue;
                    const int64_t when = each == 7 ? seconds_of_short_date(f + t) : seconds_of_long_date(f + t);
                    if (bit == rrip::tf_modify)
                        out.modified_known = true, out.modified = when;
                    else if (bit == rrip::tf_access)
                        out.accessed_known = true, out.accessed = when;
                    t += each;
                }
            } else if (signature == "PN" && n == rrip::pn_length) {
                out.present = out.device_known = true;
                out.device = uint64_t(rd.both32(f + rrip::pn_high, where(), "the PN high word")) << 32 |
                             rd.both32(f + rrip::pn_low, where(), "the PN low word");
            } else if (signature == "TF" || signature == "PN" || signature == "CL" || signature == "PL" ||
                       signature == "RR") {
                out.present = true;
            }
        }
        if (!next)
            return;
        if (areas + 1 > susp::max_continuations) {
            rd.fault(where() + ": more than " + number(susp::max_continuations) +
                     " continuation areas; the rest is not read");
            return;
        }
        if (next_length == 0 || uint64_t(next_offset) + next_length > sector_size) {
            rd.fault(where() + ": a continuation area of " + number(next_length) + " bytes at offset " +
                     number(next_offset) + " does not lie within one block");
            return;
        }
        if (!rd.inside(next_block, sector_size, [&] { return where() + ": its continuation area"; }) ||
            !rd.read(next_block, 1, continuation, where() + ": its continuation area"))
            return;
        area = continuation.data() + next_offset;
        length = next_length;
    }
}

// The root's "." record of the ISO 9660 tree: SP (SUSP 5.3) first in its
// System Use area says that SUSP is in use, and how many bytes of every
// other area to skip; ER (SUSP 5.5) names the extension.
void find_system_use(Reader& rd, ImageTree& tree, const uint8_t* record, uint32_t length, const std::string& where)
{
    const uint32_t start = dot_record_length;
    if (length < start + susp::sp_length)
        return;
    const uint8_t* sp = record + start;
    if (sp[0] != 'S' || sp[1] != 'P' || sp[susp::length] != susp::sp_length || sp[susp::data] != susp::sp_check_first ||
        sp[susp::data + 1] != susp::sp_check_second)
        return;
    tree.system_use = true;
    tree.system_use_skip = sp[6];
    // The ER may lie in a continuation area: the fields are walked for it,
    // and the root's own attributes kept.
    PosixRecord root;
    read_system_use(rd, record + start, length - start, root, [&] { return where + ": the root's \".\" record"; });
    root.name.clear();
    tree.directories[0].posix = std::move(root);
    for (const char* id : {rrip::identifier_1991a, rrip::identifier_p1282, rrip::identifier_1282})
        if (tree.rock_ridge.empty() && rd.er_seen.find(id) != std::string::npos)
            tree.rock_ridge = id;
}

std::string tree_label(bool joliet)
{
    return joliet ? "Joliet directory " : "directory ";
}

// The records of one directory extent (ECMA-119 6.8.1, 9.1). Subdirectories
// not yet seen are appended to the tree for a later pass.
void read_directory(Reader& rd, ImageTree& tree, uint32_t index, uint32_t depth, bool joliet,
                    std::unordered_map<uint32_t, uint32_t>& seen, std::vector<uint32_t>& depths)
{
    namespace at = directory_record_offset;
    const TreeDirectory self = tree.directories[index];
    const TreeDirectory& parent = tree.directories[self.parent];
    const uint32_t parent_extent = parent.extent, parent_size = parent.size;
    const std::string where = tree_label(joliet) + directory_path(tree, index);
    if (self.size == 0) {
        rd.fault(where + ": data length 0, not even room for its \".\" and \"..\" records");
        return;
    }
    if (!rd.inside(self.extent, self.size, where))
        return;
    const uint64_t cap = directory_byte_cap(rd.r.file_sectors);
    if (rd.directory_bytes + self.size > cap) {
        rd.fault(where + ": the directories hold more than " + number(cap) +
                 " bytes of records, more than the file could hold apart; reading stopped");
        rd.stopped = true;
        return;
    }
    rd.directory_bytes += self.size;
    const uint32_t sectors = sectors_for(self.size);
    rd.regions.push_back({self.extent, uint64_t(self.extent) + sectors, Region::directory, &tree, joliet, index, {}});
    std::vector<uint8_t> data;
    if (!rd.read(self.extent, sectors, data, where))
        return;

    uint32_t position = 0, record_number = 0;
    // A name may stand once in a directory (the records of one multi-extent
    // file share theirs, one after the other).
    std::unordered_set<std::string> names_here;
    std::string previous_identifier;
    bool previous_multi_extent = false;
    uint32_t file_record = UINT32_MAX;  // the number of the record that last gave a file
    while (position < self.size) {
        const uint32_t sector_end = std::min<uint32_t>((position / sector_size + 1) * sector_size, self.size);
        const uint8_t* p = data.data() + position;
        const uint32_t length = p[at::length];
        const uint32_t record_start = position;
        auto at_byte = [&] {
            return where + ": record at byte " + number(record_start) + " (sector " +
                   number(self.extent + record_start / sector_size) + ")";
        };
        if (length == 0) {  // the rest of the sector is unused, and zero
            if (std::any_of(p, p + (sector_end - position), [](uint8_t b) { return b != 0; }))
                rd.fault(at_byte() + ": length 0, but the rest of the sector is not zero");
            position = sector_end;
            continue;
        }
        if (position + length > sector_end) {
            rd.fault(at_byte() + (position + length > self.size ? " runs past the end of the directory's extent"
                                                                : " crosses the sector end"));
            position = sector_end;
            continue;
        }
        if (length < dot_record_length) {
            rd.fault(at_byte() + " is " + number(length) + " bytes long, shorter than any directory record");
            position = sector_end;
            continue;
        }
        position += length;
        const uint32_t id_length = p[at::identifier_length];
        if (id_length == 0 || at::identifier + id_length > length) {
            rd.fault(at_byte() + ": an identifier of " + number(id_length) + " bytes does not fit its length of " +
                     number(length));
            continue;
        }
        const uint32_t extent = rd.both32(p + at::extent, at_byte(), "the extent");
        const uint32_t size = rd.both32(p + at::data_length, at_byte(), "the data length");
        (void)rd.both16(p + at::volume_sequence_number, at_byte(), "the volume sequence number");
        const uint8_t flags = p[at::file_flags];
        const bool is_directory = flags & 0x02;
        const std::string identifier(reinterpret_cast<const char*>(p + at::identifier), id_length);
        const bool dot =
            id_length == 1 && (p[at::identifier] == dot_identifier || p[at::identifier] == dot_dot_identifier);
        const uint32_t number_here = record_number++;
        if (number_here == 0 && index == 0 && !joliet && dot)
            find_system_use(rd, tree, p, length, where);
        PosixRecord posix;
        // Of "." and "..", only ".." has a field read here: PL.
        if (tree.system_use && (!dot || number_here == 1)) {
            const uint32_t from = directory_record_length(id_length) + tree.system_use_skip;
            if (from < length)
                read_system_use(rd, p + from, length - from, posix, [&] { return at_byte(); });
        }
        if (number_here < 2) {
            const bool want_dot = number_here == 0;
            const char* name = want_dot ? "\".\"" : "\"..\"";
            const uint8_t byte = want_dot ? dot_identifier : dot_dot_identifier;
            if (!(dot && p[at::identifier] == byte)) {
                rd.fault(at_byte() + ": the " + (want_dot ? std::string("first") : std::string("second")) +
                         " record is not the " + name + " record");
            } else {
                const uint32_t want_extent = want_dot ? self.extent : parent_extent;
                const uint32_t want_size = want_dot ? self.size : parent_size;
                // A common mastering library has written the Joliet ".."
                // records as copies of ".": readers go by the path tables
                // or their own walk, and such images work everywhere, so
                // that form passes.
                if (!want_dot && posix.parent_link) {
                    tree.directories[index].posix.parent_link = true;
                    tree.directories[index].posix.parent_location = posix.parent_location;
                }
                const bool joliet_self = joliet && !want_dot && extent == self.extent && size == self.size;
                if (!joliet_self && (extent != want_extent || size != want_size || !is_directory))
                    rd.fault(at_byte() + ": the " + name + " record gives sector " + number(extent) + " and " +
                             number(size) + " bytes" + (is_directory ? "" : " without the directory flag") +
                             "; the directory it stands for lies at sector " + number(want_extent) + " with " +
                             number(want_size) + " bytes");
                continue;
            }
        }
        if (dot) {
            rd.fault(at_byte() + ": a \".\" or \"..\" record after the first two");
            continue;
        }
        const std::string name = joliet ? joliet_text(p + at::identifier, id_length) : printable(identifier);
        const bool continues = previous_multi_extent && identifier == previous_identifier;
        if (!continues && !names_here.insert(identifier).second)
            rd.fault(at_byte() + ": a second record named " + name + " in the directory");
        previous_identifier = identifier;
        previous_multi_extent = (flags & 0x80) != 0;
        if (joliet && id_length % 2)
            rd.fault(at_byte() + ": a Joliet identifier of odd length " + number(id_length));
        const uint32_t attribute_sectors = p[at::extended_attribute_length];
        if (is_directory) {
            if (depth + 1 > max_depth_read) {
                rd.fault(where + ": subdirectory " + name + " lies deeper than " + number(max_depth_read) +
                         " levels; not read");
                continue;
            }
            if (tree.directories.size() > max_path_table_records) {
                rd.fault(where + ": more than " + number(max_path_table_records) +
                         " directories, more than path tables can number; reading stopped");
                rd.stopped = true;
                return;
            }
            auto [known, fresh] = seen.emplace(extent, uint32_t(tree.directories.size()));
            if (!fresh) {
                rd.fault(where + ": subdirectory " + name + " points at sector " + number(extent) +
                         ", already read as " + tree_label(joliet) + directory_path(tree, known->second) + " (a loop)");
                continue;
            }
            tree.directories.push_back({name, identifier, index, extent, size, std::move(posix),
                                        seconds_of_short_date(p + at::recording_date)});
            depths.push_back(depth + 1);
            continue;
        }
        if (posix.child_link) {  // a relocated directory's place: it is read where it lies
            tree.child_links.push_back({index, posix.child_location, name});
            continue;
        }
        const uint64_t start = uint64_t(extent) + attribute_sectors;
        if (start > UINT32_MAX) {
            rd.fault(at_byte() + ": file " + name + " begins beyond sector " + number(UINT32_MAX));
            continue;
        }
        const bool joins = continues && file_record != UINT32_MAX && file_record + 1 == number_here;
        file_record = number_here;
        if (!joins)
            tree.files.push_back({name,
                                  index,
                                  uint32_t(start),
                                  size,
                                  (flags & 0x01) != 0,
                                  identifier,
                                  std::move(posix),
                                  {},
                                  seconds_of_short_date(p + at::recording_date)});
        TreeFile& file = tree.files.back();
        if (joins) {  // the next extent of the file before
            if (file.sections.empty())
                file.sections.push_back({file.extent, uint32_t(file.size)});
            file.sections.push_back({uint32_t(start), size});
            file.size += size;
            file.posix = std::move(posix);
        }
        if (size > 0 && rd.inside(uint32_t(start), size,
                                  [&] { return (joliet ? "Joliet file " : "file ") + file_path(tree, file); }))
            rd.regions.push_back(
                {start, start + sectors_for(size), Region::file, &tree, joliet, uint32_t(tree.files.size() - 1), {}});
    }
    if (record_number == 0)
        rd.fault(where + ": no records, not even \".\" and \"..\"");
}

void read_tree(Reader& rd, ImageTree& tree, const uint8_t* descriptor, bool joliet)
{
    namespace at = directory_record_offset;
    const uint8_t* root = descriptor + descriptor_offset::root_directory_record;
    const std::string where = (joliet ? "Joliet descriptor" : "primary descriptor") + std::string(": root record");
    if (root[at::length] != dot_record_length || root[at::identifier_length] != 1 || !(root[at::file_flags] & 0x02)) {
        rd.fault(where + " is not a 34-byte directory record with a one-byte identifier");
        return;
    }
    tree.present = true;
    const uint32_t extent = rd.both32(root + at::extent, where, "the extent");
    const uint32_t size = rd.both32(root + at::data_length, where, "the data length");
    tree.directories.push_back({"",
                                std::string(1, char(dot_identifier)),
                                0,
                                extent,
                                size,
                                {},
                                seconds_of_short_date(root + at::recording_date)});
    std::unordered_map<uint32_t, uint32_t> seen{{extent, 0}};
    std::vector<uint32_t> depths{1};
    for (uint32_t i = 0; i < tree.directories.size() && !rd.stopped; ++i)
        read_directory(rd, tree, i, depths[i], joliet, seen, depths);
    // Each CL leads to a directory relocated (RE) whose ".." leads back (PL).
    for (const ImageTree::ChildLink& link : tree.child_links) {
        auto found = seen.find(link.location);
        const std::string at = directory_path(tree, link.directory) + "/" + link.name;
        if (found == seen.end()) {
            rd.fault(at + ": its Rock Ridge CL names sector " + number(link.location) + ", where no directory lies");
            continue;
        }
        const TreeDirectory& moved = tree.directories[found->second];
        if (!moved.posix.relocated)
            rd.fault(at + ": its Rock Ridge CL names " + directory_path(tree, found->second) +
                     ", which has no RE field");
        if (moved.posix.parent_location != tree.directories[link.directory].extent)
            rd.fault(at + ": its relocated directory's \"..\" names sector " + number(moved.posix.parent_location) +
                     " in PL, not its place's folder at " + number(tree.directories[link.directory].extent));
    }
}

// One path table (ECMA-119 9.4) in the given byte order.
bool read_path_table(Reader& rd, uint32_t location, uint32_t size, bool big_endian, const std::string& what,
                     std::vector<PathRecord>& records)
{
    namespace at = path_table_offset;
    if (size < path_table_record_length(1)) {
        rd.fault(what + ": " + number(size) + " bytes, too few for the root's record");
        return false;
    }
    if (size > max_path_table_records * path_table_record_length(255)) {
        rd.fault(what + ": " + number(size) + " bytes, more than " + number(max_path_table_records) +
                 " records can fill");
        return false;
    }
    if (!rd.inside(location, size, what))
        return false;
    const uint32_t sectors = sectors_for(size);
    rd.regions.push_back({location, uint64_t(location) + sectors, Region::structure, nullptr, false, 0, what});
    std::vector<uint8_t> data;
    if (!rd.read(location, sectors, data, what))
        return false;
    uint32_t position = 0;
    while (position < size) {
        const uint8_t* p = data.data() + position;
        const uint32_t length = size - position < 8 ? 0 : path_table_record_length(p[at::identifier_length]);
        if (length == 0 || position + length > size) {
            rd.fault(what + ": the record at byte " + number(position) + " runs past the table's size of " +
                     number(size) + " bytes");
            break;
        }
        if (p[at::identifier_length] == 0) {
            rd.fault(what + ": the record at byte " + number(position) + " has no identifier");
            break;
        }
        if (records.size() == max_path_table_records) {
            rd.fault(what + ": more than " + number(max_path_table_records) + " records");
            break;
        }
        records.push_back({big_endian ? get_be32(p + at::extent) : get_le32(p + at::extent),
                           big_endian ? get_be16(p + at::parent_number) : get_le16(p + at::parent_number),
                           std::string(reinterpret_cast<const char*>(p + at::identifier), p[at::identifier_length])});
        position += length;
    }
    return true;
}

// The path tables of a tree against each other and against its directories.
void check_path_tables(Reader& rd, const ImageTree& tree, const uint8_t* descriptor, bool joliet)
{
    const std::string prefix = joliet ? "Joliet " : "";
    const uint32_t size = rd.both32(descriptor + descriptor_offset::path_table_size,
                                    joliet ? "Joliet descriptor" : "primary descriptor", "the path table size");
    struct Table {
        int offset;
        bool big_endian;
        const char* name;
        bool optional;
    };
    const Table tables[] = {
        {descriptor_offset::type_l_path_table, false, "type L path table", false},
        {descriptor_offset::type_l_path_table + 4, false, "optional type L path table", true},
        {descriptor_offset::type_m_path_table, true, "type M path table", false},
        {descriptor_offset::type_m_path_table + 4, true, "optional type M path table", true},
    };
    std::vector<PathRecord> reference;
    bool have_reference = false;
    for (const Table& t : tables) {
        const uint8_t* field = descriptor + t.offset;
        const uint32_t location = t.big_endian ? get_be32(field) : get_le32(field);
        const std::string what = prefix + t.name;
        if (location == 0) {
            if (!t.optional)
                rd.fault(what + ": no location given");
            continue;
        }
        std::vector<PathRecord> records;
        if (!read_path_table(rd, location, size, t.big_endian, what + " at sector " + number(location), records))
            continue;
        if (!have_reference) {
            reference = std::move(records);
            have_reference = true;
            continue;
        }
        if (records.size() != reference.size()) {
            rd.fault(what + ": " + number(records.size()) + " records, the type L table " + number(reference.size()));
            continue;
        }
        for (size_t i = 0; i < records.size(); ++i)
            if (records[i].extent != reference[i].extent || records[i].parent != reference[i].parent ||
                records[i].identifier != reference[i].identifier) {
                rd.fault(what + ": record " + number(i + 1) + " differs from that of the type L table");
                break;
            }
    }
    if (!have_reference)
        return;

    const std::string what = prefix + "path table";
    const auto& directories = tree.directories;
    if (reference.size() != directories.size())
        rd.fault(what + ": " + number(reference.size()) + " directories, the directory records " +
                 number(directories.size()));
    std::unordered_map<uint32_t, uint32_t> by_extent;
    for (uint32_t i = 0; i < directories.size(); ++i)
        by_extent.emplace(directories[i].extent, i);
    std::vector<bool> listed(directories.size(), false);
    for (size_t k = 0; k < reference.size(); ++k) {
        const PathRecord& record = reference[k];
        const size_t n = k + 1;
        const std::string at =
            what + ": record " + number(n) + " (" +
            (joliet ? joliet_text(reinterpret_cast<const uint8_t*>(record.identifier.data()), record.identifier.size())
                    : printable(record.identifier)) +
            ")";
        const bool parent_valid = n == 1 ? record.parent == 1 : record.parent >= 1 && record.parent < n;
        if (!parent_valid) {
            rd.fault(at + ": parent number " + number(record.parent) + " names no earlier record");
            continue;
        }
        auto found = by_extent.find(record.extent);
        if (found == by_extent.end()) {
            rd.fault(at + ": sector " + number(record.extent) + " holds no directory of the tree");
            continue;
        }
        const uint32_t d = found->second;
        listed[d] = true;
        const std::string path = directory_path(tree, d);
        if (n == 1 && d != 0) {
            rd.fault(at + ": the first record is not the root's but " + path + "'s");
            continue;
        }
        if (record.identifier != directories[d].identifier)
            rd.fault(at + ": the identifier differs from that of the directory record of " + path);
        const uint32_t parent_extent = reference[record.parent - 1].extent;
        if (parent_extent != directories[directories[d].parent].extent)
            rd.fault(at + ": parent number " + number(record.parent) + " (sector " + number(parent_extent) +
                     ") is not the directory holding " + path + " (sector " +
                     number(directories[directories[d].parent].extent) + ")");
    }
    for (uint32_t d = 0; d < directories.size(); ++d)
        if (!listed[d])
            rd.fault(what + ": directory " + directory_path(tree, d) + " is missing");
}

// Sectors of the image a boot entry loads: for no emulation its sector
// count of 512-byte virtual sectors; an emulated diskette or hard disk is
// taken by its first sector only, since nothing makes the image file as large
// as the medium it stands for.
uint64_t boot_image_sectors(const BootEntry& e)
{
    if (e.media_type != 0)
        return 1;
    return std::max<uint64_t>(1, (uint64_t(e.sector_count) * 512 + sector_size - 1) / sector_size);
}

void read_boot_entry(Reader& rd, const uint8_t* p, uint8_t platform_id, const std::string& what)
{
    BootEntry e;
    e.platform_id = platform_id;
    e.bootable = p[0] == catalog_byte::bootable;
    if (!e.bootable && p[0] != catalog_byte::not_bootable)
        rd.fault(what + ": boot indicator " + number(p[0]) + " is neither 0x88 nor 0");
    e.media_type = p[1] & catalog_byte::media_type_mask;
    if (e.media_type > 4)
        rd.fault(what + ": media type " + number(e.media_type) + " is none of 0 to 4");
    e.sector_count = get_le16(p + catalog_offset::sector_count - catalog_entry_size);
    e.load_rba = get_le32(p + catalog_offset::load_rba - catalog_entry_size);
    const uint64_t sectors = boot_image_sectors(e);
    if (rd.inside(
            e.load_rba, sectors * sector_size, [&] { return what + ": boot image"; }, true))
        rd.regions.push_back(
            {e.load_rba, e.load_rba + sectors, Region::boot_data, nullptr, false, 0, what + " boot image"});
    rd.r.boot_entries.push_back(e);
}

// The El Torito catalog: validation entry, initial/default entry, then the
// section headers with their entries, up to the last section.
void read_boot_catalog(Reader& rd)
{
    const uint32_t catalog = rd.r.boot_catalog;
    const std::string where = "boot catalog at sector " + number(catalog);
    if (!rd.inside(catalog, sector_size, where))
        return;
    const uint32_t count = std::min(catalog_sectors, rd.r.file_sectors - catalog);
    rd.regions.push_back({catalog, uint64_t(catalog) + 1, Region::boot_data, nullptr, false, 0, "the boot catalog"});
    std::vector<uint8_t> data;
    if (!rd.read(catalog, count, data, where))
        return;
    const uint8_t* v = data.data();
    if (v[catalog_offset::header_id] != catalog_byte::header_id || v[catalog_offset::key] != catalog_byte::key_first ||
        v[catalog_offset::key + 1] != catalog_byte::key_second) {
        rd.fault(where + ": no validation entry (header 1, key 55 AA)");
        return;
    }
    uint32_t sum = 0;
    for (int i = 0; i < catalog_entry_size; i += 2)
        sum += get_le16(v + i);
    if (sum & 0xFFFF)
        rd.fault(where + ": the validation entry's checksum is wrong (its words add up to " + number(sum & 0xFFFF) +
                 ", not 0)");
    read_boot_entry(rd, v + catalog_entry_size, v[catalog_offset::platform_id], where + ", initial entry");

    const size_t entries = data.size() / catalog_entry_size;
    size_t at = 2;
    uint32_t section = 0;
    bool last = false;
    while (!last && at < entries) {
        const uint8_t* h = data.data() + at * catalog_entry_size;
        if (h[0] != catalog_byte::more_sections && h[0] != catalog_byte::final_section)
            break;  // the catalog ends: the rest is unused
        last = h[0] == catalog_byte::final_section;
        ++section;
        const uint32_t section_entries = get_le16(h + section_offset::entry_count);
        ++at;
        for (uint32_t k = 0; k < section_entries; ++k) {
            if (at >= entries) {
                rd.fault(where + ": section " + number(section) + " runs past the " + number(catalog_sectors) +
                         " sectors read");
                return;
            }
            const uint8_t* e = data.data() + at * catalog_entry_size;
            read_boot_entry(rd, e, h[section_offset::platform_id],
                            where + ", section " + number(section) + " entry " + number(k + 1));
            ++at;
            bool more = e[1] & catalog_byte::extension_follows;
            while (more && at < entries) {
                const uint8_t* x = data.data() + at * catalog_entry_size;
                if (x[0] != catalog_byte::extension) {
                    rd.fault(where + ": section " + number(section) + " entry " + number(k + 1) +
                             " announces an extension that is not there");
                    break;
                }
                more = x[section_offset::extension_flags] & catalog_byte::extension_follows;
                ++at;
            }
        }
    }
    if (!last && section > 0)
        rd.fault(where + ": section " + number(section) + " says more follow, but none does");
}

std::string describe_region(const Region& g)
{
    const uint64_t last = g.end - 1;
    const std::string span = " (sectors " + number(g.start) + "-" + number(last) + ")";
    const std::string tree = g.joliet ? "Joliet " : "";
    switch (g.kind) {
    case Region::directory: return tree + "directory " + directory_path(*g.tree, g.index) + span;
    case Region::file: return tree + "file " + file_path(*g.tree, g.tree->files[g.index]) + span;
    default: return g.what + span;
    }
}

// No two things in the image share sectors, except that file data may be
// pointed at by several records (both trees, links, a boot image also listed
// as a file, the catalog listed as a file): data starting at one sector is
// one piece of data.
void check_overlaps(Reader& rd)
{
    auto& regions = rd.regions;
    std::sort(regions.begin(), regions.end(),
              [](const Region& a, const Region& b) { return a.start != b.start ? a.start < b.start : a.end < b.end; });
    const Region* open = nullptr;
    for (const Region& g : regions) {
        if (open && g.start < open->end) {
            const bool shared_data = g.start == open->start && open->kind >= Region::file && g.kind >= Region::file;
            if (!shared_data)
                rd.fault(describe_region(g) + " overlaps " + describe_region(*open));
        }
        if (!open || g.end > open->end)
            open = &g;
    }
}

const char* platform_name(uint8_t id)
{
    switch (id) {
    case 0: return "80x86";
    case 1: return "PowerPC";
    case 2: return "Mac";
    case 0xEF: return "EFI";
    }
    return "platform ?";
}

}  // namespace

bool open_image_source(const char* path, ImageSource& source, std::string& why)
{
    source.memory = nullptr;
    source.file = platform::open_for_reading(path);
    if (!source.file.valid() || !platform::file_size(source.file, source.size)) {
        why = "cannot read " + std::string(path) + ": " + platform::last_error_text();
        return false;
    }
    // The form as the sector check tells it, from the first sector starts.
    std::vector<uint8_t> head(size_t(std::min<uint64_t>(source.size, form_probe_bytes)));
    std::string ignored;
    const bool synced =
        read_bytes(source, 0, head.data(), head.size(), ignored) && looks_raw(head.data(), head.size(), source.size);
    source.form = synced ? ImageForm::raw : ImageForm::plain;
    const uint64_t sectors = source.size / (synced ? raw_sector_size : user_data_size);
    source.sectors = uint32_t(std::min<uint64_t>(sectors, UINT32_MAX));
    return true;
}

void use_image_bytes(const uint8_t* data, size_t size, ImageSource& source)
{
    source.file = platform::File();
    source.memory = data;
    source.size = size;
    const bool synced = looks_raw(data, std::min<size_t>(size, form_probe_bytes), size);
    source.form = synced ? ImageForm::raw : ImageForm::plain;
    source.sectors = uint32_t(std::min<uint64_t>(size / (synced ? raw_sector_size : user_data_size), UINT32_MAX));
}

bool read_user_data(ImageSource& source, uint32_t first, uint32_t count, uint8_t* out, std::string& fault)
{
    if (first >= source.sectors || count > source.sectors - first) {
        const uint32_t bad = first >= source.sectors ? first : source.sectors;
        fault = "sector " + number(bad) + " lies beyond the end of the file (" + number(source.sectors) + " sectors)";
        return false;
    }
    std::string why;
    if (source.form == ImageForm::plain) {
        if (read_bytes(source, uint64_t(first) * user_data_size, out, size_t(count) * user_data_size, why))
            return true;
        fault = "cannot read sectors " + number(first) + "-" + number(first + count - 1) + ": " + why;
        return false;
    }
    std::vector<uint8_t> raw(size_t(std::min(count, raw_batch)) * raw_sector_size);
    for (uint32_t done = 0; done < count;) {
        const uint32_t n = std::min(count - done, raw_batch);
        if (!read_bytes(source, uint64_t(first + done) * raw_sector_size, raw.data(), size_t(n) * raw_sector_size,
                        why)) {
            fault = "cannot read sectors " + number(first + done) + "-" + number(first + done + n - 1) + ": " + why;
            return false;
        }
        if (source.raw_tap)
            source.raw_tap(first + done, raw.data(), n);
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t* s = raw.data() + size_t(i) * raw_sector_size;
            size_t at = 0;
            if (s[sector_mode_offset] == 1)
                at = mode1::data_offset;
            else if (s[sector_mode_offset] == 2 && !(s[mode2::submode_offset] & mode2::submode_form2))
                at = mode2::form1_data_offset;
            if (at == 0) {
                fault = "sector " + number(first + done + i) + " holds no 2048 bytes of user data (" +
                        (s[sector_mode_offset] == 2 ? std::string("Mode 2 Form 2")
                                                    : "mode byte " + number(s[sector_mode_offset])) +
                        ")";
                return false;
            }
            std::memcpy(out + size_t(done + i) * user_data_size, s + at, user_data_size);
        }
        done += n;
    }
    return true;
}

namespace {

// Days from 1970-01-01 to the given day of the proleptic Gregorian calendar.
int64_t days_from_civil(int64_t year, int64_t month, int64_t day)
{
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t year_of_era = year - era * 400;
    const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

int64_t seconds_of(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute, int64_t second,
                   int8_t offset)
{
    month = std::clamp<int64_t>(month, 1, 12);
    day = std::clamp<int64_t>(day, 1, 31);
    return days_from_civil(year, month, day) * 86400 + std::min<int64_t>(hour, 23) * 3600 +
           std::min<int64_t>(minute, 59) * 60 + std::min<int64_t>(second, 59) - int64_t(offset) * 15 * 60;
}

int64_t digits(const uint8_t* p, int n)
{
    int64_t v = 0;
    for (int i = 0; i < n; ++i)
        v = v * 10 + (p[i] >= '0' && p[i] <= '9' ? p[i] - '0' : 0);
    return v;
}

}  // namespace

int64_t seconds_of_short_date(const uint8_t* p)
{
    return seconds_of(1900 + p[0], p[1], p[2], p[3], p[4], p[5], int8_t(p[6]));
}

int64_t seconds_of_long_date(const uint8_t* p)
{
    return seconds_of(digits(p, 4), digits(p + 4, 2), digits(p + 6, 2), digits(p + 8, 2), digits(p + 10, 2),
                      digits(p + 12, 2), int8_t(p[16]));
}

std::string directory_path(const ImageTree& tree, uint32_t directory)
{
    if (directory == 0)
        return "/";
    std::vector<uint32_t> chain;
    for (uint32_t d = directory; d != 0 && chain.size() <= max_depth_read; d = tree.directories[d].parent)
        chain.push_back(d);
    std::string path;
    for (auto i = chain.rbegin(); i != chain.rend(); ++i)
        path += "/" + tree.directories[*i].name;
    return path;
}

std::string file_path(const ImageTree& tree, const TreeFile& file)
{
    std::string path = directory_path(tree, file.directory);
    if (path.size() > 1)
        path += '/';
    return path + file.name;
}

ImageReading read_image(ImageSource& source)
{
    ImageReading r;
    r.form = source.form;
    r.file_size = source.size;
    r.file_sectors = source.sectors;
    Reader rd{source, r, {}, 0, 0, false, {}};
    const uint64_t form_size = source.form == ImageForm::raw ? raw_sector_size : user_data_size;
    if (source.size % form_size)
        rd.fault("the file ends in a partial sector of " + number(source.size % form_size) + " bytes");

    // The volume descriptor set (ECMA-119 6.7.1, 8).
    std::vector<uint8_t> primary, joliet, sector;
    uint32_t s = system_area_sectors, terminator = 0;
    for (; s < system_area_sectors + max_descriptors; ++s) {
        const std::string where = "volume descriptor at sector " + number(s);
        if (s >= r.file_sectors) {
            rd.fault("the volume descriptor set runs past the end of the file without a terminator");
            break;
        }
        if (!rd.read(s, 1, sector, where))
            break;
        if (std::memcmp(sector.data() + descriptor_offset::standard_identifier, standard_identifier_text, 5) != 0) {
            rd.fault(where + ": no standard identifier CD001; the set ends without a terminator");
            break;
        }
        const uint8_t type = sector[descriptor_offset::type];
        if (type == descriptor_type::terminator) {
            terminator = s;
            break;
        }
        if (type == descriptor_type::primary && primary.empty())
            primary = sector;
        const uint8_t* escape = sector.data() + descriptor_offset::escape_sequences;
        if (type == descriptor_type::supplementary && joliet.empty() && escape[0] == joliet_escape_sequence[0] &&
            escape[1] == joliet_escape_sequence[1] && (escape[2] == 0x40 || escape[2] == 0x43 || escape[2] == 0x45))
            joliet = sector;
        if (type == descriptor_type::boot_record && !r.boot_record &&
            std::memcmp(sector.data() + descriptor_offset::boot_system_id, el_torito_system_id,
                        sizeof el_torito_system_id) == 0) {
            r.boot_record = true;
            r.boot_catalog = get_le32(sector.data() + descriptor_offset::boot_catalog_pointer);
        }
    }
    if (s == system_area_sectors + max_descriptors)
        rd.fault("no volume descriptor set terminator among the first " + number(max_descriptors) + " descriptors");
    if (primary.empty()) {
        rd.fault("no primary volume descriptor");
        return r;
    }
    const std::string pvd = "primary descriptor";
    const uint16_t block =
        rd.both16(primary.data() + descriptor_offset::logical_block_size, pvd, "the logical block size");
    if (block != sector_size) {
        rd.fault(pvd + ": logical block size " + number(block) + ", not 2048; nothing more read");
        return r;
    }
    r.volume_space_size =
        rd.both32(primary.data() + descriptor_offset::volume_space_size, pvd, "the volume space size");
    (void)rd.both16(primary.data() + descriptor_offset::volume_set_size, pvd, "the volume set size");
    (void)rd.both16(primary.data() + descriptor_offset::volume_sequence_number, pvd, "the volume sequence number");
    if (r.volume_space_size > r.file_sectors)
        rd.fault(pvd + ": the volume space of " + number(r.volume_space_size) +
                 " sectors runs past the end of the file (" + number(r.file_sectors) + " sectors)");
    std::string id(reinterpret_cast<const char*>(primary.data() + descriptor_offset::volume_id), 32);
    while (!id.empty() && (id.back() == ' ' || id.back() == '\0'))
        id.pop_back();
    r.volume_id = printable(id);
    if (!joliet.empty()) {
        const uint32_t size = rd.both32(joliet.data() + descriptor_offset::volume_space_size, "Joliet descriptor",
                                        "the volume space size");
        if (size != r.volume_space_size)
            rd.fault("Joliet descriptor: volume space size " + number(size) + ", the primary's " +
                     number(r.volume_space_size));
    }
    rd.regions.push_back({system_area_sectors, uint64_t(terminator ? terminator + 1 : s), Region::structure, nullptr,
                          false, 0, "the volume descriptor set"});

    read_tree(rd, r.primary, primary.data(), false);
    if (!joliet.empty() && !rd.stopped)
        read_tree(rd, r.joliet, joliet.data(), true);
    if (!rd.stopped) {
        check_path_tables(rd, r.primary, primary.data(), false);
        if (r.joliet.present)
            check_path_tables(rd, r.joliet, joliet.data(), true);
    }
    if (r.boot_record)
        read_boot_catalog(rd);
    check_overlaps(rd);
    if (rd.more_faults)
        r.faults.push_back("and " + number(rd.more_faults) + " more faults");
    return r;
}

std::string describe_reading(const ImageReading& r)
{
    if (!r.primary.present)
        return "no ISO 9660 volume read from a file of " + number(r.file_sectors) + " " +
               (r.form == ImageForm::raw ? "2352" : "2048") + "-byte sectors";
    std::string text = "volume \"" + r.volume_id + "\": " + number(r.volume_space_size) + " sectors in a file of " +
                       number(r.file_sectors) + " " + (r.form == ImageForm::raw ? "2352" : "2048") + "-byte sectors";
    const ImageTree* trees[] = {&r.primary, &r.joliet};
    const char* names[] = {"ISO 9660", "Joliet"};
    for (int t = 0; t < 2; ++t)
        if (trees[t]->present)
            text += std::string("\n") + names[t] + " tree: " + number(trees[t]->directories.size()) + " directories, " +
                    number(trees[t]->files.size()) + " files" +
                    (trees[t]->rock_ridge.empty() ? std::string() : ", Rock Ridge (" + trees[t]->rock_ridge + ")");
    if (r.boot_record) {
        text += "\nEl Torito catalog at sector " + number(r.boot_catalog) + ": " + number(r.boot_entries.size()) +
                " boot entr" + (r.boot_entries.size() == 1 ? "y" : "ies");
        for (const BootEntry& e : r.boot_entries)
            text += std::string("\n  ") + platform_name(e.platform_id) + (e.bootable ? "" : " (not bootable)") +
                    ", media type " + number(e.media_type) + ", image at sector " + number(e.load_rba);
    }
    return text;
}

namespace {

StructureReport report_of(ImageSource& source)
{
    ImageReading reading = read_image(source);
    StructureReport report;
    report.faults = std::move(reading.faults);
    report.summary = describe_reading(reading);
    return report;
}

}  // namespace

StructureReport check_image_structure(const char* path)
{
    ImageSource source;
    std::string why;
    if (!open_image_source(path, source, why)) {
        StructureReport report;
        report.faults.push_back(why);
        return report;
    }
    return report_of(source);
}

StructureReport check_image_bytes(const uint8_t* data, size_t size)
{
    ImageSource source;
    use_image_bytes(data, size, source);
    return report_of(source);
}

bool contiguous(const TreeFile& file)
{
    uint64_t next = file.extent;
    for (const FileSection& section : file.sections) {
        if (section.extent != next)
            return false;
        if (section.size % sector_size != 0 && &section != &file.sections.back())
            return false;
        next = section.extent + uint64_t(sectors_for(section.size));
    }
    return true;
}
