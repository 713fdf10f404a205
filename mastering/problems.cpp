#include "mastering/problems.h"

ProblemSeverity severity_of(ProblemKind kind)
{
    switch (kind) {
    case ProblemKind::file_too_large:
    case ProblemKind::too_many_directories:
    case ProblemKind::path_too_long:
    case ProblemKind::key_too_long:
    case ProblemKind::line_too_long:
    case ProblemKind::output_path_too_long:
    case ProblemKind::output_is_input:
    case ProblemKind::volume_too_large:
    case ProblemKind::link_target_too_long:
    case ProblemKind::name_too_long:
    case ProblemKind::boot_path_unusable:
    case ProblemKind::graft_clash: return ProblemSeverity::refused;
    case ProblemKind::output_not_created:
    case ProblemKind::write_failed: return ProblemSeverity::failed;
    case ProblemKind::source_unreadable:
    case ProblemKind::source_shrunk:
    case ProblemKind::source_grown:
    case ProblemKind::source_gone:
    case ProblemKind::folder_unreadable:
    case ProblemKind::special_registered:
    case ProblemKind::size_unreported: return ProblemSeverity::damaged;
    case ProblemKind::directory_loop:
    case ProblemKind::special_file_skipped:
    case ProblemKind::output_left_out: return ProblemSeverity::notice;
    }
    return ProblemSeverity::failed;
}

std::string describe_problem(const BuildProblem& problem)
{
    std::string text;
    switch (problem.kind) {
    case ProblemKind::file_too_large: text = "file of 4 GiB or more cannot be stored: " + problem.path; break;
    case ProblemKind::too_many_directories:
        text = "more than 65535 directories" + (problem.path.empty() ? "" : " (passed at " + problem.path + ")");
        break;
    case ProblemKind::path_too_long: text = "path longer than 511 bytes: " + problem.path; break;
    case ProblemKind::key_too_long: text = "ordering key longer than 511 bytes: " + problem.path; break;
    case ProblemKind::line_too_long: text = "registration line longer than 511 characters: " + problem.path; break;
    case ProblemKind::output_path_too_long: text = "output path longer than 511 bytes: " + problem.path; break;
    case ProblemKind::output_not_created: text = "cannot create " + problem.path; break;
    case ProblemKind::write_failed: text = "writing " + problem.path + " failed"; break;
    case ProblemKind::source_unreadable: text = "cannot read " + problem.path + " (its sectors are zero)"; break;
    case ProblemKind::source_shrunk:
        text = problem.path + " has shrunk since it was scanned (its missing tail is zero)";
        break;
    case ProblemKind::source_grown:
        text = problem.path + " has grown since it was scanned (cut to its scanned size)";
        break;
    case ProblemKind::source_gone:
        return "cannot find " + problem.path + ": " +
               (problem.detail.empty() ? "no such file or folder" : problem.detail) + " (entered as an empty file)";
    case ProblemKind::folder_unreadable:
        return "cannot list the folder " + problem.path + (problem.detail.empty() ? "" : ": " + problem.detail) +
               " (entered without contents)";
    case ProblemKind::special_registered:
        text = problem.path + " is not a regular file or folder (entered as an empty file)";
        break;
    case ProblemKind::size_unreported:
        text = problem.path + " does not report the size of its content (entered as an empty file)";
        break;
    case ProblemKind::directory_loop:
        text = problem.path + " leads back to one of its own parent folders (entered without contents)";
        break;
    case ProblemKind::special_file_skipped: text = problem.path + " is not a regular file or folder (left out)"; break;
    case ProblemKind::output_left_out: text = problem.path + " is an output of this command (left out)"; break;
    case ProblemKind::graft_clash: return "two sources for " + problem.path + " in the image: " + problem.detail;
    case ProblemKind::boot_path_unusable: return "--boot-path " + problem.path + ": " + problem.detail;
    case ProblemKind::name_too_long:
        return "the name of " + problem.path + " takes " + problem.detail +
               ", more than the 255 a Rock Ridge name holds for its readers";
    case ProblemKind::link_target_too_long:
        return "symbolic link " + problem.path + " names a target of " + problem.detail +
               ", more than the 1023 readers take (--follow-links stores what it names)";
    case ProblemKind::volume_too_large:
        return "the image would take " + problem.detail + " sectors, more than the 4294967295 a volume can number";
    case ProblemKind::output_is_input:
        text = problem.path +
               " is the output of this command and an input below a registered folder (not an image or cue "
               "sheet of an earlier run)";
        break;
    }
    if (!problem.detail.empty())
        text += ": " + problem.detail;
    return text;
}

bool BuildOutcome::clean() const
{
    if (!written || aborted)
        return false;
    for (const BuildProblem& p : problems)
        if (severity_of(p.kind) != ProblemSeverity::notice)
            return false;
    return true;
}
