#include "cli/output_file.h"

#include <csignal>
#include <cstdio>

#include "shell/hooks.h"

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
    abort_requested = 1;
    tool_stop_requested = 1;
}

// The builds and the drive tools clear their stop flags when they start; a
// signal that came earlier is raised again at their first test point.
void raise_stop_flags_again()
{
    if (stop_signal != 0) {
        abort_requested = 1;
        tool_stop_requested = 1;
    }
}

const char* signal_name(int number)
{
    switch (number) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
#ifdef SIGPIPE
    case SIGPIPE: return "SIGPIPE (the reader of a pipe went away)";
#endif
    }
    return "a signal";
}

}  // namespace

PendingOutput::~PendingOutput()
{
    discard_output(*this);
}

bool begin_output(const std::string& name, PendingOutput& output)
{
    output.name = output.writing = output.target = name;
    output.temporary = false;
    platform::PathKind kind = platform::path_kind(name.c_str());
    if (kind == platform::PathKind::folder) {
        print_failure(name + " is a folder, not a file to write");
        return false;
    }
    if (kind == platform::PathKind::other)
        return true;  // a device or a pipe: written as it goes
    std::string temporary, target;
    platform::File file = platform::create_temporary_beside(name.c_str(), temporary, target);
    if (!file.valid()) {
        print_failure("cannot create a file beside " + name + ": " + platform::last_error_text());
        return false;
    }
    // Closed at once: the writers open the name themselves.
    file.close();
    output.writing = temporary;
    output.target = target;
    output.temporary = true;
    return true;
}

bool commit_output(PendingOutput& output)
{
    if (!output.temporary)
        return true;
    if (!platform::rename_into_place(output.writing.c_str(), output.target.c_str())) {
        print_failure("cannot put the output in place as " + output.name + ": " + platform::last_error_text());
        discard_output(output);
        return false;
    }
    output.temporary = false;
    return true;
}

void discard_output(PendingOutput& output)
{
    // The failure that led here has been reported; a temporary that cannot
    // be removed as well is left behind without a second message.
    if (output.temporary)
        (void)platform::remove_file(output.writing.c_str());
    output.temporary = false;
}

bool replaces_older_file(const PendingOutput& output)
{
    return output.temporary && platform::path_kind(output.target.c_str()) == platform::PathKind::regular;
}

bool same_file(const std::string& a, const std::string& b)
{
    platform::FileIdentity x, y;
    return platform::file_identity(a.c_str(), x) && platform::file_identity(b.c_str(), y) && x == y;
}

void install_stop_signals()
{
#ifdef _WIN32
    std::signal(SIGINT, on_stop_signal);
    std::signal(SIGTERM, on_stop_signal);
#else
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    // A second Ctrl+C or SIGTERM ends the process at once, should a command
    // fail to stop; SIGPIPE stays caught so that messages into a closed pipe
    // cannot end it before it has cleaned up.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    action.sa_flags = 0;
    sigaction(SIGPIPE, &action, nullptr);
#endif
    message_pump = raise_stop_flags_again;
}

namespace {

int report_stop(const std::string& what_became_of_output)
{
    const int number = stop_signal;
    print_failure(std::string("interrupted by ") + signal_name(number) + what_became_of_output);
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
    return report_stop("; " + output.name + (direct ? " received an incomplete image" : " was not written"));
}
