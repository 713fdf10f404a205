// How a job treats the file it writes. A file is written under a temporary
// name beside its final one and renamed into place only once it is complete,
// so that a failed or stopped job leaves an older file of that name as it
// was; devices and pipes are written directly.
#pragma once

#include <string>

struct PendingOutput {
    std::string name;     // as the user gave it
    std::string writing;  // where the bytes go until commit_output
    std::string target;   // where they end up: name, or what its link leads to
    bool temporary = false;

    PendingOutput() = default;
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;
    ~PendingOutput();
};

// Prepares the output `name`: refuses a folder, and makes the temporary file
// for a new or regular file. On false `failure` says why.
[[nodiscard]] bool begin_output(const std::string& name, PendingOutput& output, std::string& failure);
// Puts the finished output in place; on false `failure` says why and the
// temporary file is gone.
[[nodiscard]] bool commit_output(PendingOutput& output, std::string& failure);
// Removes the temporary file; an older file of the name stays as it was.
void discard_output(PendingOutput& output);
// True when the finished output would replace an older file. An output
// known to be damaged never does: it is discarded instead, and only where no
// older file stands is it put in place (and called damaged).
bool replaces_older_file(const PendingOutput& output);

// True when both paths exist and name the same object, however spelt.
bool same_file(const std::string& a, const std::string& b);
