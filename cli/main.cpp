// The command-line front end: the same jobs as the Windows program, with the
// settings windows replaced by a store that starts with the windows' template
// values and opening steps and is then changed by the options.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include "cli/drive_commands.h"
#include "cli/image_commands.h"
#include "cli/line_list.h"
#include "cli/progress.h"
#include "mastering/build.h"
#include "mastering/descriptors.h"
#include "mastering/writer.h"
#include "platform/platform.h"
#include "settings/date_field.h"
#include "settings/dialog_ids.h"
#include "settings/readers.h"
#include "shell/registration.h"

namespace {

constexpr const char* version_text = "tarnwickiso 0.02";

void print_help(FILE* out)
{
    std::fprintf(out,
        "usage: tarnwickiso COMMAND [options] ...\n"
        "\n"
        "Commands:\n"
        "  build -o OUTPUT [options] [PATH...]   master an ISO 9660 image of the paths\n"
        "  estimate PATH...                      print the capacity estimate and the list lines\n"
        "  convert FILE...                       convert images between 2048- and 2352-byte sectors\n"
        "                                        (output FILE.iso)\n");
    print_drive_commands_help(out);
    std::fprintf(out,
        "\n"
        "Options of build:\n"
        "  -o, --output FILE            the image to write (replaced if it exists)\n"
        "  --raw                        2352-byte CD-ROM Mode 1 sectors with EDC and ECC\n"
        "  --cue                        also write a cue sheet beside the image\n"
        "  --no-joliet                  no Joliet supplementary volume descriptor\n"
        "  --system-id TEXT, --volume-id TEXT, --volume-set-id TEXT, --publisher-id TEXT,\n"
        "  --preparer-id TEXT, --application-id TEXT, --copyright-file-id TEXT,\n"
        "  --abstract-file-id TEXT, --bibliographic-file-id TEXT\n"
        "                               identifier for both descriptors; with the prefix\n"
        "                               --joliet- (e.g. --joliet-volume-id) for the Joliet one only\n"
        "  --creation-date D[,Z], --modification-date D[,Z], --expiration-date D[,Z],\n"
        "  --effective-date D[,Z]       D: YYYYMMDDhhmmsscc, Z: zone in quarter hours east\n"
        "  --root-date D[,Z]            recording date of the root directory\n"
        "  --record-date D[,Z]          recording date of every file and directory\n"
        "  --boot FILE                  make the image bootable with this boot image\n"
        "  --boot-platform 80x86|powerpc|mac\n"
        "  --boot-media custom|1.2|1.44|2.88|hd\n"
        "  --boot-id TEXT               manufacturer/developer text of the boot catalog\n"
        "  --load-segment N, --system-type N, --sector-count N\n"
        "  --code-page NAME             code page of names (POSIX: UTF-8 or CP932)\n"
        "  --quiet                      no progress display\n"
        "\n"
        "Environment: SOURCE_DATE_EPOCH presets the dates (UTC, zone 0) instead of the clock.\n"
        "Exit status: 0 success, 1 failed or damaged result, 2 usage error.\n");
}

int usage_error(const std::string& message)
{
    std::fprintf(stderr, "tarnwickiso: %s\n(see tarnwickiso --help)\n", message.c_str());
    return 2;
}

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

void set_date(ControlStore& store, int date_id, int zone_id, const std::string& value)
{
    size_t comma = value.find(',');
    set_text(store, date_id, value.substr(0, comma));
    if (comma != std::string::npos)
        set_text(store, zone_id, value.substr(comma + 1));
}

struct BuildOptions {
    std::string output;
    bool raw = false;
    bool cue = false;
    bool quiet = false;
    std::vector<std::string> paths;
};

// Applies one option with its value to the stores; false when unknown.
bool apply_setting(const std::string& name, const std::string& value, ControlStore& volume, ControlStore& boot,
                   ControlStore& dir_record, std::string& error)
{
    for (const IdentifierOption& o : identifier_options) {
        if (name == o.name) {
            set_text(volume, o.primary_id, value);
            set_text(volume, o.joliet_id, value);
            return true;
        }
        if (name == std::string("joliet-") + o.name) {
            set_text(volume, o.joliet_id, value);
            return true;
        }
    }
    for (const DateOption& o : date_options) {
        if (name == o.name) {
            set_date(volume, o.date_id, o.zone_id, value);
            return true;
        }
    }
    if (name == "root-date" || name == "record-date") {
        set_date(dir_record, dir_record_ids::date, dir_record_ids::zone, value);
        if (name == "record-date")
            set_check(dir_record, dir_record_ids::use_date, true);
        return true;
    }
    if (name == "boot") {
        set_check(boot, boot_ids::enabled, true);
        set_text(boot, boot_ids::image_path, value);
        return true;
    }
    if (name == "boot-platform") {
        static const char* const platforms[] = {"80x86", "powerpc", "mac"};
        for (int i = 0; i < 3; ++i)
            if (value == platforms[i]) {
                set_selection(boot, boot_ids::platform, i);
                return true;
            }
        error = "unknown boot platform '" + value + "' (80x86, powerpc or mac)";
        return true;
    }
    if (name == "boot-media") {
        static const char* const media[] = {"custom", "1.2", "1.44", "2.88", "hd"};
        for (int i = 0; i < 5; ++i)
            if (value == media[i]) {
                set_selection(boot, boot_ids::media, i);
                return true;
            }
        error = "unknown boot media '" + value + "' (custom, 1.2, 1.44, 2.88 or hd)";
        return true;
    }
    if (name == "boot-id") {
        set_text(boot, boot_ids::id_string, value);
        return true;
    }
    if (name == "load-segment") {
        set_text(boot, boot_ids::load_segment, value);
        return true;
    }
    if (name == "system-type") {
        set_text(boot, boot_ids::system_type, value);
        return true;
    }
    if (name == "sector-count") {
        set_text(boot, boot_ids::sector_count, value);
        return true;
    }
    return false;
}

// Presets the date fields from SOURCE_DATE_EPOCH when it is set.
bool apply_source_date_epoch()
{
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    if (!epoch || !*epoch)
        return true;
    char* end = nullptr;
    long long seconds = std::strtoll(epoch, &end, 10);
    if (*end != 0 || seconds < 0) {
        std::fprintf(stderr, "tarnwickiso: SOURCE_DATE_EPOCH is not a number of seconds: %s\n", epoch);
        return false;
    }
    preset_date_fields_from_epoch(seconds);
    return true;
}

bool select_code_page_option(const std::string& name)
{
    if (platform::select_code_page(name.c_str()))
        return true;
    std::fprintf(stderr, "tarnwickiso: code page '%s' is not available here\n", name.c_str());
    return false;
}

// Applies --code-page first, then gives the other arguments in the chosen
// code page (on POSIX they arrive in the locale's character set).
bool program_arguments(int argc, char** argv, std::vector<std::string>& args)
{
    std::vector<std::string> rest;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--")
            break;
        if (arg == "--code-page" || arg.rfind("--code-page=", 0) == 0) {
            std::string value;
            if (arg.size() > 11)
                value = arg.substr(12);
            else if (i + 1 < argc)
                value = argv[++i];
            else {
                usage_error("option --code-page needs a value");
                return false;
            }
            if (!select_code_page_option(value))
                return false;
        }
    }
    args.assign(1, argv[0]);
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (!options_done && arg == "--")
            options_done = true;
        else if (!options_done && (arg == "--code-page")) {
            ++i;
            continue;
        } else if (!options_done && arg.rfind("--code-page=", 0) == 0)
            continue;
        args.push_back(platform::text_from_system(arg.c_str()));
    }
    return true;
}

int run_build(int argc_given, char** argv_given)
{
    std::vector<std::string> args;
    if (!program_arguments(argc_given, argv_given, args))
        return 2;
    std::vector<char*> pointers;
    for (std::string& a : args)
        pointers.push_back(a.data());
    int argc = int(pointers.size());
    char** argv = pointers.data();
    if (!apply_source_date_epoch())
        return 2;
    init_volume_descriptors();
    ControlStore volume, boot, dir_record;
    open_volume_store(volume);
    open_boot_store(boot);
    open_dir_record_store(dir_record);

    BuildOptions options;
    bool no_more_options = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
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
        if (name == "raw" || name == "cue" || name == "quiet" || name == "no-joliet") {
            if (has_value)
                return usage_error("--" + name + " takes no value");
            if (name == "raw")
                options.raw = true;
            else if (name == "cue")
                options.cue = true;
            else if (name == "quiet")
                options.quiet = true;
            else
                set_check(volume, volume_ids::joliet, false);
            continue;
        }
        if (!has_value) {
            if (i + 1 >= argc)
                return usage_error("option " + arg + " needs a value");
            value = argv[++i];
        }
        if (name == "o" || name == "output") {
            options.output = value;
            continue;
        }
        std::string error;
        if (!apply_setting(name, value, volume, boot, dir_record, error))
            return usage_error("unknown option " + arg);
        if (!error.empty())
            return usage_error(error);
    }
    if (options.output.empty())
        return usage_error("build needs an output file: -o OUTPUT");

    ScanProgress scan_progress(options.quiet || !isatty(fileno(stderr)));
    LineList list;
    for (const std::string& path : options.paths)
        if (!register_path(list, path.c_str()))
            return 1;

    raw_output = options.raw ? 1 : 0;
    Progress progress(options.quiet || !isatty(fileno(stderr)));
    BuildOutcome outcome = create_iso(reader_of(volume), reader_of(boot), reader_of(dir_record),
                                      line_source_of(list), options.output.c_str());
    progress.finish();

    int status = 0;
    for (const BuildProblem& problem : outcome.problems) {
        bool notice = severity_of(problem.kind) == ProblemSeverity::notice;
        std::fprintf(stderr, "tarnwickiso: %s%s\n", notice ? "note: " : "",
                     platform::text_to_system(describe_problem(problem).c_str()).c_str());
    }
    if (!outcome.clean()) {
        if (outcome.aborted)
            std::fprintf(stderr, "tarnwickiso: the build was stopped\n");
        bool damaged_only = outcome.written;
        std::fprintf(stderr, "tarnwickiso: %s\n",
                     damaged_only ? "the image was written but is damaged (see above)" : "no image was written");
        status = 1;
    }
    if (outcome.written && options.cue && !write_cue_sheet(options.output.c_str(), options.raw))
        status = 1;
    if (outcome.written && !options.quiet)
        std::printf("%s: %u sectors of %d bytes (%llu bytes)\n", options.output.c_str(), outcome.total_sectors + 1,
                    options.raw ? 2352 : 2048,
                    (unsigned long long)(outcome.total_sectors + 1) * (options.raw ? 2352u : 2048u));
    return status;
}

int run_estimate(int argc, char** argv)
{
    std::vector<std::string> args;
    if (!program_arguments(argc, argv, args))
        return 2;
    ScanProgress scan_progress(!isatty(fileno(stderr)));
    LineList list;
    for (size_t i = 1; i < args.size(); ++i)
        if (args[i] != "--" && !register_path(list, args[i].c_str()))
            return 1;
    end_progress_line();
    int32_t total = estimate_sectors(line_source_of(list));
    std::printf("Estimated capacity: %d MB (%d sectors)\n", total / 512, total);
    for (const std::string& line : list.lines)
        std::printf("%s\n", platform::text_to_system(line.c_str()).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        print_help(stderr);
        return 2;
    }
    std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        print_help(stdout);
        return 0;
    }
    if (command == "--version") {
        std::printf("%s\n", version_text);
        return 0;
    }
    if (command == "build")
        return run_build(argc - 1, argv + 1);
    if (command == "estimate")
        return run_estimate(argc - 1, argv + 1);
    if (command == "convert")
        return run_convert(argc - 1, argv + 1);
    if (command == "disk-image" || command == "cd-image" || command == "toc" || command == "drive-id")
        return run_drive_command(argc - 1, argv + 1);
    return usage_error("unknown command '" + command + "'");
}
