// How the command line treats what it writes (the temporary-name output of
// mastering/output_file.h, with its failures printed), and the signals that
// ask a command to stop.
#pragma once

#include <cstdint>
#include <string>

#include "mastering/output_file.h"
#include "platform/job_hooks.h"
#include "platform/platform.h"

// The command line's forms of begin_output and commit_output
// (mastering/output_file.h): on false the reason has been printed.
bool begin_output(const std::string& name, PendingOutput& output);
bool commit_output(PendingOutput& output);

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
// The hooks of a long job on the command line: no pump, and a stop once a
// stop signal has come (also one that came before the job began).
JobHooks stop_on_signal();
// Says on stderr what stopped and gives the exit status 128 + signal.
int report_stop();
// The same for a command that was writing `output`, which is discarded: says
// that the file was not written, or for a device or pipe that what it
// received is incomplete.
int report_stop(PendingOutput& output);
// The same for an output that has been discarded already; `direct`: a device
// or pipe that was written as the command went.
int report_stop(const std::string& output, bool direct);
