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
