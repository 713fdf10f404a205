// Image commands of the command line: conversion between the two sector
// forms and the cue sheet written beside a build.
#pragma once

#include <string>

int run_convert(int argc, char** argv);
// Writes IMAGE.cue (the image's extension replaced, or ".cue" appended)
// naming the image and one MODE1/2352 or MODE1/2048 track.
bool write_cue_sheet(const char* image_path, bool raw);
// The cue sheet's name for an image path.
std::string cue_sheet_name(const char* image_path);
