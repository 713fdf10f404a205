// How the command line treats what it writes. A file is written under a
// temporary name beside its final one and renamed into place only once it is
// complete, so that a failed or interrupted command leaves an older file of
// that name as it was; devices and pipes are written directly. And the
// signals that ask a command to stop.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

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
// for a new or regular file. On false the reason has been printed.
bool begin_output(const std::string& name, PendingOutput& output);
// Puts the finished output in place; on false the reason has been printed
// and the temporary file is gone.
bool commit_output(PendingOutput& output);
// Removes the temporary file; an older file of the name stays as it was.
void discard_output(PendingOutput& output);
// True when the finished output would replace an older file. An output
// known to be damaged never does: it is discarded instead, and only where no
// older file stands is it put in place (and called damaged).
bool replaces_older_file(const PendingOutput& output);

// True when both paths exist and name the same object, however spelt.
bool same_file(const std::string& a, const std::string& b);

// The signals that end a program by default and can be caught (SIGINT,
// SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGXFSZ, the timers, the user and
// real-time signals; on Windows SIGINT, SIGBREAK, and SIGTERM for the
// console's close, logoff and shutdown events): each raises the stop flags
// of the builds and the drive tools, which stop at their next test point; the
// command then cleans up, says so and returns 128 + signal, and main passes
// that to end_by_stop_signal. SIGPIPE and SIGXFSZ no longer end the process
// at once, so that writing into a closed pipe or past the file size limit
// fails like any other write. A signal that the program was started with
// ignored stays ignored, except SIGINT, SIGTERM and SIGPIPE.
void install_stop_signals();
// With no stop signal, gives `status`. Otherwise ends the process by the
// signal's default action once the command has cleaned up (POSIX), so that
// the shell sees the signal; on Windows gives 128 + signal.
int end_by_stop_signal(int status);
// The signal that asked to stop, or 0. Volatile: set by the handler.
extern volatile int32_t stop_signal;
// Says on stderr what stopped and gives the exit status 128 + signal.
int report_stop();
// The same for a command that was writing `output`, which is discarded: says
// that the file was not written, or for a device or pipe that what it
// received is incomplete.
int report_stop(PendingOutput& output);
