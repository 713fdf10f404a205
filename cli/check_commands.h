// Commands that check and mend images: verify and repair.
#pragma once

#include <cstdio>

[[nodiscard]] int run_verify(int argc, char** argv);
[[nodiscard]] int run_repair(int argc, char** argv);
void print_check_commands_help(FILE* out);
