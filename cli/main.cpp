// The command-line front end: the same jobs as the Windows program, with the
// settings windows replaced by a store that starts with the windows' template
// values and opening steps and is then changed by the options.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/check_commands.h"
#include "cli/drive_commands.h"
#include "cli/image_commands.h"
#include "cli/line_list.h"
#include "cli/listing_commands.h"
#include "cli/options.h"
#include "cli/output_file.h"
#include "cli/progress.h"
#include "cli/usage.h"
#include "mastering/boot.h"
#include "mastering/build.h"
#include "shell/build_job.h"
#include "mastering/descriptors.h"
#include "mastering/entries.h"
#include "mastering/partition_table.h"
#include "platform/platform.h"
#include "settings/date_field.h"
#include "settings/dialog_ids.h"
#include "settings/readers.h"
#include "shell/registration.h"

namespace {

constexpr const char* version_text = "tarnwickiso " TW_VERSION;
// File times count 100-ns units from 1601-01-01.
constexpr int64_t seconds_1601_to_1970 = 11'644'473'600;
constexpr uint64_t file_ticks_per_second = 10'000'000;

void print_help(FILE* out)
{
    std::fprintf(out,
                 "usage: tarnwickiso COMMAND [options] ...\n"
                 "\n"
                 "Commands:\n"
                 "  build -o OUTPUT [options] [PATH...]   master an ISO 9660 image of the paths\n"
                 "  estimate [--efi-boot FILE] [--hybrid] [--dot-files] PATH...\n"
                 "                                        print the capacity estimate and the list lines\n"
                 "  estimate --exact [build options] PATH...\n"
                 "                                        print the exact size build would write (nothing written)\n"
                 "  convert FILE...                       convert images between 2048- and 2352-byte sectors\n"
                 "                                        (output FILE.iso)\n");
    print_check_commands_help(out);
    print_listing_commands_help(out);
    print_drive_commands_help(out);
    std::fprintf(out,
                 "\n"
                 "Options of build:\n"
                 "  -o, --output FILE            the image to write (an older file is replaced once it is complete)\n"
                 "  --raw                        2352-byte CD-ROM Mode 1 sectors with EDC and ECC\n"
                 "  --cue                        also write a cue sheet beside the image\n"
                 "  --verify                     read the image back and compare every file with its source\n"
                 "                               (and, with --raw, check every sector) before it replaces\n"
                 "                               an older file; on a difference nothing is replaced\n"
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
                 "  --efi-boot FILE              add a UEFI boot entry (platform 0xEF) for this FAT image\n"
                 "                               (EFI/BOOT/BOOTX64.EFI inside); alone, the image boots by UEFI only\n"
                 "  --hybrid                     MBR and GPT in the system area, so that the image also boots\n"
                 "                               written to a USB stick or disk (padded to whole MiB; not with --raw)\n"
                 "  --mbr-code FILE              with --hybrid: up to 432 bytes of BIOS boot code for the MBR;\n"
                 "                               ISOLINUX's isohybrid code (isohdpfx.bin) also gets the boot\n"
                 "                               image's address and an active entry\n"
                 "  --boot-path IMAGE_PATH       the boot image is this file of the tree (path in the image)\n"
                 "  --boot-info-table            the boot information table in the no-emulation boot image's\n"
                 "                               copy, as ISOLINUX and GRUB expect\n"
                 "  --graft-points               PATH may be TARGET=SOURCE: SOURCE at TARGET in the image\n"
                 "                               (\\= and \\\\ escape in TARGET; /=DIR: DIR's contents at the root)\n"
                 "  --exclude GLOB               leave out names or paths below a registered folder that match\n"
                 "                               (repeatable)\n"
                 "  --path-list FILE             PATH arguments one a line (- for standard input)\n"
                 "  --relaxed-names              directories' ISO 9660 names in 8.3 form with their dot\n"
                 "                               (install.amd is INSTALL.AMD), as ISO 9660-only loaders look up\n"
                 "  --code-page NAME             code page of names (POSIX: UTF-8 or CP932)\n"
                 "  -R, --rock-ridge             Rock Ridge in the ISO 9660 tree: POSIX names of up to 255 bytes,\n"
                 "                               modes, owners, times, symbolic links (kept as links), hard\n"
                 "                               links, devices, FIFOs and sockets; directories deeper than\n"
                 "                               eight levels are relocated there (to RR_MOVED) and shown in place\n"
                 "  -r, --rational-rock          as -R, with owner and group 0, read for everyone, execute for\n"
                 "                               everyone where anyone had it, no write, set-id or sticky bits\n"
                 "  --follow-links               with -R or -r: follow symbolic links as without Rock Ridge\n"
                 "  --joliet-long                Joliet names of up to 103 characters (64 otherwise)\n"
                 "  --dot-files                  also take names beginning with a dot below a registered\n"
                 "                               folder (left out otherwise, with a note of how many)\n"
                 "  --quiet                      no progress display\n"
                 "  --                           every later argument is a path\n"
                 "An option given twice must have the same value both times; a --joliet- identifier\n"
                 "stands over the one for both descriptors whatever the order.\n"
                 "\n"
                 "Files of 4 GiB and more are stored in several extents (ISO 9660 level 3). Names the Joliet\n"
                 "tree does not hold whole (and no Rock Ridge holds) are named on stderr.\n"
                 "\n"
                 "Environment: SOURCE_DATE_EPOCH presets the dates (UTC, zone 0) instead of the clock, and\n"
                 "file times later than it are recorded as it.\n"
                 "Exit status: 0 success, 1 failed or damaged result, 2 usage error; stopped by a signal,\n"
                 "the program removes its temporary file and ends by that signal.\n");
}

int failure(const std::string& message)
{
    std::fprintf(stderr, "tarnwickiso: %s\n", platform::text_to_system(message.c_str()).c_str());
    return 1;
}

// True when --help or -h stands among the command's arguments before "--".
bool asks_for_help(int argc, char** argv)
{
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return true;
    return false;
}

// The date fields' now: SOURCE_DATE_EPOCH when it is set, else the clock.
bool apply_source_date_epoch(DateSource& now)
{
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    if (!epoch || !*epoch)
        return true;
    size_t length = std::strlen(epoch);
    bool digits = length <= 18;
    for (size_t i = 0; i < length; ++i)
        digits = digits && epoch[i] >= '0' && epoch[i] <= '9';
    if (!digits) {
        std::fprintf(stderr, "tarnwickiso: SOURCE_DATE_EPOCH is not a number of seconds: %s\n", epoch);
        return false;
    }
    if (!fixed_date_source(std::strtoll(epoch, nullptr, 10), now)) {
        std::fprintf(stderr,
                     "tarnwickiso: SOURCE_DATE_EPOCH %s lies beyond 2155, the last year a directory "
                     "record can hold\n",
                     epoch);
        return false;
    }
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

// Says how many names beginning with a dot the scan left out, and the first.
void print_dot_names_left_out(const BuildOutcome& outcome)
{
    const uint32_t left_out = outcome.dot_names_left_out;
    const std::vector<std::string>& first = outcome.first_dot_names_left_out;
    if (left_out == 0)
        return;
    std::string text =
        "left out " + std::to_string(left_out) + " name" + (left_out == 1 ? "" : "s") + " beginning with a dot (";
    for (size_t i = 0; i < first.size(); ++i)
        text += (i ? ", " : "") + first[i];
    text += left_out > first.size() ? ", ...)" : ")";
    text += "; --dot-files includes them";
    std::fprintf(stderr, "tarnwickiso: note: %s\n", platform::text_to_system(text.c_str()).c_str());
}

// Names the image holds in no tree as the file system gives them: the first
// few with their Joliet paths, a count of the rest, and the options that keep
// them whole.
void print_names_not_kept(const BuildOutcome& outcome, bool joliet_long)
{
    const uint32_t count = outcome.names_not_kept;
    if (count == 0)
        return;
    auto note = [](const std::string& text) {
        std::fprintf(stderr, "tarnwickiso: note: %s\n", platform::text_to_system(text.c_str()).c_str());
    };
    note(std::to_string(count) + " name" + (count == 1 ? " is" : "s are") +
         " not held whole by the Joliet tree (cut, characters replaced or numbered apart from a like name):");
    for (const NameNotKept& name : outcome.first_names_not_kept)
        note("  " + name.source + " -> " + name.joliet_path);
    if (count > outcome.first_names_not_kept.size())
        note("  ... and " + std::to_string(count - outcome.first_names_not_kept.size()) + " more");
    note(joliet_long ? std::string("-R (Rock Ridge) keeps every name whole")
                     : std::string("-R (Rock Ridge) keeps every name whole; --joliet-long keeps Joliet names of up "
                                   "to 103 characters"));
}

// A cue sheet of an earlier run: the very text a build writes for this
// image, of either sector form.
bool is_earlier_cue_sheet(const std::string& sheet, const std::string& image)
{
    if (sheet.empty() || platform::path_kind(sheet.c_str()) != platform::PathKind::regular)
        return false;
    platform::File file = platform::open_for_reading(sheet.c_str());
    char text[1024];
    const int64_t n = file.valid() ? platform::read_full(file, text, sizeof text) : -1;
    if (n < 0 || size_t(n) == sizeof text)
        return false;
    const std::string found(text, size_t(n));
    return found == cue_sheet_text(image.c_str(), true) || found == cue_sheet_text(image.c_str(), false);
}

// estimate --exact: the scan and the layout of the build, nothing written.
int print_exact_size(BuildRequest& request, const BuildOptions& options, ScanProgress& scan_progress)
{
    request.layout_only = true;
    request.leave_out_earlier_image = !options.output.empty();
    BuildHooks hooks;
    hooks.job = stop_on_signal();
    hooks.walked = scan_progress.walked();
    BuildJobOutcome job = run_build_job(request, hooks);
    end_progress_line();
    if (job.stopped)
        return report_stop();
    int status = 0;
    for (const BuildProblem& problem : job.build.problems) {
        const ProblemSeverity severity = severity_of(problem.kind);
        std::fprintf(stderr, "tarnwickiso: %s%s\n", severity == ProblemSeverity::notice ? "note: " : "",
                     platform::text_to_system(describe_problem(problem).c_str()).c_str());
        if (severity == ProblemSeverity::refused)
            status = 1;
    }
    if (job.refusal != JobRefusal::none || status != 0) {
        if (!job.refusal_detail.empty())
            failure(job.refusal_detail);
        std::fprintf(stderr, "tarnwickiso: the build would be refused\n");
        return 1;
    }
    print_names_not_kept(job.build, options.joliet_long);
    const uint64_t sectors = uint64_t(job.build.total_sectors) + 1 + job.build.padding_sectors;
    const unsigned sector_bytes = options.raw ? 2352u : 2048u;
    std::printf("Exact size: %llu bytes (%llu sectors of %u bytes)\n", (unsigned long long)(sectors * sector_bytes),
                (unsigned long long)sectors, sector_bytes);
    return 0;
}

int run_build(int argc_given, char** argv_given)
{
    std::vector<std::string> args;
    if (!program_arguments(argc_given, argv_given, args))
        return 2;
    DateSource now;
    if (!apply_source_date_epoch(now))
        return 2;
    ControlStore volume, boot, dir_record;
    open_volume_store(volume, now);
    open_boot_store(boot);
    open_dir_record_store(dir_record, now);

    BuildOptions options;
    std::string error = parse_build_options(args, volume, boot, dir_record, options);
    if (!error.empty())
        return usage_error(error);
    if (options.help) {
        print_help(stdout);
        return 0;
    }
    for (const std::string& notice : options.notices)
        std::fprintf(stderr, "tarnwickiso: note: %s\n", platform::text_to_system(notice.c_str()).c_str());
    // The boot image is looked at before anything is registered or created.
    if (boot.checks[boot_ids::enabled]) {
        std::string problem = boot_image_problem(boot.texts[boot_ids::image_path], boot.selections[boot_ids::media]);
        platform::FileInfo info;
        if (problem.empty() && options.boot_info_table &&
            platform::find_file(boot.texts[boot_ids::image_path].c_str(), info) && info.size < boot_info_table::end)
            problem = "the boot image " + boot.texts[boot_ids::image_path] + " has " + std::to_string(info.size) +
                      " bytes, too few for the boot information table (64 and more)";
        if (!problem.empty()) {
            std::fprintf(stderr, "tarnwickiso: %s\ntarnwickiso: no image was written\n",
                         platform::text_to_system(problem.c_str()).c_str());
            return 1;
        }
    }
    std::string boot_problem;
    if (!options.efi_boot.empty())
        boot_problem = efi_boot_image_problem(options.efi_boot);
    std::vector<uint8_t> mbr_code;
    if (boot_problem.empty() && !options.mbr_code.empty())
        boot_problem = read_mbr_code(options.mbr_code, mbr_code);
    if (boot_problem.empty() && !mbr_code.empty())
        boot_problem = isohybrid_problem(
            mbr_code, boot.checks[boot_ids::enabled] ? boot.texts[boot_ids::image_path] : std::string(),
            !options.boot_path.empty(), options.boot_info_table);
    const bool isohybrid_code = is_isohybrid_code(mbr_code);
    if (!boot_problem.empty()) {
        std::fprintf(stderr, "tarnwickiso: %s\ntarnwickiso: no image was written\n",
                     platform::text_to_system(boot_problem.c_str()).c_str());
        return 1;
    }

    ScanProgress scan_progress(options.quiet || !platform::is_terminal(stderr));
    // The registration's folder listings serve the build's scan, which
    // follows at once.
    FolderListings listings;
    RegistrationWalk walk;
    walk.dot_files = options.dot_files;
    walk.large_files = true;
    if (options.rock_ridge.enabled && !options.rock_ridge.follow_links)
        walk.links = platform::Links::keep;
    walk.listings = &listings;
    walk.stop_requested = stop_on_signal().stop_requested;
    walk.walked = scan_progress.walked();
    LineList list;
    for (const std::string& path : options.paths)
        if (stop_signal || !register_path(list, path.c_str(), walk))
            return stop_signal ? report_stop() : 1;
    // Graft points, by the path each source was registered under.
    std::vector<std::pair<std::string, std::string>> grafts;
    for (size_t i = 0; i < options.targets.size(); ++i) {
        if (options.targets[i].empty())
            continue;
        std::string source;
        if (!registered_path(options.paths[i].c_str(), source))
            return failure("cannot register " + options.paths[i] + ": " + platform::last_error_text());
        if (names_root(source))
            return failure("graft point " + options.targets[i] + "=" + options.paths[i] +
                           ": a drive or file-system root cannot be grafted; graft its folders");
        grafts.emplace_back(options.targets[i], source);
    }

    const std::string cue_name = options.cue ? cue_sheet_name(options.output.c_str()) : std::string();
    if (options.cue) {
        const std::string problem = cue_sheet_problem(options.output.c_str());
        if (!problem.empty())
            return failure(problem + ": nothing was written");
        if (cue_name == options.output || same_file(cue_name, options.output))
            return failure("the cue sheet " + cue_name + " would replace the image: nothing was written");
    }

    BuildRequest request;
    request.lines = line_source_of(list);
    request.volume = reader_of(volume);
    request.boot = reader_of(boot);
    request.dir_record = reader_of(dir_record);
    request.output = options.output;
    request.raw = options.raw;
    request.verify = options.verify;
    request.dot_files = options.dot_files;
    request.rock_ridge = options.rock_ridge;
    request.joliet_long = options.joliet_long;
    request.large_files = true;
    request.boot_info_table = options.boot_info_table;
    request.relaxed_names = options.relaxed_names;
    request.boot_path = options.boot_path;
    request.grafts = std::move(grafts);
    request.excluded = options.excluded;
    request.isohybrid_code = isohybrid_code;
    // Reproducible builds: no file time later than SOURCE_DATE_EPOCH.
    if (now.fixed)
        request.latest_file_time = uint64_t(now.seconds_since_1970 + seconds_1601_to_1970) * file_ticks_per_second;
    request.efi_boot = options.efi_boot;
    request.hybrid = options.hybrid;
    request.mbr_code = std::move(mbr_code);
    request.mbr_code_path = options.mbr_code;
    request.registered = options.paths;
    request.leave_out_earlier_image = true;
    request.listings = &listings;
    if (options.exact)
        return print_exact_size(request, options, scan_progress);
    PendingOutput cue;
    if (options.cue)
        request.companions.push_back({"the cue sheet", cue_name, is_earlier_cue_sheet(cue_name, options.output), &cue});
    Progress progress(options.quiet || !platform::is_terminal(stderr));
    BuildHooks hooks;
    hooks.job = stop_on_signal();
    hooks.status = progress.status();
    hooks.walked = scan_progress.walked();
    BuildJobOutcome job = run_build_job(request, hooks);
    progress.finish();
    switch (job.refusal) {
    case JobRefusal::none: break;
    case JobRefusal::output_is_input: return failure(job.refusal_detail + ": nothing was written");
    case JobRefusal::output_not_begun: return failure(job.refusal_detail);
    case JobRefusal::verify_needs_file:
        return usage_error("--verify reads the image back from a file: " + options.output + " is a device or a pipe");
    case JobRefusal::companion_not_begun: failure(job.refusal_detail); return failure("no image was written");
    }
    print_dot_names_left_out(job.build);
    print_names_not_kept(job.build, options.joliet_long);

    const bool direct = job.place == ImagePlace::incomplete;
    if (job.stopped && !job.stopped_reading_back)
        return report_stop(options.output, direct);
    int status = 0;
    BuildOutcome& outcome = job.build;
    for (const BuildProblem& problem : outcome.problems) {
        bool notice = severity_of(problem.kind) == ProblemSeverity::notice;
        std::fprintf(stderr, "tarnwickiso: %s%s\n", notice ? "note: " : "",
                     platform::text_to_system(describe_problem(problem).c_str()).c_str());
    }
    for (const std::string& line : job.differences)
        std::fprintf(stderr, "tarnwickiso: verify: %s\n", platform::text_to_system(line.c_str()).c_str());
    if (job.stopped)
        return report_stop(options.output, direct);
    if (!job.verified) {
        std::string result = "the image read back differs from its sources: no image was written";
        if (job.place == ImagePlace::kept_older)
            result += "; the older " + options.output + " is unchanged";
        std::fprintf(stderr, "tarnwickiso: %s\n", platform::text_to_system(result.c_str()).c_str());
        return 1;
    }
    if (!job.commit_failure.empty())
        failure(job.commit_failure);
    if (!outcome.clean() || job.damaged) {
        if (outcome.aborted)
            std::fprintf(stderr, "tarnwickiso: the build was stopped\n");
        std::string result = job.damaged ? "the image is damaged (see above) and was not kept" : "no image was written";
        if (outcome.written)
            result = "the image was written but is damaged (see above)";
        else if (job.place == ImagePlace::kept_older)
            result += "; the older " + options.output + " is unchanged";
        std::fprintf(stderr, "tarnwickiso: %s\n", platform::text_to_system(result.c_str()).c_str());
        status = 1;
    }
    if (outcome.written && options.cue && !write_cue_sheet(cue, options.output.c_str(), options.raw)) {
        std::fprintf(stderr, "tarnwickiso: the image %s was written without its cue sheet\n",
                     platform::text_to_system(options.output.c_str()).c_str());
        status = 1;
    }
    const uint32_t file_sectors = outcome.total_sectors + 1 + outcome.padding_sectors;
    if (outcome.written && !options.quiet)
        std::printf("%s: %u sectors of %d bytes (%llu bytes)\n", options.output.c_str(), file_sectors,
                    options.raw ? 2352 : 2048, (unsigned long long)file_sectors * (options.raw ? 2352u : 2048u));
    return status;
}

// The arguments of a command that takes paths only (args[0] is its name):
// the first "--" ends the options and any other option is unknown.
std::string paths_only(const std::vector<std::string>& args, std::vector<std::string>& paths)
{
    bool options_done = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (!options_done && args[i] == "--")
            options_done = true;
        else if (!options_done && args[i].size() > 1 && args[i][0] == '-')
            return "unknown option " + args[i];
        else if (args[i].empty())
            return "an empty PATH names nothing (is a variable unset?); give . for the current folder";
        else
            paths.push_back(args[i]);
    }
    return {};
}

int run_convert_paths(int argc, char** argv)
{
    std::vector<std::string> paths;
    std::string error = paths_only(std::vector<std::string>(argv, argv + argc), paths);
    if (!error.empty())
        return usage_error(error);
    std::vector<char*> pointers{argv[0]};
    for (std::string& path : paths)
        pointers.push_back(path.data());
    return run_convert(int(pointers.size()), pointers.data());
}

int run_estimate(int argc, char** argv)
{
    std::vector<std::string> args;
    if (!program_arguments(argc, argv, args))
        return 2;
    // --efi-boot FILE and --hybrid add what they add to a build; the base
    // already holds a catalog and a diskette-sized BIOS boot image.
    std::string efi_boot;
    bool hybrid = false;
    RegistrationWalk walk;
    walk.large_files = true;
    std::vector<std::string> rest{args[0]};
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--") {
            rest.insert(rest.end(), args.begin() + long(i), args.end());
            break;
        }
        if (args[i] == "--hybrid")
            hybrid = true;
        else if (args[i] == "--dot-files")
            walk.dot_files = true;
        else if (args[i] == "--efi-boot" && i + 1 < args.size())
            efi_boot = args[++i];
        else if (args[i] == "--efi-boot")
            return usage_error("option --efi-boot needs a file");
        else if (args[i].rfind("--efi-boot=", 0) == 0)
            efi_boot = args[i].substr(11);
        else
            rest.push_back(args[i]);
    }
    std::vector<std::string> paths;
    std::string error = paths_only(rest, paths);
    if (!error.empty())
        return usage_error(error);
    uint32_t efi_sectors = 0;
    if (!efi_boot.empty()) {
        std::string problem = efi_boot_image_problem(efi_boot);
        if (!problem.empty())
            return failure(problem);
        platform::FileInfo info;
        if (platform::find_file(efi_boot.c_str(), info))
            efi_sectors = uint32_t((info.size + 2047) / 2048);
    }
    ScanProgress scan_progress(!platform::is_terminal(stderr));
    walk.stop_requested = stop_on_signal().stop_requested;
    walk.walked = scan_progress.walked();
    LineList list;
    for (const std::string& path : paths)
        if (stop_signal || !register_path(list, path.c_str(), walk))
            return stop_signal ? report_stop() : 1;
    end_progress_line();
    int32_t total = estimate_sectors(line_source_of(list)) + int32_t(efi_sectors);
    if (hybrid)
        total = int32_t(hybrid_image_sectors(uint32_t(total)));
    std::printf("Estimated capacity: %d MB (%d sectors)\n", total / 512, total);
    for (const std::string& line : list.lines)
        std::printf("%s\n", platform::text_to_system(line.c_str()).c_str());
    return 0;
}

}  // namespace

namespace {

int run_command(int argc, char** argv)
{
    std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        print_help(stdout);
        return 0;
    }
    if (command == "--version") {
        std::printf("%s\n", version_text);
        return 0;
    }
    if ((command == "build" || command == "estimate" || command == "convert" || command == "verify" ||
         command == "repair" || command == "ls" || command == "extract") &&
        asks_for_help(argc - 1, argv + 1)) {
        print_help(stdout);
        return 0;
    }
    if (command == "build")
        return run_build(argc - 1, argv + 1);
    if (command == "estimate") {
        for (int i = 2; i < argc && std::strcmp(argv[i], "--") != 0; ++i)
            if (std::strcmp(argv[i], "--exact") == 0)
                return run_build(argc - 1, argv + 1);
        return run_estimate(argc - 1, argv + 1);
    }
    if (command == "convert")
        return run_convert_paths(argc - 1, argv + 1);
    if (command == "verify")
        return run_verify(argc - 1, argv + 1);
    if (command == "repair")
        return run_repair(argc - 1, argv + 1);
    if (command == "ls")
        return run_ls(argc - 1, argv + 1);
    if (command == "extract")
        return run_extract(argc - 1, argv + 1);
    if (command == "disk-image" || command == "cd-image" || command == "toc" || command == "drive-id")
        return run_drive_command(argc - 1, argv + 1);
    return usage_error("unknown command '" + command + "'");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        print_help(stderr);
        return 2;
    }
    install_stop_signals();
    // The command has cleaned up when it returns; a signal that stopped it
    // (or came as it ended) then ends the program.
    return end_by_stop_signal(run_command(argc, argv));
}
