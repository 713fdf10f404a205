#include "shell/registration.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "mastering/entries.h"
#include "platform/platform.h"
#include "settings/date_field.h"

namespace {

constexpr uint64_t four_gib = uint64_t(1) << 32;

void measure_into(const char* path, Measurement& m, std::vector<FolderIdentity>& ancestors, bool registered)
{
    size_t length = std::strlen(path);
    if (length >= line_capacity) {
        m.refused = true;
        m.problem = ProblemKind::path_too_long;
        m.problem_path = path;
        return;
    }
    platform::FileInfo info;
    if (!platform::find_file(path, info)) {
        m.entries += 1;  // counts as an empty file
        return;
    }
    if (info.special && !registered)
        return;  // left out by the scan as well
    if (!(info.attributes & platform::attribute_directory)) {
        if (!info.special && info.size >= four_gib) {
            m.refused = true;
            m.problem = ProblemKind::file_too_large;
            m.problem_path = path;
            return;
        }
        m.entries += 1;
        m.sectors += int32_t((uint32_t(info.special ? 0 : info.size) + 2047u) / 2048u);
        return;
    }
    m.entries += 1;
    m.sectors += 2;
    FolderIdentity self{info.volume, info.object};
    if (leads_back(ancestors, self))
        return;
    std::vector<std::string> names;
    if (!list_scanned_names(path, names))
        return;
    ancestors.push_back(self);
    for (const std::string& name : names) {
        std::string child = std::string(path) + platform::path_separator + name;
        measure_into(child.c_str(), m, ancestors, false);
        if (m.refused)
            break;
    }
    ancestors.pop_back();
}

// Copies the text from `from` up to the next TAB or the end into a small buffer.
int32_t column_number(const char* from)
{
    char column[32] = {};
    size_t n = 0;
    while (from[n] != 0 && from[n] != '\t' && n < sizeof column - 1) {
        column[n] = from[n];
        ++n;
    }
    return text_to_integer(column);
}

// The position five characters after a TAB, never beyond the terminator.
const char* after_separator(const char* tab)
{
    const char* p = tab;
    for (int i = 0; i < 5 && *p; ++i)
        ++p;
    return p;
}

}  // namespace

Measurement measure_path(const char* path)
{
    Measurement m;
    std::vector<FolderIdentity> ancestors;
    measure_into(path, m, ancestors, true);
    return m;
}

const char* display_name_of(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p; p = platform::char_next(p))
        if (*p == platform::path_separator)
            name = p + 1;
    return name;
}

bool add_registration(const char* path, char* line, Measurement& measurement)
{
    line[0] = 0;
    measurement = measure_path(path);
    if (measurement.refused)
        return false;
    char formatted[2 * line_capacity + 64];
    int n = std::snprintf(formatted, sizeof formatted, "%s\t    %d\t    %d\t    %s", display_name_of(path),
                          measurement.entries, measurement.sectors, path);
    if (n < 0 || size_t(n) >= line_capacity) {
        measurement.refused = true;
        measurement.problem = ProblemKind::line_too_long;
        measurement.problem_path = path;
        return false;
    }
    std::memcpy(line, formatted, size_t(n) + 1);
    return true;
}

int32_t line_entry_count(const char* line)
{
    const char* tab = std::strchr(line, '\t');
    return tab ? column_number(after_separator(tab)) : 0;
}

int32_t line_sectors(const char* line)
{
    const char* tab = std::strchr(line, '\t');
    if (!tab)
        return 0;
    tab = std::strchr(tab + 1, '\t');
    return tab ? column_number(after_separator(tab)) : 0;
}

const char* line_path(const char* line)
{
    const char* tab = std::strrchr(line, '\t');
    return tab ? after_separator(tab) : line + std::strlen(line);
}

int32_t estimate_sectors(const LineSource& lines)
{
    uint32_t total = uint32_t(estimate_base_sectors);
    int count = lines.count ? lines.count(lines.context) : 0;
    char line[1024];
    for (int i = count - 1; i >= 0; --i) {
        lines.get(lines.context, i, line, sizeof line);
        total += uint32_t(line_sectors(line));
    }
    return int32_t(total);
}
