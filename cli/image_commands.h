// Image commands of the command line: conversion between the two sector
// forms and the cue sheet written beside a build.
#pragma once

#include <string>

struct PendingOutput;

[[nodiscard]] int run_convert(int argc, char** argv);
// The cue sheet's name for an image path: IMAGE.cue, the image's extension
// replaced, or ".cue" appended.
std::string cue_sheet_name(const char* image_path);
// Why no cue sheet can stand beside the image path (its output is a device or
// a pipe, its name holds a double quote or a line break, which the sheet's
// FILE line cannot hold, or the sheet's name is a folder), or empty.
[[nodiscard]] std::string cue_sheet_problem(const char* image_path);
// The sheet of a build: it names the image and one MODE1/2352 or
// MODE1/2048 track.
std::string cue_sheet_text(const char* image_path, bool raw);
// Writes that sheet into `sheet`, begun beside the image before the build,
// and puts it in place; on false the reason has been printed.
[[nodiscard]] bool write_cue_sheet(PendingOutput& sheet, const char* image_path, bool raw);
