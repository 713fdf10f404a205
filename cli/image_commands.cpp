#include "cli/image_commands.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "sector/convert.h"

namespace {

size_t leaf_start(const std::string& path)
{
    size_t slash = path.find_last_of(platform::path_separator == '/' ? "/" : "\\/:");
    return slash == std::string::npos ? 0 : slash + 1;
}

}  // namespace

std::string cue_sheet_name(const char* image_path)
{
    std::string path = image_path;
    size_t leaf = leaf_start(path);
    size_t dot = path.rfind('.');
    if (dot != std::string::npos && dot > leaf)
        path.erase(dot);
    return path + ".cue";
}

bool write_cue_sheet(const char* image_path, bool raw)
{
    std::string name = cue_sheet_name(image_path);
    std::string image = image_path;
    std::string text = "FILE \"" + image.substr(leaf_start(image)) + "\" BINARY\r\n";
    text += raw ? "  TRACK 01 MODE1/2352\r\n" : "  TRACK 01 MODE1/2048\r\n";
    text += "    INDEX 01 00:00:00\r\n";
    platform::File file = platform::create_for_writing(name.c_str());
    if (!file.valid() || !platform::write_all(file, text.data(), text.size())) {
        std::fprintf(stderr, "tarnwickiso: cannot write %s: %s\n", name.c_str(), platform::last_error_text().c_str());
        return false;
    }
    return true;
}

int run_convert(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "tarnwickiso: convert needs at least one FILE\n");
        return 2;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        char output[512];
        if (!make_converted_name(argv[i], output)) {
            std::fprintf(stderr, "tarnwickiso: %s: not converted: %s\n", argv[i],
                         conversion_result_text(ConversionResult::output_name_too_long));
            status = 1;
            continue;
        }
        ConversionResult result = convert_image(argv[i], output);
        bool converted = result == ConversionResult::raw_to_plain || result == ConversionResult::plain_to_raw;
        std::fprintf(converted ? stdout : stderr, "%s%s -> %s: %s\n", converted ? "" : "tarnwickiso: ", argv[i],
                     output, conversion_result_text(result));
        if (!converted)
            status = 1;
    }
    return status;
}
