#include "shell/hooks.h"

int32_t abort_requested = 0;
int32_t tool_stop_requested = 0;
BuildProgress build_progress;
void (*status_callback)() = nullptr;
void (*message_pump)() = nullptr;

void process_pending_messages()
{
    if (message_pump)
        message_pump();
}
