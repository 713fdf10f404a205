#include "shell/registration.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "mastering/entries.h"
#include "mastering/identifiers.h"
#include "platform/platform.h"
#include "settings/date_field.h"

namespace {

struct Walk {
    const RegistrationWalk& given;
    // A stop request already standing when the walk starts (left from an
    // aborted build) is not meant for this walk.
    bool stop_counts = false;
    std::vector<FolderIdentity> ancestors;
};

// `looked`, when given, is what find_file says of the path.
void measure_into(const char* path, Measurement& m, Walk& walk, bool registered,
                  const platform::FoundName* looked = nullptr)
{
    size_t length = std::strlen(path);
    if (length >= line_capacity) {
        m.refused = true;
        m.problem = ProblemKind::path_too_long;
        m.problem_path = path;
        return;
    }
    platform::FileInfo info;
    if (looked)
        info = looked->info;
    if (looked ? !looked->found : !platform::find_file(path, info, walk.given.links)) {
        m.entries += 1;  // counts as an empty file
        return;
    }
    if (info.special && !registered)
        return;  // left out by the scan as well
    if (!(info.attributes & platform::attribute_directory)) {
        if (!info.special && info.size >= four_gib && !walk.given.large_files) {
            m.refused = true;
            m.problem = ProblemKind::file_too_large;
            m.problem_path = path;
            return;
        }
        m.entries += 1;
        // The count is a rough one for the list: it stops at its column's
        // largest number.
        const uint64_t sectors = m.sectors + ((info.special ? 0 : info.size) + 2047u) / 2048u;
        m.sectors = int32_t(std::min<uint64_t>(sectors, INT32_MAX));
        return;
    }
    m.entries += 1;
    if (m.sectors < INT32_MAX - 1)
        m.sectors += 2;
    if (++m.folders > max_directories) {
        m.refused = true;
        m.problem = ProblemKind::too_many_directories;
        m.problem_path = path;
        return;
    }
    if (walk.stop_counts && walk.given.stop_requested()) {
        m.refused = m.stopped = true;
        return;
    }
    if (walk.given.walked)
        walk.given.walked(m.folders, path);
    FolderIdentity self{info.volume, info.object};
    if (leads_back(walk.ancestors, self))
        return;
    std::vector<platform::FoundName> names;
    if (!list_scanned_names(path, names, nullptr, walk.given.links))
        return;
    walk.ancestors.push_back(self);
    std::string child = path;
    child += platform::path_separator;
    const size_t folder_length = child.size();
    for (const platform::FoundName& item : names) {
        if (left_out_by_name(item.name, walk.given.dot_files))
            continue;
        child.resize(folder_length);
        child += item.name;
        measure_into(child.c_str(), m, walk, false, &item);
        if (m.refused)
            break;
    }
    walk.ancestors.pop_back();
    keep_listing(walk.given.listings, path, std::move(names));
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

Measurement measure_path(const char* path, const RegistrationWalk& given)
{
    Measurement m;
    Walk walk{given, false, {}};
    walk.stop_counts = given.stop_requested && !given.stop_requested();
    measure_into(path, m, walk, true);
    return m;
}

bool list_root_items(const char* root, std::vector<std::string>& paths)
{
    // A root has no name of its own on the disc: each of its top-level items
    // is registered as if it had been given by itself, so an item whose own
    // name begins with a dot is one of them; only "." and ".." are not.
    const std::string folder = root;
    return platform::list_directory(root, [&](const char* name) {
        if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0)
            paths.push_back(folder + name);
    });
}

bool add_registration(const char* path, char* line, Measurement& measurement, const RegistrationWalk& walk)
{
    line[0] = 0;
    measurement = measure_path(path, walk);
    if (measurement.refused)
        return false;
    char formatted[2 * line_capacity + 64];
    int n = std::snprintf(formatted, sizeof formatted, "%s\t    %d\t    %d\t    %s", leaf_name(path),
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

namespace {

// TAB and four spaces: what follows every column but the last.
bool is_separator(const char* p)
{
    return std::strncmp(p, "\t    ", 5) == 0;
}

// A number column ("-12" or "340") followed by a separator; the position
// after that separator, or null.
const char* after_number_column(const char* p)
{
    if (*p == '-')
        ++p;
    const char* digits = p;
    while (*p >= '0' && *p <= '9')
        ++p;
    return p > digits && is_separator(p) ? p + 5 : nullptr;
}

struct LineColumns {
    const char* entries;
    const char* sectors;
    const char* path;
};

// Names may hold TABs (POSIX), so the columns are found where the line has
// the whole shape: name, separator, number, separator, number, separator,
// path, and the name is the display name of that path. Lines of another
// shape are read at the first, second and last TAB.
LineColumns columns_of(const char* line)
{
    for (const char* tab = std::strchr(line, '\t'); tab; tab = std::strchr(tab + 1, '\t')) {
        if (!is_separator(tab))
            continue;
        const char* sectors = after_number_column(tab + 5);
        const char* path = sectors ? after_number_column(sectors) : nullptr;
        if (!path)
            continue;
        const char* name = leaf_name(path);
        size_t name_length = size_t(tab - line);
        if (std::strlen(name) == name_length && std::memcmp(name, line, name_length) == 0)
            return {tab + 5, sectors, path};
    }
    const char* end = line + std::strlen(line);
    const char* first = std::strchr(line, '\t');
    const char* second = first ? std::strchr(first + 1, '\t') : nullptr;
    const char* last = std::strrchr(line, '\t');
    return {first ? after_separator(first) : end, second ? after_separator(second) : end,
            last ? after_separator(last) : end};
}

}  // namespace

int32_t line_entry_count(const char* line)
{
    return column_number(columns_of(line).entries);
}

int32_t line_sectors(const char* line)
{
    return column_number(columns_of(line).sectors);
}

const char* line_path(const char* line)
{
    return columns_of(line).path;
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
