// How a long job (a build, a drive copy) stays in touch with the front end
// that runs it: given to the job, never held in a global. Each may be empty.
#pragma once

#include <functional>

struct JobHooks {
    // Keeps the front end alive; the job calls it at fixed points of its
    // loops (the Windows program's message pump, the command line's signal
    // check).
    std::function<void()> pump;
    // Asked after every pump call; once true the job stops at the next point
    // where it can.
    std::function<bool()> stop_requested;
};

// Pumps, then says whether the job is to stop.
inline bool pump_and_check(const JobHooks& hooks)
{
    if (hooks.pump)
        hooks.pump();
    return hooks.stop_requested && hooks.stop_requested();
}
