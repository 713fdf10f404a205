// Build command lines of any shape (arguments split at zero bytes): the
// parser never crashes, and what it accepts holds only dates, zones and
// numbers that the image can carry.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/options.h"
#include "settings/date_field.h"
#include "settings/dialog_ids.h"
#include "settings/readers.h"

namespace {

struct Parsed {
    ControlStore volume, boot, dir_record;
    BuildOptions options;
    std::string error;
};

Parsed parse(const std::vector<std::string>& args)
{
    Parsed p;
    DateSource now;
    (void)fixed_date_source(1070957103, now);
    open_volume_store(p.volume, now);
    open_boot_store(p.boot);
    open_dir_record_store(p.dir_record, now);
    p.error = parse_build_options(args, p.volume, p.boot, p.dir_record, p.options);
    return p;
}

void check_date(ControlStore& store, int date_id, int zone_id, bool record)
{
    if (date_text_problem(store.texts[date_id].c_str(), store.texts[zone_id].c_str(), record) != nullptr)
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> args{"build"};
    std::string input(reinterpret_cast<const char*>(data), size);
    for (size_t start = 0;;) {
        size_t end = input.find('\0', start);
        args.push_back(input.substr(start, end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    // --path-list reads files and standard input: not this target's ground.
    for (const std::string& arg : args)
        if (arg.rfind("--path-list", 0) == 0)
            return 0;
    Parsed first = parse(args);
    Parsed again = parse(args);
    if (first.error != again.error || first.volume.texts != again.volume.texts ||
        first.boot.texts != again.boot.texts || first.dir_record.texts != again.dir_record.texts)
        __builtin_trap();
    if (!first.error.empty() || first.options.help)
        return 0;
    if (first.options.output.empty())
        __builtin_trap();
    check_date(first.volume, volume_ids::creation_date, volume_ids::creation_zone, false);
    check_date(first.volume, volume_ids::modification_date, volume_ids::modification_zone, false);
    check_date(first.volume, volume_ids::expiration_date, volume_ids::expiration_zone, false);
    check_date(first.volume, volume_ids::effective_date, volume_ids::effective_zone, false);
    check_date(first.dir_record, dir_record_ids::date, dir_record_ids::zone, true);
    for (int id : {boot_ids::load_segment, boot_ids::system_type, boot_ids::sector_count}) {
        const std::string& text = first.boot.texts[id];
        int32_t value = text_to_integer(text.c_str());
        if (text.empty() || value < 0 || value > (id == boot_ids::system_type ? 255 : 65535))
            __builtin_trap();
    }
    return 0;
}
