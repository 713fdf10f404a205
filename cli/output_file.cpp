#include "cli/output_file.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

volatile int32_t stop_signal = 0;

namespace {

void print_failure(const std::string& text)
{
    std::fprintf(stderr, "tarnwickiso: %s\n", platform::text_to_system(text.c_str()).c_str());
}

extern "C" void on_stop_signal(int number)
{
    if (stop_signal == 0)
        stop_signal = number;
}

struct StopSignal {
    int number;
    const char* name;
};

// The signals that end the program by default and can be caught; faults of
// the program itself (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP,
// SIGSYS) are not among them: no test point is reached after those.
const StopSignal stop_signals[] = {
    {SIGINT, "SIGINT"},
    {SIGTERM,
#ifdef _WIN32
     // Raised by the console handler: the console window was closed, the
     // user logs off or the system shuts down.
     "SIGTERM (the console is closing)"
#else
     "SIGTERM"
#endif
    },
#ifdef SIGBREAK
    {SIGBREAK, "SIGBREAK (Ctrl+Break)"},
#endif
#ifndef _WIN32
    {SIGPIPE, "SIGPIPE (the reader of a pipe went away)"},
    {SIGHUP, "SIGHUP"},
    {SIGQUIT, "SIGQUIT"},
    {SIGALRM, "SIGALRM"},
    {SIGUSR1, "SIGUSR1"},
    {SIGUSR2, "SIGUSR2"},
    {SIGXCPU, "SIGXCPU (the CPU time limit)"},
    {SIGXFSZ, "SIGXFSZ (the file size limit)"},
    {SIGVTALRM, "SIGVTALRM"},
    {SIGPROF, "SIGPROF"},
#endif
#if defined(SIGPOLL) && !defined(_WIN32)
    {SIGPOLL, "SIGPOLL"},
#endif
#if defined(SIGPWR) && !defined(_WIN32)
    {SIGPWR, "SIGPWR"},
#endif
#if defined(SIGSTKFLT) && !defined(_WIN32)
    {SIGSTKFLT, "SIGSTKFLT"},
#endif
};

std::string signal_name(int number)
{
    for (const StopSignal& s : stop_signals)
        if (s.number == number)
            return s.name;
    return "signal " + std::to_string(number);
}

}  // namespace

bool begin_output(const std::string& name, PendingOutput& output)
{
    std::string failure;
    if (begin_output(name, output, failure))
        return true;
    print_failure(failure);
    return false;
}

bool commit_output(PendingOutput& output)
{
    std::string failure;
    if (commit_output(output, failure))
        return true;
    print_failure(failure);
    return false;
}

void install_stop_signals()
{
#ifdef _WIN32
    for (const StopSignal& s : stop_signals)
        std::signal(s.number, on_stop_signal);
    platform::raise_sigterm_when_console_ends();
#else
    std::vector<int> numbers;
    for (const StopSignal& s : stop_signals)
        numbers.push_back(s.number);
#ifdef SIGRTMIN
    for (int number = SIGRTMIN; number <= SIGRTMAX; ++number)
        numbers.push_back(number);
#endif
    for (const int number : numbers) {
        struct sigaction action {};
        // A signal ignored by whoever started the program (nohup, trap '')
        // stays ignored; SIGINT, SIGTERM and SIGPIPE are caught whatever.
        if (number != SIGINT && number != SIGTERM && number != SIGPIPE &&
            (sigaction(number, nullptr, &action) != 0 || action.sa_handler == SIG_IGN))
            continue;
        action = {};
        action.sa_handler = on_stop_signal;
        sigemptyset(&action.sa_mask);
        // A second SIGINT, SIGTERM, SIGHUP or SIGQUIT ends the process at
        // once, should a command fail to stop. The others stay caught: the
        // command's own writes raise SIGPIPE and SIGXFSZ, and a timer may
        // fire again, before the command reaches its next test point.
        const bool insistent = number == SIGINT || number == SIGTERM || number == SIGHUP || number == SIGQUIT;
        action.sa_flags = insistent ? SA_RESETHAND : 0;
        sigaction(number, &action, nullptr);
    }
#endif
}

JobHooks stop_on_signal()
{
    JobHooks hooks;
    hooks.stop_requested = [] { return stop_signal != 0; };
    return hooks;
}

int end_by_stop_signal(int status)
{
    const int number = stop_signal;
    if (number == 0)
        return status;
    std::fflush(nullptr);
#ifndef _WIN32
    // The default action of the signal ends the process, so that whoever
    // started it (a shell loop) learns which signal ended it.
    std::signal(number, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, number);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(number);
#endif
    return 128 + number;
}

namespace {

int report_stop(const std::string& what_became_of_output)
{
    const int number = stop_signal;
    print_failure("interrupted by " + signal_name(number) + what_became_of_output);
    return 128 + number;
}

}  // namespace

int report_stop()
{
    return report_stop(std::string());
}

int report_stop(PendingOutput& output)
{
    const bool direct = !output.temporary;
    discard_output(output);
    return report_stop(output.name, direct);
}

int report_stop(const std::string& output, bool direct)
{
    return report_stop("; " + output + (direct ? " received an incomplete image" : " was not written"));
}
