// Program entry of the Windows program: the main window, then the message
// loop until it is gone.
#include <windows.h>

#include "shell/win32/main_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    HWND window = start_program(instance);
    if (!window)
        return 1;
    ShowWindow(window, show);
    UpdateWindow(window);
    return run_message_loop();
}
