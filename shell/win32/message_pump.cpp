#include "shell/win32/message_pump.h"

#include "shell/win32/main_window.h"

bool settings_dialog_message(MSG& message)
{
    HWND dialogs[] = {volume_dialog, boot_dialog, dir_record_dialog, tool_dialog};
    for (HWND dialog : dialogs) {
        if (!dialog || !IsWindowVisible(dialog))
            continue;
        if (message.hwnd != dialog && !IsChild(dialog, message.hwnd))
            continue;
        return IsDialogMessageA(dialog, &message) != FALSE;
    }
    return false;
}

void pump_messages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
        // The quit request is the main loop's: leaving it queued lets the
        // running operation stop and return before the program ends.
        if (message.message == WM_QUIT)
            return;
        int got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (got < 0)
            return;
        if (settings_dialog_message(message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}
