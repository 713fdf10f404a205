// Japanese texts of the message boxes that say what went wrong: a refused
// registration and a build that failed or damaged its image.
#pragma once

#include <windows.h>

#include <string>

#include "mastering/problems.h"

// UTF-8 (source text) and ANSI (paths) to UTF-16.
std::wstring from_utf8(const char* text);
std::wstring from_ansi(const char* text);

// One line for a problem: what happened to which item, and the system's
// reason when there is one.
std::wstring problem_text(const BuildProblem& problem);

// The whole report of a build whose outcome is not clean; empty when there is
// nothing to say (a clean build, or one the user aborted).
std::wstring build_report(const BuildOutcome& outcome, const char* output_path);

// A warning box owned by the window, with the product name as caption.
void show_warning(HWND owner, const std::wstring& text);
