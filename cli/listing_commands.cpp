#include "cli/listing_commands.h"

#include <cstring>
#include <string>
#include <vector>

#include "cli/output_file.h"
#include "cli/usage.h"
#include "platform/folders.h"
#include "verify/extract.h"
#include "verify/image_files.h"
#include "verify/image_reader.h"

namespace {

struct OpenImage {
    ImageSource source;
    ImageReading reading;
    ImageFiles files;
};

bool take_tree(const std::string& value, TreeChoice& tree)
{
    if (value == "rock-ridge")
        tree = TreeChoice::rock_ridge;
    else if (value == "joliet")
        tree = TreeChoice::joliet;
    else if (value == "iso9660")
        tree = TreeChoice::iso9660;
    else
        return false;
    return true;
}

// Reads the image and its chosen tree. Structure faults are named on stderr
// (the rest is still shown) and counted in `faults`; false when nothing can
// be shown.
bool open_image(const char* path, TreeChoice tree, OpenImage& image, size_t& faults)
{
    std::string why;
    if (!open_image_source(path, image.source, why)) {
        std::fprintf(stderr, "tarnwickiso: %s: %s\n", path, why.c_str());
        return false;
    }
    image.reading = read_image(image.source);
    for (const std::string& fault : image.reading.faults)
        std::fprintf(stderr, "tarnwickiso: %s: %s\n", path, shown_name(fault).c_str());
    faults = image.reading.faults.size();
    if (!image_files(image.reading, tree, image.files, why)) {
        std::fprintf(stderr, "tarnwickiso: %s: %s\n", path, why.c_str());
        return false;
    }
    for (const std::string& fault : image.files.faults)
        std::fprintf(stderr, "tarnwickiso: %s: %s\n", path, shown_name(fault).c_str());
    faults += image.files.faults.size();
    return true;
}

// Walks the arguments: operands in order, `--` ends the options, --tree for
// both commands; every other option goes to `option` (which may take the
// next argument by moving `i`) and returns 0 when taken, else the status of
// its usage error.
template <typename Option>
int walk_arguments(int argc, char** argv, std::vector<std::string>& operands, TreeChoice& tree, Option option)
{
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options_done || arg.empty() || arg[0] != '-' || arg == "-") {
            operands.push_back(arg);
        } else if (arg == "--") {
            options_done = true;
        } else if (arg == "--tree" || arg.rfind("--tree=", 0) == 0) {
            const std::string value = arg == "--tree" ? (i + 1 < argc ? argv[++i] : "") : arg.substr(7);
            if (!take_tree(value, tree))
                return usage_error("--tree takes rock-ridge, joliet or iso9660, not \"" + value + "\"");
        } else if (const int status = option(arg, i)) {
            return status;
        }
    }
    return 0;
}

void list_item(const ImageFiles& files, uint32_t index, bool long_form)
{
    // Depth first without recursion: an image's tree may be deep.
    std::vector<uint32_t> todo{index};
    while (!todo.empty()) {
        const ImageItem& item = files.items[todo.back()];
        todo.pop_back();
        const std::string line = long_form ? long_listing_line(item) : shown_name(item.path);
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        todo.insert(todo.end(), item.children.rbegin(), item.children.rend());
    }
}

}  // namespace

int run_ls(int argc, char** argv)
{
    TreeChoice tree = TreeChoice::automatic;
    bool long_form = false, boot = false;
    std::vector<std::string> operands;
    const int usage = walk_arguments(argc, argv, operands, tree, [&](const std::string& arg, int&) {
        if (arg == "-l")
            long_form = true;
        else if (arg == "--boot")
            boot = true;
        else
            return usage_error("ls does not take " + arg);
        return 0;
    });
    if (usage)
        return usage;
    if (operands.empty())
        return usage_error("ls needs an IMAGE");
    OpenImage image;
    size_t faults = 0;
    if (!open_image(operands[0].c_str(), tree, image, faults))
        return 1;
    int status = faults ? 1 : 0;
    if (boot) {
        const std::string text = describe_boot(image.source, image.reading);
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::printf("%s tree:\n", image.files.tree.c_str());
    }
    if (operands.size() == 1)
        operands.push_back("/");
    for (size_t i = 1; i < operands.size(); ++i) {
        const int64_t found = find_item(image.files, operands[i]);
        if (found < 0) {
            std::fprintf(stderr, "tarnwickiso: %s: not in the image's %s tree\n", shown_name(operands[i]).c_str(),
                         image.files.tree.c_str());
            status = 1;
            continue;
        }
        list_item(image.files, uint32_t(found), long_form);
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "tarnwickiso: writing the listing failed\n");
        return 1;
    }
    return status;
}

int run_extract(int argc, char** argv)
{
    TreeChoice tree = TreeChoice::automatic;
    ExtractOptions options;
    std::string folder;
    std::vector<std::string> operands;
    const int status = walk_arguments(argc, argv, operands, tree, [&](const std::string& arg, int& i) {
        if (arg == "-C" || arg == "--directory" || arg.rfind("--directory=", 0) == 0) {
            const bool joined = arg.rfind("--directory=", 0) == 0;
            if (!joined && i + 1 >= argc)
                return usage_error(arg + " needs a folder");
            const std::string value = joined ? arg.substr(12) : argv[++i];
            if (value.empty())
                return usage_error(arg + " needs a folder, not an empty name");
            if (!folder.empty() && folder != value)
                return usage_error("two folders to extract into: " + folder + " and " + value);
            folder = value;
        } else if (arg == "--boot") {
            options.boot = true;
        } else if (arg == "--overwrite") {
            options.overwrite = true;
        } else if (arg == "--same-owner") {
            options.same_owner = true;
        } else if (arg == "--devices") {
            options.devices = true;
        } else {
            return usage_error("extract does not take " + arg);
        }
        return 0;
    });
    if (status)
        return status;
    if (operands.empty())
        return usage_error("extract needs an IMAGE");
    if (folder.empty())
        return usage_error("extract needs -C DIR, the folder to extract into");
    if ((options.same_owner || options.devices) && !platform::may_set_owners())
        return usage_error(std::string(options.same_owner ? "--same-owner" : "--devices") +
                           " needs root: only root may set owners and make device nodes");
    options.paths.assign(operands.begin() + 1, operands.end());
    OpenImage image;
    size_t faults = 0;
    if (!open_image(operands[0].c_str(), tree, image, faults))
        return 1;
    const ExtractOutcome outcome = extract_image(
        image.source, image.reading, image.files, folder.c_str(), options,
        [](const std::string& line) { std::fprintf(stderr, "tarnwickiso: %s\n", line.c_str()); }, &stop_signal);
    if (!outcome.failure.empty()) {
        std::fprintf(stderr, "tarnwickiso: %s\n", outcome.failure.c_str());
        return 1;
    }
    if (outcome.stopped) {
        std::fprintf(stderr,
                     "tarnwickiso: %llu files and %llu folders were extracted into %s before the stop; the entry "
                     "being written was removed\n",
                     (unsigned long long)outcome.files, (unsigned long long)outcome.folders, folder.c_str());
        return report_stop();
    }
    std::printf("%s: %llu files (%llu bytes), %llu folders, %llu links, %llu other entries from the %s tree into %s",
                operands[0].c_str(), (unsigned long long)outcome.files, (unsigned long long)outcome.bytes,
                (unsigned long long)outcome.folders, (unsigned long long)outcome.links,
                (unsigned long long)outcome.nodes, image.files.tree.c_str(), folder.c_str());
    if (outcome.refused)
        std::printf("; %llu not extracted (named above)", (unsigned long long)outcome.refused);
    std::printf("\n");
    return outcome.refused || faults ? 1 : 0;
}

void print_listing_commands_help(FILE* out)
{
    std::fprintf(out,
                 "  ls IMAGE [PATH...] [-l] [--tree rock-ridge|joliet|iso9660] [--boot]\n"
                 "                                        lists the image's tree (Rock Ridge where present, else\n"
                 "                                        Joliet, else ISO 9660), or what lies at each PATH;\n"
                 "                                        -l: mode, links, owner, group, size, time (UTC), link\n"
                 "                                        target; --boot: the boot catalog and partition tables\n"
                 "  extract IMAGE [PATH...] -C DIR [--tree T] [--boot] [--overwrite] [--same-owner] [--devices]\n"
                 "                                        writes the tree (or each PATH and what lies below it)\n"
                 "                                        into DIR, never outside it nor through a symbolic link;\n"
                 "                                        --boot also the boot images (boot-N-PLATFORM.img);\n"
                 "                                        existing files are replaced only with --overwrite;\n"
                 "                                        owners (and set-id bits) and device nodes only with\n"
                 "                                        --same-owner and --devices, as root\n");
}
