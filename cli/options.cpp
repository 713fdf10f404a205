#include "cli/options.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "mastering/boot.h"
#include "mastering/descriptors.h"
#include "mastering/partition_table.h"
#include "platform/endian.h"
#include "platform/platform.h"
#include "settings/date_field.h"
#include "settings/dialog_ids.h"
#include "settings/readers.h"

namespace {

struct IdentifierOption {
    const char* name;
    int primary_id, joliet_id;
};

constexpr IdentifierOption identifier_options[] = {
    {"system-id", volume_ids::system_primary, volume_ids::system_joliet},
    {"volume-id", volume_ids::volume_primary, volume_ids::volume_joliet},
    {"volume-set-id", volume_ids::volume_set_primary, volume_ids::volume_set_joliet},
    {"publisher-id", volume_ids::publisher_primary, volume_ids::publisher_joliet},
    {"preparer-id", volume_ids::preparer_primary, volume_ids::preparer_joliet},
    {"application-id", volume_ids::application_primary, volume_ids::application_joliet},
    {"copyright-file-id", volume_ids::copyright_primary, volume_ids::copyright_joliet},
    {"abstract-file-id", volume_ids::abstract_primary, volume_ids::abstract_joliet},
    {"bibliographic-file-id", volume_ids::bibliographic_primary, volume_ids::bibliographic_joliet},
};

struct DateOption {
    const char* name;
    int date_id, zone_id;
};

constexpr DateOption date_options[] = {
    {"creation-date", volume_ids::creation_date, volume_ids::creation_zone},
    {"modification-date", volume_ids::modification_date, volume_ids::modification_zone},
    {"expiration-date", volume_ids::expiration_date, volume_ids::expiration_zone},
    {"effective-date", volume_ids::effective_date, volume_ids::effective_zone},
};

struct NumberOption {
    const char* name;
    int id;
    long maximum;  // the field's width: 16 or 8 bits
};

constexpr NumberOption number_options[] = {
    {"load-segment", boot_ids::load_segment, 65535},
    {"system-type", boot_ids::system_type, 255},
    {"sector-count", boot_ids::sector_count, 65535},
};

struct ChoiceOption {
    const char* name;
    int id;
    std::vector<const char*> values;  // position = the selection
    const char* listed;
};

const ChoiceOption choice_options[] = {
    {"boot-platform", boot_ids::platform, {"80x86", "powerpc", "mac"}, "80x86, powerpc or mac"},
    {"boot-media", boot_ids::media, {"custom", "1.2", "1.44", "2.88", "hd"}, "custom, 1.2, 1.44, 2.88 or hd"},
};

const char* const flag_options[] = {"raw",         "cue",       "quiet",           "no-joliet",     "hybrid",
                                    "verify",      "dot-files", "rock-ridge",      "rational-rock", "follow-links",
                                    "joliet-long", "exact",     "boot-info-table", "relaxed-names", "graft-points"};
const char* const other_value_options[] = {"output",   "root-date", "record-date", "boot",    "boot-id",
                                           "efi-boot", "mbr-code",  "boot-path",   "exclude", "path-list"};

bool is_flag(const std::string& name)
{
    for (const char* f : flag_options)
        if (name == f)
            return true;
    return false;
}

bool takes_value(const std::string& name)
{
    for (const char* o : other_value_options)
        if (name == o)
            return true;
    for (const IdentifierOption& o : identifier_options)
        if (name == o.name || name == std::string("joliet-") + o.name)
            return true;
    for (const DateOption& o : date_options)
        if (name == o.name)
            return true;
    for (const NumberOption& o : number_options)
        if (name == o.name)
            return true;
    for (const ChoiceOption& o : choice_options)
        if (name == o.name)
            return true;
    return false;
}

bool is_boot_detail(const std::string& name)
{
    return name == "boot-id" || name == "boot-info-table" || name == "boot-platform" || name == "boot-media" ||
           name == "load-segment" || name == "system-type" || name == "sector-count";
}

// Sets a date pair from "D" or "D,Z" (without Z the zone already in the
// store stays) and checks the pair as it then stands.
std::string set_date(ControlStore& store, int date_id, int zone_id, const std::string& name, const std::string& value,
                     bool record_date)
{
    size_t comma = value.find(',');
    set_text(store, date_id, value.substr(0, comma));
    if (comma != std::string::npos)
        set_text(store, zone_id, value.substr(comma + 1));
    const char* problem = date_text_problem(store.texts[date_id].c_str(), store.texts[zone_id].c_str(), record_date);
    if (!problem)
        return {};
    return "--" + name + " '" + value + "': " + problem;
}

std::string set_number(ControlStore& store, const NumberOption& o, const std::string& value)
{
    bool digits = !value.empty() && value.size() <= 5;
    for (char c : value)
        digits = digits && c >= '0' && c <= '9';
    if (!digits || std::stol(value) > o.maximum)
        return "--" + std::string(o.name) + " '" + value + "': not a decimal number from 0 to " +
               std::to_string(o.maximum);
    set_text(store, o.id, value);
    return {};
}

struct Given {
    std::string value;
};

// The notice for a value longer than its field, or nothing when it fits.
// `kept` bytes of it stay; `field` says where and how large.
void note_cut(std::vector<std::string>& notices, const std::string& option, const std::string& value, size_t kept,
              const std::string& field)
{
    if (kept < value.size())
        notices.push_back("--" + option + " is longer than " + field + ": kept '" + value.substr(0, kept) + "'");
}

// Reads PATH arguments one a line from the file, or from standard input
// for "-", onto `paths`; blank lines are skipped.
std::string read_path_list(const std::string& file, std::vector<std::string>& paths, std::vector<std::string>& origins)
{
    std::string text;
    if (file == "-") {
        char buffer[65536];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0)
            text.append(buffer, n);
    } else {
        platform::File in = platform::open_for_reading(file.c_str());
        uint64_t size = 0;
        if (!in.valid() || !platform::file_size(in, size))
            return "--path-list " + file + ": " + platform::last_error_text();
        text.resize(size_t(size));
        const int64_t got = platform::read_full(in, text.data(), text.size());
        if (got != int64_t(text.size()))
            return "--path-list " + file + ": " + platform::short_read_text(got, text.size());
    }
    size_t number = 0;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        if (line.find('\0') != std::string::npos)
            return "--path-list " + file + " line " + std::to_string(number) + ": a NUL byte in a path";
        paths.push_back(platform::text_from_system(line.c_str()));
        origins.resize(paths.size());
        origins.back() = "--path-list " + file + " line " + std::to_string(number) + ": ";
    }
    return {};
}

}  // namespace

std::string parse_graft(const std::string& argument, Graft& graft)
{
    // TARGET=SOURCE: the first '=' not escaped by '\\' splits; in TARGET,
    // "\\=" and "\\\\" stand for '=' and '\\', and the SOURCE is taken as it is.
    graft = {};
    std::string target;
    size_t at = 0;
    bool split = false;
    for (; at < argument.size(); ++at) {
        const char c = argument[at];
        if (c == '\\' && at + 1 < argument.size() && (argument[at + 1] == '=' || argument[at + 1] == '\\')) {
            target += argument[++at];
        } else if (c == '=') {
            split = true;
            break;
        } else {
            target += c;
        }
    }
    if (!split) {
        graft.source = argument;
        return {};
    }
    graft.source = argument.substr(at + 1);
    if (graft.source.empty())
        return "graft point " + argument + ": no SOURCE after '='";
    if (target.empty())
        return "graft point " + argument + ": no TARGET before '=' (\"/\" puts a folder's contents at the root)";
    std::string normal;
    for (size_t from = 0; from <= target.size();) {
        size_t end = target.find('/', from);
        if (end == std::string::npos)
            end = target.size();
        const std::string name = target.substr(from, end - from);
        from = end + 1;
        if (name.empty())
            continue;
        if (name == "." || name == "..")
            return "graft point " + argument + ": a TARGET stays inside the image ('.' and '..' are not names)";
        for (unsigned char c : name)
            if (c < 0x20 || c == 0x7F)
                return "graft point " + argument + ": a control character in the TARGET";
        normal += (normal.empty() ? "" : "/") + name;
    }
    graft.target = normal.empty() ? "/" : normal;
    return {};
}

std::string parse_build_options(const std::vector<std::string>& args, ControlStore& volume, ControlStore& boot,
                                ControlStore& dir_record, BuildOptions& options)
{
    options = BuildOptions{};
    for (size_t i = 1; i < args.size() && args[i] != "--"; ++i)
        if (args[i] == "--help" || args[i] == "-h") {
            options.help = true;
            return {};
        }

    // First every option with its value, each name once; then the stores.
    std::map<std::string, Given> given;
    std::vector<std::string> order;
    bool no_more_options = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (no_more_options || arg.size() < 2 || arg[0] != '-') {
            options.paths.push_back(arg);
            continue;
        }
        if (arg == "--") {
            no_more_options = true;
            continue;
        }
        std::string name = arg.substr(arg[1] == '-' ? 2 : 1);
        std::string value;
        bool has_value = false;
        size_t equals = name.find('=');
        if (equals != std::string::npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
            has_value = true;
        }
        if (name == "o")
            name = "output";
        else if (arg == "-R")
            name = "rock-ridge";
        else if (arg == "-r")
            name = "rational-rock";
        if (is_flag(name)) {
            if (has_value)
                return "option --" + name + " takes no value";
        } else if (!takes_value(name)) {
            return "unknown option " + arg;
        } else if (!has_value) {
            if (i + 1 >= args.size())
                return "option " + arg + " needs a value";
            value = args[++i];
        }
        if (name == "exclude") {  // repeatable
            if (value.empty())
                return "option --exclude needs a pattern";
            options.excluded.push_back(value);
            continue;
        }
        auto known = given.find(name);
        if (known != given.end()) {
            if (known->second.value != value)
                return "option --" + name + " given twice with different values ('" + known->second.value + "' and '" +
                       value + "')";
            continue;
        }
        given[name] = {value};
        order.push_back(name);
    }

    // Where each path came from, for errors: an argument, or a list's line.
    std::vector<std::string> origins(options.paths.size());
    if (given.count("path-list")) {
        std::string error = read_path_list(given["path-list"].value, options.paths, origins);
        if (!error.empty())
            return error;
    }
    for (const std::string& path : options.paths)
        if (path.empty())
            return "an empty PATH names nothing (is a variable unset?); give . for the current folder";
    if (given.count("graft-points"))
        for (size_t i = 0; i < options.paths.size(); ++i) {
            Graft graft;
            std::string error = parse_graft(options.paths[i], graft);
            if (!error.empty())
                return (i < origins.size() ? origins[i] : std::string()) + error;
            options.paths[i] = graft.source;
            options.targets.push_back(graft.target);
        }
    auto has = [&](const std::string& name) { return given.count(name) != 0; };
    if (has("no-joliet"))
        for (const IdentifierOption& o : identifier_options)
            if (has(std::string("joliet-") + o.name))
                return "--joliet-" + std::string(o.name) + " has no effect with --no-joliet";
    if (has("root-date") && has("record-date"))
        return "--root-date and --record-date both set the root's date: give one of them";
    for (const std::string& name : order)
        if (is_boot_detail(name) && !has("boot") && !has("boot-path"))
            return "--" + name + " has no effect without --boot FILE or --boot-path IMAGE_PATH";
    if (has("boot") && given["boot"].value.empty())
        return "option --boot needs a file";
    if (has("boot") && has("boot-path"))
        return "--boot FILE and --boot-path IMAGE_PATH both name the boot image: give one of them";
    if (has("boot-path") && given["boot-path"].value.find_first_not_of('/') == std::string::npos)
        return "option --boot-path needs the path of a file in the image";
    for (const char* name : {"efi-boot", "mbr-code"})
        if (has(name) && given[name].value.empty())
            return "option --" + std::string(name) + " needs a file";
    if (has("joliet-long") && has("no-joliet"))
        return "--joliet-long has no effect with --no-joliet";
    if (has("follow-links") && !has("rock-ridge") && !has("rational-rock"))
        return "--follow-links has no effect without -R or -r: without Rock Ridge links are always followed";
    if (has("mbr-code") && !has("hybrid"))
        return "--mbr-code has no effect without --hybrid";
    if (has("hybrid") && has("raw"))
        return "--hybrid makes an image for a disk, and 2352-byte --raw sectors cannot go onto one: give one of them";
    if (has("hybrid") && !has("efi-boot") && !has("mbr-code"))
        return "--hybrid needs --efi-boot FILE or --mbr-code FILE: without either nothing boots from the disk";

    options.raw = has("raw");
    options.cue = has("cue");
    options.quiet = has("quiet");
    options.hybrid = has("hybrid");
    if (has("efi-boot"))
        options.efi_boot = given["efi-boot"].value;
    if (has("mbr-code"))
        options.mbr_code = given["mbr-code"].value;
    options.verify = has("verify");
    options.dot_files = has("dot-files");
    options.rock_ridge.enabled = has("rock-ridge") || has("rational-rock");
    options.rock_ridge.rationalised = has("rational-rock");
    options.rock_ridge.follow_links = has("follow-links");
    options.joliet_long = has("joliet-long");
    if (has("no-joliet"))
        set_check(volume, volume_ids::joliet, false);
    if (has("output"))
        options.output = given["output"].value;
    // Both descriptors first, then the Joliet one alone, so that the latter
    // stands whatever the order on the line.
    for (const IdentifierOption& o : identifier_options)
        if (has(o.name)) {
            set_text(volume, o.primary_id, given[o.name].value);
            set_text(volume, o.joliet_id, given[o.name].value);
        }
    for (const IdentifierOption& o : identifier_options)
        if (has(std::string("joliet-") + o.name))
            set_text(volume, o.joliet_id, given[std::string("joliet-") + o.name].value);
    // What does not fit is cut at a character boundary (settings/readers),
    // and said here.
    for (const IdentifierOption& o : identifier_options) {
        const size_t width = identifier_field_width(o.primary_id);
        const std::string joliet_name = std::string("joliet-") + o.name;
        const std::string joliet_field =
            "the Joliet descriptor's field of " + std::to_string(width / 2) + " UCS-2 characters";
        if (has(o.name)) {
            const std::string& value = given[o.name].value;
            note_cut(options.notices, o.name, value, identifier_bytes_kept(value.c_str(), width),
                     "the primary descriptor's field of " + std::to_string(width) + " bytes");
            if (!has("no-joliet") && !has(joliet_name))
                note_cut(options.notices, o.name, value, joliet_identifier_bytes_kept(value.c_str(), width),
                         joliet_field);
        }
        if (has(joliet_name)) {
            const std::string& value = given[joliet_name].value;
            note_cut(options.notices, joliet_name, value, joliet_identifier_bytes_kept(value.c_str(), width),
                     joliet_field);
        }
    }
    for (const DateOption& o : date_options)
        if (has(o.name)) {
            std::string error = set_date(volume, o.date_id, o.zone_id, o.name, given[o.name].value, false);
            if (!error.empty())
                return error;
        }
    for (const char* name : {"root-date", "record-date"})
        if (has(name)) {
            std::string error =
                set_date(dir_record, dir_record_ids::date, dir_record_ids::zone, name, given[name].value, true);
            if (!error.empty())
                return error;
            if (std::strcmp(name, "record-date") == 0)
                set_check(dir_record, dir_record_ids::use_date, true);
        }
    if (has("boot")) {
        set_check(boot, boot_ids::enabled, true);
        set_text(boot, boot_ids::image_path, given["boot"].value);
    }
    if (has("boot-id")) {
        const std::string& value = given["boot-id"].value;
        set_text(boot, boot_ids::id_string, value);
        note_cut(options.notices, "boot-id", value,
                 identifier_bytes_kept(value.c_str(), size_t(catalog_offset::id_string_length)),
                 "the boot catalog's ID string of " + std::to_string(catalog_offset::id_string_length) + " bytes");
    }
    for (const NumberOption& o : number_options)
        if (has(o.name)) {
            std::string error = set_number(boot, o, given[o.name].value);
            if (!error.empty())
                return error;
        }
    for (const ChoiceOption& o : choice_options)
        if (has(o.name)) {
            const std::string& value = given[o.name].value;
            int position = -1;
            for (size_t i = 0; i < o.values.size(); ++i)
                if (value == o.values[i])
                    position = int(i);
            if (position < 0)
                return "--" + std::string(o.name) + ": unknown value '" + value + "' (" + o.listed + ")";
            set_selection(boot, o.id, position);
        }
    options.exact = has("exact");
    if (options.exact && args[0] != "estimate")
        return "--exact is an option of estimate";
    options.boot_info_table = has("boot-info-table");
    if (has("boot-path"))
        options.boot_path = given["boot-path"].value;
    options.relaxed_names = has("relaxed-names");
    if (options.boot_info_table && boot.selections[boot_ids::media] != 0)
        return "--boot-info-table goes into a no-emulation boot image (--boot-media custom); a diskette or hard "
               "disk image has no such table";
    if (options.output.empty() && !options.exact)
        return "build needs an output file: -o OUTPUT";
    return {};
}

std::string boot_image_problem(const std::string& path, int media)
{
    if (path.size() > 511)
        return "boot image path longer than 511 bytes: " + path;
    platform::FileInfo info;
    if (!platform::find_file(path.c_str(), info))
        return "boot image not found: " + path;
    if (info.attributes & platform::attribute_directory)
        return "boot image is a folder: " + path;
    if (info.special)
        return "boot image is not a regular file (a device, pipe or socket): " + path;
    if (info.size == 0)
        return "boot image is empty: " + path;
    // A floppy emulation gives the BIOS a diskette of that size: the image
    // must be one, byte for byte.
    struct Diskette {
        int media;
        const char* name;
        uint64_t bytes;
    };
    constexpr Diskette diskettes[] = {{1, "1.2", 1228800}, {2, "1.44", 1474560}, {3, "2.88", 2949120}};
    for (const Diskette& d : diskettes)
        if (media == d.media && info.size != d.bytes)
            return "boot image is " + std::to_string(info.size) + " bytes, not the " + std::to_string(d.bytes) +
                   " bytes of the " + d.name + " MB diskette it is to emulate (--boot-media " + d.name +
                   "; custom takes an image of any size without emulation): " + path;
    return {};
}

namespace {

// The problems every boot file shares, with `what` naming it in the message.
std::string boot_file_problem(const std::string& what, const std::string& path, platform::FileInfo& info)
{
    if (!platform::find_file(path.c_str(), info))
        return what + " not found: " + path;
    if (info.attributes & platform::attribute_directory)
        return what + " is a folder: " + path;
    if (info.special)
        return what + " is not a regular file (a device, pipe or socket): " + path;
    if (info.size == 0)
        return what + " is empty: " + path;
    return {};
}

}  // namespace

std::string efi_boot_image_problem(const std::string& path)
{
    platform::FileInfo info;
    std::string problem = boot_file_problem("EFI boot image", path, info);
    if (!problem.empty())
        return problem;
    if (info.size >= (uint64_t(1) << 32))
        return "EFI boot image is 4 GiB or larger (an image holds files of up to 4 GiB less one byte): " + path;
    platform::File file = platform::open_for_reading(path.c_str());
    uint8_t boot_sector[512] = {};
    if (!file.valid() || platform::read_full(file, boot_sector, sizeof boot_sector) < 0)
        return "cannot read the EFI boot image " + path + ": " + platform::last_error_text();
    problem = fat_image_problem(boot_sector, info.size);
    if (!problem.empty())
        return "EFI boot image is no FAT file system image (" + problem + "): " + path;
    return {};
}

std::string read_mbr_code(const std::string& path, std::vector<uint8_t>& code)
{
    platform::FileInfo info;
    std::string problem = boot_file_problem("MBR code", path, info);
    if (!problem.empty())
        return problem;
    if (info.size > mbr_code_capacity)
        return "MBR code is " + std::to_string(info.size) + " bytes, over the " + std::to_string(mbr_code_capacity) +
               " bytes before the disk signature and partition entries: " + path;
    platform::File file = platform::open_for_reading(path.c_str());
    if (!file.valid())
        return "cannot read the MBR code " + path + ": " + platform::last_error_text();
    code.assign(size_t(info.size), 0);
    const int64_t got = platform::read_full(file, code.data(), code.size());
    if (got != int64_t(code.size()))
        return "cannot read the MBR code " + path + ": " + platform::short_read_text(got, code.size());
    return {};
}

bool is_isohybrid_code(const std::vector<uint8_t>& code)
{
    // ISOLINUX's isohybrid MBR code says this when it finds nothing to load.
    static const std::string own_text = "isolinux.bin missing or corrupt";
    return std::search(code.begin(), code.end(), own_text.begin(), own_text.end()) != code.end();
}

std::string isohybrid_problem(const std::vector<uint8_t>& code, const std::string& boot_image, bool boot_path,
                              bool boot_info_table)
{
    if (!is_isohybrid_code(code))
        return {};
    const std::string why =
        "the MBR code is ISOLINUX's isohybrid code, which loads the BIOS boot image from the "
        "address it finds at bytes 432-439: it needs ";
    if (boot_image.empty() && !boot_path)
        return why + "--boot or --boot-path with ISOLINUX's isolinux.bin";
    if (!boot_info_table)
        return why + "--boot-info-table, which ISOLINUX needs as well";
    if (boot_path)
        return {};  // the build looks at the file once it is found
    uint8_t head[mbr::isolinux_hybrid_signature_offset + 4] = {};
    platform::File file = platform::open_for_reading(boot_image.c_str());
    const int64_t got = file.valid() ? platform::read_full(file, head, sizeof head) : -1;
    if (got != int64_t(sizeof head) ||
        get_le32(head + mbr::isolinux_hybrid_signature_offset) != mbr::isolinux_hybrid_signature)
        return why + "a boot image with ISOLINUX's hybrid signature (0x7078C0FB at byte 64), which " + boot_image +
               " lacks";
    return {};
}
