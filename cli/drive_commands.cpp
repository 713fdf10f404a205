#include "cli/drive_commands.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/image_commands.h"
#include "cli/output_file.h"
#include "cli/usage.h"
#include "drivetools/drive_tools.h"
#include "platform/device.h"
#include "platform/platform.h"

namespace {

using drivetools::Language;
using drivetools::ToolStatus;

int failure(const std::string& message)
{
    std::fprintf(stderr, "tarnwickiso: %s\n", message.c_str());
    return 1;
}

// One updating line on stderr; the empty text clears it.
struct TerminalLine {
    const char* label;
    size_t shown = 0;
};

void show_on_terminal(void* context, const char* text)
{
    auto* line = static_cast<TerminalLine*>(context);
    size_t n = std::strlen(text);
    std::fputc('\r', stderr);
    if (n > 0) {
        std::fputs(line->label, stderr);
        std::fputs(text, stderr);
        n += std::strlen(line->label);
    }
    for (size_t i = n; i < line->shown; ++i)
        std::fputc(' ', stderr);
    if (n == 0 && line->shown > 0)
        std::fputc('\r', stderr);
    line->shown = n > line->shown || n == 0 ? n : line->shown;
    std::fflush(stderr);
}

struct Arguments {
    const char* device = nullptr;
    const char* output = nullptr;
    bool have_first = false, have_last = false;
    int32_t first = 0, last = 0;
    bool quiet = false;
    bool help = false;
    bool cue = false;
};

bool parse_sector(const char* text, int32_t& value)
{
    if (!*text)
        return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text, &end, 10);
    if (errno || *end || v < INT32_MIN || v > INT32_MAX)
        return false;
    value = static_cast<int32_t>(v);
    return true;
}

// Parses "DEVICE [-o OUTPUT] [--first N] [--last N] [--cue] [--quiet]"; which options
// a command takes is checked by the caller. Gives an error text or empty.
std::string parse_arguments(int argc, char** argv, Arguments& args)
{
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](const char* name) -> const char* {
            std::string prefix = std::string(name) + "=";
            if (a.compare(0, prefix.size(), prefix) == 0)
                return argv[i] + prefix.size();
            if (i + 1 >= argc)
                return nullptr;
            return argv[++i];
        };
        if (a == "-h" || a == "--help") {
            args.help = true;
        } else if (a == "-q" || a == "--quiet") {
            args.quiet = true;
        } else if (a == "--cue") {
            args.cue = true;
        } else if (a == "-o" || a == "--output" || a.rfind("--output=", 0) == 0) {
            const char* output = value("--output");
            if (!output || !*output)
                return "option " + a + " needs a file name";
            if (args.output && std::strcmp(args.output, output) != 0)
                return std::string("option --output given twice with different values ('") + args.output + "' and '" +
                       output + "')";
            args.output = output;
        } else if (a == "--first" || a.rfind("--first=", 0) == 0 || a == "--last" || a.rfind("--last=", 0) == 0) {
            bool first = a.rfind("--first", 0) == 0;
            const char* text = value(first ? "--first" : "--last");
            int32_t number = 0;
            if (!text || !parse_sector(text, number))
                return std::string("option ") + (first ? "--first" : "--last") +
                       " needs a sector number (a 32-bit integer)";
            (first ? args.first : args.last) = number;
            (first ? args.have_first : args.have_last) = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return "unknown option '" + a + "'";
        } else if (!args.device) {
            args.device = argv[i];
        } else {
            return "unexpected argument '" + a + "'";
        }
    }
    return std::string();
}

// The messages of the drive tools, as the command line prints them.
template <typename Result>
std::string english(const Result& result)
{
    return drivetools::output_text(result, Language::english);
}

// A copy from the drive: its output, written under a temporary name until it
// is kept, and the progress line it shows on a terminal.
struct Copy {
    PendingOutput output;
    TerminalLine line;
    drivetools::ProgressDisplay progress;
};

// Checks that the output is not the drive and prepares it, with the progress
// line when one is shown. False, said, when nothing is to be copied.
bool start_copy(const Arguments& args, bool show_progress, Copy& copy)
{
    if (same_file(args.device, args.output)) {
        failure(std::string("the output ") + args.output + " is the drive " + args.device +
                " itself: nothing was written");
        return false;
    }
    if (!begin_output(args.output, copy.output))
        return false;
    if (show_progress)
        copy.progress = {show_on_terminal, &copy.line};
    return true;
}

// Keeps a copy that reached the end of what it set out to copy (possibly
// with flaws it reports), removes one that was cut short. Gives the status.
int finish_copy(PendingOutput& output, ToolStatus status, bool reached_end, bool clean, const std::string& text,
                uint64_t bytes, const char* empty_reason, bool* kept = nullptr)
{
    if (stop_signal) {
        return report_stop(output);
    }
    if (!reached_end) {
        discard_output(output);
        if (status == ToolStatus::open_failed || status == ToolStatus::create_failed)
            return failure(text);  // nothing was copied
        failure(text);
        return failure("the incomplete copy was not kept; " + output.name + " is as it was");
    }
    if (!clean && replaces_older_file(output)) {
        // A damaged copy never takes the place of an older file.
        discard_output(output);
        failure(text);
        return failure("the copy is damaged and was not kept; the older " + output.name + " is unchanged");
    }
    if (!commit_output(output))
        return 1;
    if (kept)
        *kept = true;
    if (bytes == 0)
        std::fprintf(stderr, "tarnwickiso: note: %s is empty (0 bytes): %s\n", output.name.c_str(), empty_reason);
    return clean ? 0 : failure(text);
}

int run_disk_image(const Arguments& args, bool show_progress)
{
    Copy copy{{}, {"Blocks read: "}, {}};
    if (!start_copy(args, show_progress, copy))
        return 1;
    drivetools::DiskImageResult result = drivetools::create_disk_image(
        platform::system_device_backend(), args.device, copy.output.writing.c_str(), copy.progress, stop_on_signal());
    result.output = args.output;
    // A medium that ends inside a block was still read to its end.
    bool reached_end = result.status == ToolStatus::done || result.status == ToolStatus::partial_block;
    return finish_copy(copy.output, result.status, reached_end, drivetools::is_clean_copy(result), english(result),
                       result.blocks, "the drive gave no whole 512-byte block");
}

// The cue sheet of cd-image --cue, beside the image: refused when it would
// be the image or the drive, or could not name the image's file. False when
// there is no sheet, said on stderr.
bool make_cue_sheet(const platform::DeviceBackend& backend, const Arguments& args, drivetools::DumpCueResult& cue)
{
    const std::string sheet = cue_sheet_name(args.output);
    const std::string problem = cue_sheet_problem(args.output);
    if (!problem.empty()) {
        failure(problem + ": nothing was written");
        return false;
    }
    if (same_file(sheet, args.device)) {
        failure("the cue sheet " + sheet + " is the drive " + args.device + " itself: nothing was written");
        return false;
    }
    cue = drivetools::make_dump_cue_sheet(backend, args.device, args.output, args.first, args.last);
    if (cue.status != ToolStatus::done) {
        failure(english(cue) + "; nothing was written");
        return false;
    }
    return true;
}

// Writes the sheet once the image is in place; the image stays whatever
// becomes of the sheet.
bool save_cue_sheet(const drivetools::DumpCueResult& cue, const char* image)
{
    PendingOutput output;
    bool saved = begin_output(cue.sheet, output);
    if (saved) {
        platform::File file = platform::create_for_writing(output.writing.c_str());
        saved = file.valid() && platform::write_all(file, cue.cue.text.data(), cue.cue.text.size());
        if (!saved)
            failure("cannot write the cue sheet " + cue.sheet + ": " + platform::last_error_text());
        file.close();
        saved = saved && commit_output(output);
    }
    if (!saved) {
        failure(std::string("the image ") + image + " was kept without its cue sheet");
        return false;
    }
    std::string notes = english(cue);
    if (!notes.empty())
        std::fprintf(stderr, "tarnwickiso: %s\n", notes.c_str());
    return true;
}

int run_cd_image(Arguments args, bool show_progress)
{
    const platform::DeviceBackend& backend = platform::system_device_backend();
    if (!args.have_first || !args.have_last) {
        // The rest of the range from the disc's TOC: from its first track to
        // the sector before the lead-out.
        drivetools::TocQuery toc = drivetools::query_toc(backend, args.device);
        if (toc.status != ToolStatus::done)
            return failure(english(toc));
        if (!args.have_first)
            args.first = toc.cue.first_sector;
        if (!args.have_last)
            args.last = toc.cue.last_sector;
    }
    if (!drivetools::cd_range_acceptable(args.first, args.last)) {
        drivetools::CdImageResult refused;
        refused.status = ToolStatus::refused_range;
        refused.first = args.first;
        refused.last = args.last;
        return failure(english(refused));
    }
    // The sheet is made before the copy, so that a sheet that cannot be made
    // leaves nothing written.
    drivetools::DumpCueResult cue;
    if (args.cue && !make_cue_sheet(backend, args, cue))
        return 1;
    Copy copy{{}, {"Next sector/remaining: "}, {}};
    if (!start_copy(args, show_progress, copy))
        return 1;
    drivetools::CdImageResult result = drivetools::create_cd_image(
        backend, args.device, copy.output.writing.c_str(), args.first, args.last, copy.progress, stop_on_signal());
    result.output = args.output;
    // Unreadable sectors are zero-filled in place: such a copy is kept.
    bool kept = false;
    int status =
        finish_copy(copy.output, result.status, result.status == ToolStatus::done, drivetools::is_clean_copy(result),
                    english(result), result.sectors, "the sector range is empty", &kept);
    if (kept && args.cue && !save_cue_sheet(cue, args.output))
        status = 1;
    return status;
}

// The end of the two queries: why the drive did not answer, or its answer on
// standard output.
template <typename Query>
int print_answer(const Query& query, const std::string& text, const char* what)
{
    if (query.status != ToolStatus::done)
        return failure(english(query));
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
        return stop_signal ? report_stop() : failure(std::string("cannot write the ") + what + " to standard output");
    return 0;
}

int run_toc(const Arguments& args)
{
    drivetools::TocQuery toc = drivetools::query_toc(platform::system_device_backend(), args.device);
    // The text as the Tool window shows it, CR LF line ends untouched.
    platform::write_bytes_unchanged(stdout);
    return print_answer(toc, toc.cue.text, "cue sheet");
}

int run_drive_id(const Arguments& args)
{
    drivetools::DriveIdentification id =
        drivetools::query_drive_identification(platform::system_device_backend(), args.device);
    return print_answer(id, id.text + "\n", "identification");
}

}  // namespace

void print_drive_commands_help(FILE* out)
{
    std::fprintf(out,
                 "  disk-image DEVICE -o OUTPUT [--quiet] copy a disk drive (/dev/fd0, A:) in 512-byte\n"
                 "                                        blocks into OUTPUT\n"
                 "  cd-image DEVICE -o OUTPUT [--first N] [--last N] [--cue] [--quiet]\n"
                 "                                        copy the raw 2352-byte sectors N to N of a\n"
                 "                                        CD-ROM drive (/dev/sr0, Q:) into OUTPUT;\n"
                 "                                        the range not given comes from the TOC;\n"
                 "                                        --cue also writes the cue sheet of OUTPUT\n"
                 "                                        (its extension replaced by .cue): each\n"
                 "                                        track in the range, its mode and start\n"
                 "  toc DEVICE                            print the disc's TOC as cue sheet text\n"
                 "                                        (CR LF line ends; fill in the \"?\")\n"
                 "  drive-id DEVICE                       print the drive's vendor, product, revision\n");
}

int run_drive_command(int argc, char** argv)
{
    if (argc < 1)
        return usage_error("no drive command given");
    std::string command = argv[0];
    bool images = command == "disk-image" || command == "cd-image";
    if (!images && command != "toc" && command != "drive-id")
        return usage_error("unknown command '" + command + "'");

    Arguments args;
    std::string problem = parse_arguments(argc, argv, args);
    if (args.help) {
        print_drive_commands_help(stdout);
        return 0;
    }
    if (!problem.empty())
        return usage_error(command + ": " + problem);
    if (!args.device)
        return usage_error(command + " needs a DEVICE");
    if (images && !args.output)
        return usage_error(command + " needs -o OUTPUT");
    if (!images && args.output)
        return usage_error(command + " writes no file (no -o)");
    if (command != "cd-image" && (args.have_first || args.have_last))
        return usage_error(command + " takes no sector range");
    if (command != "cd-image" && args.cue)
        return usage_error(command + " writes no cue sheet (no --cue)");

    bool show_progress = !args.quiet && platform::is_terminal(stderr);
    if (command == "disk-image")
        return run_disk_image(args, show_progress);
    if (command == "cd-image")
        return run_cd_image(args, show_progress);
    if (command == "toc")
        return run_toc(args);
    return run_drive_id(args);
}
