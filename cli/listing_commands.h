// Commands that open an image: ls and extract.
#pragma once

#include <cstdio>

[[nodiscard]] int run_ls(int argc, char** argv);
[[nodiscard]] int run_extract(int argc, char** argv);
void print_listing_commands_help(FILE* out);
