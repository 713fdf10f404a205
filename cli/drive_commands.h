// The drive tools on the command line: disk-image, cd-image, toc, drive-id.
#pragma once

#include <cstdio>

// argv[0] is the subcommand name. Exit status 0 success, 1 failed or not a
// clean copy, 2 usage error.
[[nodiscard]] int run_drive_command(int argc, char** argv);

// The lines of the drive commands for --help.
void print_drive_commands_help(FILE* out);
