#include "shell/hooks.h"

int32_t tool_stop_requested = 0;
void (*message_pump)() = nullptr;

void process_pending_messages()
{
    if (message_pump)
        message_pump();
}
