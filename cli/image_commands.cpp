#include "cli/image_commands.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/output_file.h"
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
    PendingOutput cue;
    if (!begin_output(name, cue))
        return false;
    platform::File file = platform::create_for_writing(cue.writing.c_str());
    if (!file.valid() || !platform::write_all(file, text.data(), text.size())) {
        std::fprintf(stderr, "tarnwickiso: cannot write %s: %s\n", name.c_str(), platform::last_error_text().c_str());
        return false;
    }
    file.close();
    return commit_output(cue);
}

int run_convert(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "tarnwickiso: convert needs at least one FILE\n");
        return 2;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        if (stop_signal)
            return report_stop();
        const char* input = argv[i];
        char output[512];
        ConversionResult result = ConversionResult::output_name_too_long;
        uint64_t tail = 0;
        RawConversionCheck check;
        std::string reason;
        PendingOutput pending;
        if (!make_converted_name(input, output))
            result = ConversionResult::output_name_too_long;
        else if (platform::path_kind(input) == platform::PathKind::missing)
            result = ConversionResult::cannot_open_input;
        else if (same_file(input, output))
            result = ConversionResult::output_is_input;
        else if (!begin_output(output, pending))
            result = ConversionResult::cannot_create_output;
        else {
            std::string read_problem;
            result = convert_image(input, pending.writing.c_str(), &tail, &stop_signal, &check, &read_problem);
            if (!read_problem.empty())
                reason = read_problem;
            else if (result == ConversionResult::cannot_open_input ||
                     result == ConversionResult::cannot_create_output || result == ConversionResult::read_failed ||
                     result == ConversionResult::write_failed)
                reason = platform::last_error_text();
        }
        bool converted = result == ConversionResult::raw_to_plain || result == ConversionResult::plain_to_raw;
        if (result == ConversionResult::stopped) {
            return report_stop(pending);
        }
        std::string text = conversion_result_text(result);
        if (converted && !commit_output(pending)) {
            converted = false;
            text = "not converted: the output could not be put in place";
        } else if (!converted) {
            discard_output(pending);  // nothing half-written stays behind
        }
        if (!reason.empty())
            text += " (" + reason + ")";
        std::fprintf(converted ? stdout : stderr, "%s%s -> %s: %s\n", converted ? "" : "tarnwickiso: ", input, output,
                     text.c_str());
        if (converted && tail > 0) {
            std::fprintf(stderr,
                         "tarnwickiso: %s: the file is cut inside its last sector: the last %llu bytes, less than "
                         "one sector, were dropped\n",
                         input, static_cast<unsigned long long>(tail));
            status = 1;
        }
        // The user data is copied as it stands; the sectors named here carry it damaged.
        const char* const mode = track_mode_name(check.mode);
        if (converted && check.bad_edc.count > 0)
            std::fprintf(stderr, "tarnwickiso: %s: %llu sector%s with a bad EDC (%s); their data was copied as it is\n",
                         input, static_cast<unsigned long long>(check.bad_edc.count),
                         check.bad_edc.count == 1 ? "" : "s", sector_list_text(check.bad_edc).c_str());
        if (converted && check.foreign.count > 0)
            std::fprintf(stderr,
                         "tarnwickiso: %s: sectors that are no %s sector of this image where they stand (sync, "
                         "header address or mode byte; zeroed, foreign or audio): %llu (%s); their bytes were copied "
                         "as they are\n",
                         input, mode, static_cast<unsigned long long>(check.foreign.count),
                         sector_list_text(check.foreign).c_str());
        if (converted && check.no_user_data.count > 0)
            std::fprintf(stderr,
                         "tarnwickiso: %s: %llu Mode 2 sector%s of Form 2 or without a form (%s): more than 2048 "
                         "bytes of user data, of which the first 2048 were taken\n",
                         input, static_cast<unsigned long long>(check.no_user_data.count),
                         check.no_user_data.count == 1 ? "" : "s", sector_list_text(check.no_user_data).c_str());
        if (converted && !check.clean())
            status = 1;
        if (!converted)
            status = 1;
    }
    return status;
}
