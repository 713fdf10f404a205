#include "cli/line_list.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cli/progress.h"
#include "platform/platform.h"
#include "shell/registration.h"

namespace {

int compare_ignoring_case(const std::string& a, const std::string& b)
{
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = (unsigned char)a[i], y = (unsigned char)b[i];
        if (x >= 'a' && x <= 'z')
            x = (unsigned char)(x - 32);
        if (y >= 'a' && y <= 'z')
            y = (unsigned char)(y - 32);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int count_lines(const void* context)
{
    return int(static_cast<const LineList*>(context)->lines.size());
}

void get_line(const void* context, int index, char* buffer, size_t capacity)
{
    const std::string& line = static_cast<const LineList*>(context)->lines[size_t(index)];
    size_t n = std::min(line.size(), capacity - 1);
    std::memcpy(buffer, line.data(), n);
    buffer[n] = 0;
}

bool register_one(LineList& list, const std::string& path, const RegistrationWalk& walk)
{
    char line[line_capacity];
    Measurement m;
    if (!add_registration(path.c_str(), line, m, walk)) {
        end_progress_line();
        if (m.stopped) {
            std::fprintf(stderr, "tarnwickiso: stopped while scanning %s\n", path.c_str());
            return false;
        }
        BuildProblem problem{m.problem, m.problem_path, {}};
        std::fprintf(stderr, "tarnwickiso: cannot register %s: %s\n", path.c_str(), describe_problem(problem).c_str());
        return false;
    }
    insert_sorted(list, line);
    return true;
}

bool is_root(const std::string& path)
{
#ifdef _WIN32
    return path.size() == 2 && path[1] == ':';
#else
    return path.empty();
#endif
}

}  // namespace

void insert_sorted(LineList& list, const std::string& line)
{
    auto at =
        std::upper_bound(list.lines.begin(), list.lines.end(), line,
                         [](const std::string& a, const std::string& b) { return compare_ignoring_case(a, b) < 0; });
    list.lines.insert(at, line);
}

bool registered_path(const char* given, std::string& path)
{
    if (!platform::absolute_path(given, path))
        return false;
    // Trailing separators are dropped ("dir/" registers "dir").
    while (!path.empty() && (path.back() == '/' || path.back() == platform::path_separator))
        path.pop_back();
    return true;
}

bool names_root(const std::string& path)
{
    return is_root(path);
}

bool register_path(LineList& list, const char* given, const RegistrationWalk& walk)
{
    std::string path;
    if (!registered_path(given, path)) {
        end_progress_line();
        std::fprintf(stderr, "tarnwickiso: cannot register %s: %s\n", given, platform::last_error_text().c_str());
        return false;
    }
    platform::FileInfo info;
    if (is_root(path)) {
        // A drive or file-system root: its top-level items, one line each.
        std::string folder = path + platform::path_separator;
        std::vector<std::string> items;
        if (!list_root_items(folder.c_str(), items)) {
            end_progress_line();
            std::fprintf(stderr, "tarnwickiso: cannot register %s: %s\n", given, platform::last_error_text().c_str());
            return false;
        }
        for (const std::string& item : items)
            if (!register_one(list, item, walk))
                return false;
        return true;
    }
    if (!platform::find_file(path.c_str(), info)) {
        end_progress_line();
        std::fprintf(stderr, "tarnwickiso: cannot register %s: %s\n", given,
                     platform::find_failure_text(path.c_str()).c_str());
        return false;
    }
    return register_one(list, path, walk);
}

LineSource line_source_of(const LineList& list)
{
    LineSource source;
    source.context = &list;
    source.count = count_lines;
    source.get = get_line;
    return source;
}
