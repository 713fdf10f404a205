// The answer of every command to arguments it cannot take.
#pragma once

#include <cstdio>
#include <string>

// Says what was wrong and where the usage is told; gives exit status 2.
inline int usage_error(const std::string& message)
{
    std::fprintf(stderr, "tarnwickiso: %s\n(see tarnwickiso --help)\n", message.c_str());
    return 2;
}
