// The command line's registration list: lines kept in the order of the
// Windows program's sorted list box (case-insensitive over the whole line).
#pragma once

#include <string>
#include <vector>

#include "mastering/problems.h"
#include "shell/registration.h"

struct LineList {
    std::vector<std::string> lines;
};

// Registers one path as the register commands do; prints the reason on
// stderr and returns false when it cannot be registered.
[[nodiscard]] bool register_path(LineList& list, const char* path, const RegistrationWalk& walk = {});
// Inserts a line at its sorted place (after equal lines).
void insert_sorted(LineList& list, const std::string& line);
LineSource line_source_of(const LineList& list);
// The path a registration of `given` takes: absolute, without trailing
// separators; false when it cannot be made.
[[nodiscard]] bool registered_path(const char* given, std::string& path);
// True for a drive or file-system root as registered_path gives it.
bool names_root(const std::string& path);
