#include "cli/check_commands.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "cli/output_file.h"
#include "cli/usage.h"
#include "drivetools/cue_sheet.h"
#include "verify/image_reader.h"
#include "platform/platform.h"
#include "sector/check.h"
#include "verify/image_check.h"
#include "verify/repair.h"

namespace {

// Sector numbers in full up to a hundred, then how many more.
std::string numbers_text(const std::vector<uint64_t>& numbers)
{
    constexpr size_t shown = 100;
    std::string text;
    for (size_t i = 0; i < numbers.size() && i < shown; ++i)
        text += (i ? ", " : "") + std::to_string(numbers[i]);
    if (numbers.size() > shown)
        text += ", ... (" + std::to_string(numbers.size()) + " in all)";
    return text;
}

// Each line of `lines` indented by two spaces and `prefix`.
std::string indented(const std::string& prefix, const std::string& lines)
{
    std::string text;
    size_t start = 0;
    while (start < lines.size()) {
        size_t end = lines.find('\n', start);
        if (end == std::string::npos)
            end = lines.size();
        if (end > start)
            text += "  " + prefix + lines.substr(start, end - start) + "\n";
        start = end + 1;
    }
    return text;
}

// Cue sheets are a few lines per track; anything far larger is not one.
constexpr uint64_t max_cue_sheet_bytes = 1 << 20;

TrackMode track_mode_of(drivetools::CueTrackType type)
{
    switch (type) {
    case drivetools::CueTrackType::mode1_2352: return TrackMode::mode1;
    case drivetools::CueTrackType::mode2_2352: return TrackMode::mode2;
    case drivetools::CueTrackType::audio: return TrackMode::audio;
    }
    return TrackMode::audio;
}

// The tracks of `image` as the cue sheet at `cue_path` lists them: sectors
// before a track's INDEX 01 (its pregap, and those before the first track)
// are not checked. False, with the reason printed, when the sheet cannot be
// read, is not one, or lists a track that starts past the image's end. With
// `announce`, the tracks taken are listed on stdout.
bool tracks_from_cue(const std::string& cue_path, const char* image, TrackList& tracks, const char* nothing,
                     bool announce)
{
    platform::File file = platform::open_for_reading(cue_path.c_str());
    uint64_t size = 0;
    if (!file.valid() || !platform::file_size(file, size)) {
        std::fprintf(stderr, "tarnwickiso: cue sheet %s: cannot read it: %s%s\n", cue_path.c_str(),
                     platform::last_error_text().c_str(), nothing);
        return false;
    }
    if (size > max_cue_sheet_bytes) {
        std::fprintf(stderr, "tarnwickiso: cue sheet %s: %llu bytes is too large for a cue sheet%s\n", cue_path.c_str(),
                     (unsigned long long)size, nothing);
        return false;
    }
    std::string text(size_t(size), '\0');
    if (platform::read_full(file, text.data(), text.size()) != int64_t(text.size())) {
        std::fprintf(stderr, "tarnwickiso: cue sheet %s: reading failed: %s%s\n", cue_path.c_str(),
                     platform::last_error_text().c_str(), nothing);
        return false;
    }
    const drivetools::ParsedCueSheet cue = drivetools::parse_cue_sheet(text);
    if (!cue.error.empty()) {
        std::fprintf(stderr, "tarnwickiso: cue sheet %s: %s%s\n", cue_path.c_str(), cue.error.c_str(), nothing);
        return false;
    }
    // An image that cannot be looked at is named by the check that follows.
    platform::FileInfo info;
    const bool found = platform::find_file(image, info);
    const uint64_t sectors = info.size / raw_sector_size;
    if (drivetools::path_leaf(cue.file_name) != drivetools::path_leaf(image))
        std::fprintf(stderr, "tarnwickiso: note: cue sheet %s names the file %s, not %s\n", cue_path.c_str(),
                     cue.file_name.c_str(), drivetools::path_leaf(image).c_str());
    tracks.clear();
    auto add = [&tracks](uint64_t first, TrackMode mode) {
        if (!tracks.empty() && tracks.back().first == first)
            tracks.back().mode = mode;
        else
            tracks.push_back({first, mode});
    };
    add(0, TrackMode::audio);
    for (const drivetools::CueTrack& t : cue.tracks) {
        if (found && t.index1 >= sectors) {
            std::fprintf(stderr,
                         "tarnwickiso: cue sheet %s: track %02u starts at sector %u, past the end of %s (%llu "
                         "sectors)%s\n",
                         cue_path.c_str(), unsigned(t.number), unsigned(t.index1), image, (unsigned long long)sectors,
                         nothing);
            return false;
        }
        if (t.has_index0)
            add(t.index0, TrackMode::audio);
        add(t.index1, track_mode_of(t.type));
    }
    if (!announce)
        return true;
    std::printf("%s: tracks of %s:", image, cue_path.c_str());
    for (size_t i = 0; i < cue.tracks.size(); ++i)
        std::printf("%s %02u %s from sector %u", i ? "," : "", unsigned(cue.tracks[i].number),
                    track_mode_name(track_mode_of(cue.tracks[i].type)), unsigned(cue.tracks[i].index1));
    std::printf(" (pregaps not checked)\n");
    return true;
}

// What verify does with each image.
struct VerifyRequest {
    std::vector<HashKind> hashes;  // computed over the whole file
    // --hash: stdout gets only the hash lines, as sha256sum writes them; the
    // report goes to stderr, and only when it names a fault.
    bool sums_only = false;
    bool structure = true;
    const TrackList* tracks = nullptr;
};

// "HEX  PATH" as the coreutils sum programs write it and their -c reads it:
// a path holding a backslash or a line end is escaped and the line starts
// with a backslash.
std::string sum_line(const std::string& hex, const std::string& path)
{
    if (path.find_first_of("\\\n") == std::string::npos)
        return hex + "  " + path + "\n";
    std::string escaped;
    for (char c : path)
        escaped += c == '\\' ? "\\\\" : c == '\n' ? "\\n" : std::string(1, c);
    return "\\" + hex + "  " + escaped + "\n";
}

// Checks one image and prints its report; the number of faults found, or -1
// when the file could not be read through.
long long verify_image(const char* path, const VerifyRequest& request)
{
    ImageFileCheckOptions options;
    options.hashes = request.hashes;
    options.stop = &stop_signal;
    options.tracks = request.tracks;
    const ImageFileCheck check = check_image_file(path, options);
    if (check.stopped)
        return -1;
    if (!check.error.empty()) {
        std::fprintf(stderr, "tarnwickiso: %s: %s\n", path, check.error.c_str());
        return -1;
    }
    long long faults = 0;
    bool structure = request.structure;
    std::string report;
    switch (check.form) {
    case ImageForm::raw:
        report += std::string(path) + ": 2352-byte sectors\n" + indented("", raw_check_text(check.sectors));
        faults += (long long)check.sectors.bad.count + (check.sectors.tail_bytes ? 1 : 0);
        if (!request.tracks && check.sectors.faults[size_t(SectorFault::sync)].count)
            report += "  (an image that also holds audio tracks is checked track by track with --cue SHEET)\n";
        break;
    case ImageForm::plain:
        report += std::string(path) + ": 2048-byte sectors\n  sectors: " + std::to_string(check.size / 2048) +
                  " (no EDC or ECC to check in 2048-byte sectors)\n";
        break;
    case ImageForm::unknown:
        report +=
            std::string(path) + ": neither 2048-byte sectors nor 2352-byte sectors starting with a sync pattern\n";
        ++faults;
        structure = false;
        break;
    }
    if (structure) {
        const StructureReport structure_report = check_image_structure(path);
        report += indented("structure: ", structure_report.summary);
        for (const std::string& fault : structure_report.faults)
            report += "  structure fault: " + platform::text_to_system(fault.c_str()) + "\n";
        faults += (long long)structure_report.faults.size();
    }
    if (request.sums_only) {
        for (HashKind kind : request.hashes)
            std::fputs(sum_line(check.hashes.at(kind), path).c_str(), stdout);
        std::fflush(stdout);
        if (faults)
            std::fputs(report.c_str(), stderr);
    } else {
        if (check.hashed) {
            report += "  size: " + std::to_string(check.size) + " bytes\n";
            for (HashKind kind : request.hashes)
                report += std::string("  ") + hash_label(kind) + ": " + check.hashes.at(kind) + "\n";
        }
        if (faults == 0)
            report += std::string(path) + ": sound\n";
        std::fputs(report.c_str(), stdout);
        std::fflush(stdout);
    }
    if (faults)
        std::fprintf(stderr, "tarnwickiso: %s: %lld fault%s found (see above)\n", path, faults, faults == 1 ? "" : "s");
    return faults;
}

bool is_cue_option(const std::string& arg)
{
    return arg == "--cue" || arg.rfind("--cue=", 0) == 0;
}

// Takes the sheet of "--cue SHEET" or "--cue=SHEET" at argv[i], stepping i
// over a separate value. Gives the usage problem, or "" when it was taken.
std::string take_cue_option(int argc, char** argv, int& i, std::string& cue)
{
    const std::string arg = argv[i];
    if (!cue.empty())
        return "option --cue given twice";
    if (arg == "--cue" && i + 1 >= argc)
        return "option --cue needs a value";
    cue = arg == "--cue" ? argv[++i] : arg.substr(6);
    if (cue.empty())
        return "option --cue needs a value";
    return "";
}

}  // namespace

void print_check_commands_help(FILE* out)
{
    std::fprintf(out,
                 "  verify [--hashes | --hash NAME...] [--no-structure] [--cue SHEET] IMAGE...\n"
                 "                                        check every sector of raw images (sync, address, mode,\n"
                 "                                        EDC, P and Q parity) and the ISO 9660 structure;\n"
                 "                                        --hashes also prints CRC32, MD5, SHA-1 and SHA-256 of\n"
                 "                                        each file; --hash crc32|md5|sha1|sha256 (repeatable)\n"
                 "                                        prints only the named ones, a line 'HEX  IMAGE' each as\n"
                 "                                        sha256sum -c reads them, and the report only on stderr\n"
                 "                                        when it names a fault;\n"
                 "                                        --cue takes each track's mode from the image's cue sheet\n"
                 "  repair [--cue SHEET] IMAGE -o OUTPUT  write the raw image with the sectors that their P and Q\n"
                 "                                        parity can mend corrected\n");
}

int run_verify(int argc, char** argv)
{
    VerifyRequest request;
    bool all_hashes = false, options_done = false;
    std::string cue;
    std::vector<const char*> images;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!options_done && arg == "--")
            options_done = true;
        else if (!options_done && is_cue_option(arg)) {
            const std::string problem = take_cue_option(argc, argv, i, cue);
            if (!problem.empty())
                return usage_error(problem);
        } else if (!options_done && arg == "--hashes")
            all_hashes = true;
        else if (!options_done && (arg == "--hash" || arg.rfind("--hash=", 0) == 0)) {
            if (arg == "--hash" && i + 1 >= argc)
                return usage_error("option --hash needs a value");
            const std::string name = arg == "--hash" ? argv[++i] : arg.substr(7);
            const std::optional<HashKind> kind = hash_kind_named(name);
            if (!kind)
                return usage_error("unknown hash '" + name + "' (crc32, md5, sha1 or sha256)");
            if (std::find(request.hashes.begin(), request.hashes.end(), *kind) == request.hashes.end())
                request.hashes.push_back(*kind);
            request.sums_only = true;
        } else if (!options_done && arg == "--no-structure")
            request.structure = false;
        else if (!options_done && arg.size() > 1 && arg[0] == '-')
            return usage_error("unknown option " + arg);
        else
            images.push_back(argv[i]);
    }
    if (images.empty())
        return usage_error("verify needs at least one IMAGE");
    if (!cue.empty() && images.size() != 1)
        return usage_error("--cue takes the cue sheet of one IMAGE");
    if (all_hashes && request.sums_only)
        return usage_error("--hashes prints all four hashes in the report: not with --hash");
    if (all_hashes)
        request.hashes.assign(std::begin(all_hash_kinds), std::end(all_hash_kinds));
    TrackList tracks;
    if (!cue.empty() && !tracks_from_cue(cue, images[0], tracks, ": nothing was checked", !request.sums_only))
        return 1;
    if (!cue.empty())
        request.tracks = &tracks;
    bool faults = false;
    for (const char* image : images) {
        if (stop_signal)
            return report_stop();
        const long long found = verify_image(image, request);
        if (stop_signal)
            return report_stop();
        faults = faults || found != 0;
    }
    return faults ? 1 : 0;
}

int run_repair(int argc, char** argv)
{
    std::string output, cue;
    std::vector<std::string> images;
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!options_done && arg == "--")
            options_done = true;
        else if (!options_done && is_cue_option(arg)) {
            const std::string problem = take_cue_option(argc, argv, i, cue);
            if (!problem.empty())
                return usage_error(problem);
        } else if (!options_done && (arg == "-o" || arg == "--output" || arg.rfind("--output=", 0) == 0)) {
            const bool attached = arg.size() > 8;
            if (!attached && i + 1 >= argc)
                return usage_error("option " + arg + " needs a value");
            const std::string value = attached ? arg.substr(9) : argv[++i];
            if (!output.empty() && output != value)
                return usage_error("option --output given twice with different values ('" + output + "' and '" + value +
                                   "')");
            output = value;
        } else if (!options_done && arg.size() > 1 && arg[0] == '-')
            return usage_error("unknown option " + arg);
        else
            images.push_back(arg);
    }
    if (images.size() != 1)
        return usage_error("repair needs one IMAGE");
    if (output.empty())
        return usage_error("repair needs -o OUTPUT");
    const std::string& image = images[0];
    if (platform::path_kind(image.c_str()) != platform::PathKind::regular) {
        std::fprintf(stderr, "tarnwickiso: %s: not a readable file: nothing was written\n", image.c_str());
        return 1;
    }
    if (image == output || same_file(image, output)) {
        std::fprintf(stderr, "tarnwickiso: the output %s is the image %s: nothing was written\n", output.c_str(),
                     image.c_str());
        return 1;
    }
    TrackList tracks;
    if (!cue.empty() && !tracks_from_cue(cue, image.c_str(), tracks, ": nothing was written", true))
        return 1;
    PendingOutput pending;
    if (!begin_output(output, pending))
        return 1;
    platform::File file = platform::create_for_writing(pending.writing.c_str());
    if (!file.valid()) {
        std::fprintf(stderr, "tarnwickiso: cannot write %s: %s\n", output.c_str(), platform::last_error_text().c_str());
        discard_output(pending);
        return 1;
    }
    const ImageRepair repair = repair_image_file(image.c_str(), file, &stop_signal, cue.empty() ? nullptr : &tracks);
    file.close();
    if (repair.stopped || stop_signal)
        return report_stop(pending);
    if (!repair.error.empty() || !repair.raw) {
        std::fprintf(stderr, "tarnwickiso: %s: %s: nothing was written\n", image.c_str(),
                     repair.raw ? repair.error.c_str()
                                : "not an image of 2352-byte sectors (no sync pattern at its first sector starts)");
        discard_output(pending);
        return 1;
    }
    // Sectors left unrepairable make a damaged image, which never takes the
    // place of an older file.
    const bool kept_older = !repair.unrepairable.empty() && replaces_older_file(pending);
    if (kept_older)
        discard_output(pending);
    else if (!commit_output(pending))
        return 1;
    std::printf("%s -> %s: %llu sectors, %zu repaired, %zu unrepairable\n", image.c_str(), output.c_str(),
                (unsigned long long)repair.sectors, repair.repaired.size(), repair.unrepairable.size());
    if (!repair.repaired.empty())
        std::printf("  repaired: %s\n", numbers_text(repair.repaired).c_str());
    if (repair.tail_bytes)
        std::fprintf(stderr,
                     "tarnwickiso: %s: the file is cut inside its last sector: the last %llu bytes, less than one "
                     "sector, were copied as they are\n",
                     image.c_str(), (unsigned long long)repair.tail_bytes);
    if (repair.unrepairable.empty())
        return repair.tail_bytes ? 1 : 0;
    std::fprintf(stderr, "tarnwickiso: %s: unrepairable sectors, copied as they are: %s\n", image.c_str(),
                 numbers_text(repair.unrepairable).c_str());
    for (size_t f = 0; f < sector_fault_count; ++f)
        if (repair.remaining.faults[f].count)
            std::fprintf(stderr, "tarnwickiso:   %s: %llu (%s)\n", sector_fault_name(SectorFault(f)),
                         (unsigned long long)repair.remaining.faults[f].count,
                         sector_list_text(repair.remaining.faults[f]).c_str());
    if (kept_older)
        std::fprintf(stderr, "tarnwickiso: the repaired image is damaged and was not kept; the older %s is unchanged\n",
                     output.c_str());
    return 1;
}
