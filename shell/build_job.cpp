#include "shell/build_job.h"

#include <map>
#include <utility>

#include "mastering/build.h"
#include "mastering/entries.h"
#include "verify/image_reader.h"
#include "verify/read_back.h"
#include "platform/platform.h"
#include "sector/check.h"
#include "verify/image_check.h"
#include "settings/dialog_ids.h"
#include "settings/readers.h"
#include "shell/registration.h"

namespace {

bool stop_requested(const BuildHooks& hooks)
{
    return hooks.job.stop_requested && hooks.job.stop_requested();
}

std::vector<std::pair<std::string, std::string>> inputs_of(const BuildRequest& request)
{
    std::vector<std::pair<std::string, std::string>> inputs;  // what, path
    for (const std::string& path : request.registered)
        inputs.emplace_back("a registered input", path);
    if (request.registered.empty() && request.lines.count) {
        std::vector<char> line(line_capacity);
        for (int i = 0, count = request.lines.count(request.lines.context); i < count; ++i) {
            request.lines.get(request.lines.context, i, line.data(), line.size());
            inputs.emplace_back("a registered input", line_path(line.data()));
        }
    }
    if (request.boot.get_check && request.boot.get_check(request.boot.context, boot_ids::enabled)) {
        std::vector<char> path(1 << 15);
        read_text(request.boot, boot_ids::image_path, path.data(), path.size());
        if (path[0])
            inputs.emplace_back("the boot image", path.data());
    }
    if (!request.efi_boot.empty())
        inputs.emplace_back("the EFI boot image", request.efi_boot);
    if (!request.mbr_code_path.empty())
        inputs.emplace_back("the MBR code", request.mbr_code_path);
    return inputs;
}

// An image of an earlier run: how the scan tells an earlier output of the
// build's name from a file of the user's. It is one when this program's own
// reader reads it as a sound ISO 9660 image (primary descriptor at sector 16,
// 2048- or 2352-byte sectors, path tables, both trees and any boot catalog
// without a fault). Anything else of that name is the user's.
bool is_earlier_image(const std::string& path)
{
    return platform::path_kind(path.c_str()) == platform::PathKind::regular &&
           check_image_structure(path.c_str()).faults.empty();
}

void leave_out(std::vector<LeftOutFile>& files, const std::string& path, bool refused)
{
    platform::FileIdentity identity;
    if (!path.empty() && platform::path_kind(path.c_str()) == platform::PathKind::regular &&
        platform::file_identity(path.c_str(), identity)) {
        platform::FileInfo info;
        files.push_back({identity, platform::find_file(path.c_str(), info) ? info.size : 0, refused});
    }
}

void replace_all(std::string& text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// Reads the finished image back through the image reader: every difference
// from the sources, and for a raw image every faulty sector.
std::vector<std::string> read_back(const PendingOutput& image, const BuildOutcome& outcome, bool raw)
{
    RawStreamCheck sectors;
    std::vector<std::string> differences =
        compare_with_sources(image.writing.c_str(), outcome, raw ? &sectors : nullptr);
    // The sectors were checked on the way of the comparison; should that
    // have been cut short, the file is checked on its own.
    std::string report;
    bool sound = true;
    if (raw && sectors.complete) {
        sound = sectors.checker.summary.clean();
        report = raw_check_text(sectors.checker.summary);
    } else if (raw) {
        sound = check_raw_image_file(image.writing.c_str(), report);
    }
    if (!sound)
        for (size_t at = 0, end; at < report.size(); at = end + 1) {
            end = report.find('\n', at);
            if (end == std::string::npos)
                end = report.size();
            if (end > at)
                differences.push_back("raw sectors: " + report.substr(at, end - at));
        }
    for (std::string& line : differences)
        replace_all(line, image.writing, image.name);  // the temporary name means nothing to the user
    return differences;
}

// Where the image went when it was not put in place.
ImagePlace place_after_removal(bool direct, const std::string& name)
{
    if (direct)
        return ImagePlace::incomplete;
    return platform::path_kind(name.c_str()) == platform::PathKind::regular ? ImagePlace::kept_older
                                                                            : ImagePlace::removed;
}

}  // namespace

// The build's input: the settings read from the three windows, the
// registered paths from the lines (read from the last to the first), and
// the rest from the request.
BuildInput build_input(const BuildRequest& request, const std::string& output)
{
    BuildInput input;
    input.settings = read_image_settings(request.volume, request.boot, request.dir_record);
    const int count = request.lines.count ? request.lines.count(request.lines.context) : 0;
    std::vector<char> line(line_capacity);
    // Each graft's target goes to a line of its source (one source grafted
    // twice has two lines).
    std::multimap<std::string, std::string> targets;
    for (const auto& [target, source] : request.grafts)
        targets.emplace(source, target);
    for (int i = count - 1; i >= 0; --i) {
        request.lines.get(request.lines.context, i, line.data(), line.size());
        const int32_t n = line_entry_count(line.data());
        if (n > 0)
            input.registered_entries += uint32_t(n);
        input.sources.emplace_back(line_path(line.data()));
        auto target = targets.find(input.sources.back());
        if (target != targets.end()) {
            input.targets.resize(input.sources.size());
            input.targets.back() = target->second;
            targets.erase(target);
        }
    }
    input.excluded = request.excluded;
    input.output = output;
    input.sectors = request.raw ? OutputSectors::raw : OutputSectors::plain;
    input.keep_built_files = request.verify;
    input.dot_files = request.dot_files;
    input.rock_ridge = request.rock_ridge;
    input.joliet_long = request.joliet_long;
    input.large_files = request.large_files;
    input.latest_file_time = request.latest_file_time;
    input.boot_info_table = request.boot_info_table;
    input.relaxed_names = request.relaxed_names;
    input.boot_path = request.boot_path;
    input.hybrid.isohybrid_code = request.isohybrid_code;
    input.listings = request.listings;
    input.efi_boot = request.efi_boot;
    input.hybrid.enabled = request.hybrid;
    input.hybrid.mbr_code = request.mbr_code;
    return input;
}

BuildJobOutcome run_build_job(const BuildRequest& request, const BuildHooks& hooks)
{
    BuildJobOutcome result;
    // The image and its companions are never one of the inputs.
    const std::vector<std::pair<std::string, std::string>> inputs = inputs_of(request);
    std::vector<std::pair<std::string, std::string>> outputs = {{"the output", request.output}};
    for (const CompanionOutput& companion : request.companions)
        outputs.emplace_back(companion.role, companion.name);
    for (const auto& [output_role, output] : outputs)
        for (const auto& [input_role, input] : inputs)
            if (same_file(output, input)) {
                result.refusal = JobRefusal::output_is_input;
                result.refusal_detail =
                    output_role + " " + output + " is " + input_role + (input == output ? "" : " (" + input + ")");
                result.build.problems.push_back({ProblemKind::output_is_input, output, input});
                return result;
            }

    if (request.layout_only) {
        BuildInput input = build_input(request, request.output);
        input.layout_only = true;
        if (request.leave_out_earlier_image && !request.output.empty())
            leave_out(input.left_out, request.output, !is_earlier_image(request.output));
        result.build = create_iso(input, hooks);
        result.stopped = stop_requested(hooks) || result.build.aborted;
        return result;
    }
    PendingOutput image;
    if (!begin_output(request.output, image, result.refusal_detail)) {
        result.refusal = JobRefusal::output_not_begun;
        result.build.problems.push_back({ProblemKind::output_not_created, request.output, result.refusal_detail});
        return result;
    }
    const bool direct = !image.temporary;
    if (request.verify && direct) {
        result.refusal = JobRefusal::verify_needs_file;
        return result;
    }
    // A companion's file is made before the build, so that one that cannot
    // be written there stops the build before the image.
    for (const CompanionOutput& companion : request.companions)
        if (!begin_output(companion.name, *companion.pending, result.refusal_detail)) {
            result.refusal = JobRefusal::companion_not_begun;
            return result;
        }

    BuildInput input = build_input(request, image.writing);
    std::vector<LeftOutFile>& left_out = input.left_out;
    // Earlier outputs of these names, and the files being written, may lie
    // in a registered folder: the scan leaves them out. A file of the name
    // that is not an earlier output is the user's: the scan refuses the build
    // when it meets it there.
    if (request.leave_out_earlier_image)
        leave_out(left_out, request.output, !is_earlier_image(request.output));
    for (const CompanionOutput& companion : request.companions)
        leave_out(left_out, companion.name, !companion.earlier);
    if (image.temporary)
        leave_out(left_out, image.writing, false);
    for (const CompanionOutput& companion : request.companions)
        if (companion.pending->temporary)
            leave_out(left_out, companion.pending->writing, false);

    result.build = create_iso(input, hooks);
    BuildOutcome& outcome = result.build;
    for (BuildProblem& problem : outcome.problems)
        if (problem.path == image.writing)
            problem.path = request.output;  // the temporary name means nothing to the user

    result.stopped = stop_requested(hooks) || outcome.aborted;
    if (!result.stopped && outcome.written && request.verify) {
        // Read back under the temporary name: an image that does not match
        // its sources never takes the place of an older file.
        result.differences = read_back(image, outcome, request.raw);
        result.verified = result.differences.empty();
        result.stopped = result.stopped_reading_back = stop_requested(hooks);
    }
    result.damaged = outcome.written && !outcome.clean();
    if (result.stopped || !result.verified) {
        outcome.written = false;
        discard_output(image);
        result.place = place_after_removal(direct, request.output);
        return result;
    }
    // A damaged image never takes the place of an older file.
    if (result.damaged && replaces_older_file(image))
        outcome.written = false;
    if (outcome.written && !commit_output(image, result.commit_failure))
        outcome.written = false;
    else if (!outcome.written)
        discard_output(image);
    result.place = outcome.written ? ImagePlace::written : place_after_removal(direct, request.output);
    return result;
}
