#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <csignal>

#include "platform/platform.h"

namespace platform {

File create_for_writing_once(const char* path)
{
    return create_for_writing(path);
}

namespace {

BOOL WINAPI on_console_event(DWORD event)
{
    if (event != CTRL_CLOSE_EVENT && event != CTRL_LOGOFF_EVENT && event != CTRL_SHUTDOWN_EVENT)
        return FALSE;  // Ctrl+C and Ctrl+Break reach the C runtime's SIGINT and SIGBREAK
    std::raise(SIGTERM);
    // The process ends when the program returns from main, or when the
    // system's time for the event runs out.
    Sleep(INFINITE);
    return TRUE;
}

}  // namespace

void raise_sigterm_when_console_ends()
{
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

bool is_terminal(std::FILE* stream)
{
    return _isatty(_fileno(stream)) != 0;
}

void write_bytes_unchanged(std::FILE* stream)
{
    _setmode(_fileno(stream), _O_BINARY);
}

}  // namespace platform
