#include "cli/check_commands.h"

#include <cstring>
#include <string>
#include <vector>

#include "cli/output_file.h"
#include "mastering/image_reader.h"
#include "platform/platform.h"
#include "sector/check.h"
#include "sector/repair.h"

namespace {

int usage(const std::string& message)
{
    std::fprintf(stderr, "tarnwickiso: %s\n(see tarnwickiso --help)\n", message.c_str());
    return 2;
}

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

void print_indented(const std::string& prefix, const std::string& lines)
{
    size_t start = 0;
    while (start < lines.size()) {
        size_t end = lines.find('\n', start);
        if (end == std::string::npos)
            end = lines.size();
        if (end > start)
            std::printf("  %s%s\n", prefix.c_str(), lines.substr(start, end - start).c_str());
        start = end + 1;
    }
}

// Checks one image and prints its report; the number of faults found, or -1
// when the file could not be read through.
long long verify_image(const char* path, bool hashes, bool structure)
{
    const ImageFileCheck check = check_image_file(path, hashes, &stop_signal);
    if (check.stopped)
        return -1;
    if (!check.error.empty()) {
        std::fprintf(stderr, "tarnwickiso: %s: %s\n", path, check.error.c_str());
        return -1;
    }
    long long faults = 0;
    switch (check.form) {
    case ImageForm::raw:
        std::printf("%s: 2352-byte sectors\n", path);
        print_indented("", raw_check_text(check.sectors));
        faults += (long long)check.sectors.bad.count + (check.sectors.tail_bytes ? 1 : 0);
        break;
    case ImageForm::plain:
        std::printf("%s: 2048-byte sectors\n", path);
        std::printf("  sectors: %llu (no EDC or ECC to check in 2048-byte sectors)\n",
                    (unsigned long long)(check.size / 2048));
        break;
    case ImageForm::unknown:
        std::printf("%s: neither 2048-byte sectors nor 2352-byte sectors starting with a sync pattern\n", path);
        ++faults;
        structure = false;
        break;
    }
    if (structure) {
        const StructureReport report = check_image_structure(path);
        print_indented("structure: ", report.summary);
        for (const std::string& fault : report.faults)
            std::printf("  structure fault: %s\n", platform::text_to_system(fault.c_str()).c_str());
        faults += (long long)report.faults.size();
    }
    if (check.hashed) {
        std::printf("  size: %llu bytes\n", (unsigned long long)check.size);
        std::printf("  CRC32: %s\n", check.hashes.crc32.c_str());
        std::printf("  MD5: %s\n", check.hashes.md5.c_str());
        std::printf("  SHA-1: %s\n", check.hashes.sha1.c_str());
    }
    if (faults == 0)
        std::printf("%s: sound\n", path);
    else
        std::fprintf(stderr, "tarnwickiso: %s: %lld fault%s found (see above)\n", path, faults, faults == 1 ? "" : "s");
    std::fflush(stdout);
    return faults;
}

}  // namespace

void print_check_commands_help(FILE* out)
{
    std::fprintf(out,
                 "  verify [--hashes] [--no-structure] IMAGE...\n"
                 "                                        check every sector of raw images (sync, address, mode,\n"
                 "                                        EDC, P and Q parity) and the ISO 9660 structure;\n"
                 "                                        --hashes also prints CRC32, MD5 and SHA-1 of each file\n"
                 "  repair IMAGE -o OUTPUT                write the raw image with the sectors that their P and Q\n"
                 "                                        parity can mend corrected\n");
}

int run_verify(int argc, char** argv)
{
    bool hashes = false, structure = true, options_done = false;
    std::vector<const char*> images;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!options_done && arg == "--")
            options_done = true;
        else if (!options_done && arg == "--hashes")
            hashes = true;
        else if (!options_done && arg == "--no-structure")
            structure = false;
        else if (!options_done && arg.size() > 1 && arg[0] == '-')
            return usage("unknown option " + arg);
        else
            images.push_back(argv[i]);
    }
    if (images.empty())
        return usage("verify needs at least one IMAGE");
    bool faults = false;
    for (const char* image : images) {
        if (stop_signal)
            return report_stop();
        const long long found = verify_image(image, hashes, structure);
        if (stop_signal)
            return report_stop();
        faults = faults || found != 0;
    }
    return faults ? 1 : 0;
}

int run_repair(int argc, char** argv)
{
    std::string output;
    std::vector<std::string> images;
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!options_done && arg == "--")
            options_done = true;
        else if (!options_done && (arg == "-o" || arg == "--output")) {
            if (i + 1 >= argc)
                return usage("option " + arg + " needs a value");
            if (!output.empty() && output != argv[i + 1])
                return usage("option " + arg + " given twice with different values");
            output = argv[++i];
        } else if (!options_done && arg.rfind("--output=", 0) == 0)
            output = arg.substr(9);
        else if (!options_done && arg.size() > 1 && arg[0] == '-')
            return usage("unknown option " + arg);
        else
            images.push_back(arg);
    }
    if (images.size() != 1)
        return usage("repair needs one IMAGE");
    if (output.empty())
        return usage("repair needs -o OUTPUT");
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
    PendingOutput pending;
    if (!begin_output(output, pending))
        return 1;
    platform::File file = platform::create_for_writing(pending.writing.c_str());
    if (!file.valid()) {
        std::fprintf(stderr, "tarnwickiso: cannot write %s: %s\n", output.c_str(), platform::last_error_text().c_str());
        discard_output(pending);
        return 1;
    }
    const ImageRepair repair = repair_image_file(image.c_str(), file, &stop_signal);
    file.close();
    if (repair.stopped || stop_signal)
        return report_stop(pending);
    if (!repair.error.empty() || !repair.raw) {
        std::fprintf(
            stderr, "tarnwickiso: %s: %s: nothing was written\n", image.c_str(),
            repair.raw ? repair.error.c_str() : "not an image of 2352-byte sectors (no sync pattern at its start)");
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
    if (repair.unrepairable.empty())
        return 0;
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
