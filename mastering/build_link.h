// A running build's link to the front end that runs it: the hooks it was
// given, the progress it shows them, and whether a stop was asked for.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/job_hooks.h"

// The form of every sector in the image file.
enum class OutputSectors : uint8_t {
    plain = 0,  // 2048-byte sectors as they are
    raw = 1,    // 2352-byte raw Mode 1 sectors (ECMA-130)
};

// Where a build stands, as its front end shows it.
struct BuildProgress {
    int32_t stage = 0;             // 1 identifiers, 2 positions, 3 other settings, 4 output
    int32_t counter = 0;           // stage 1: ordering passes; stage 4: percent written
    uint32_t sectors_written = 0;  // the image writer's count
    uint32_t total_sectors = 0;    // the volume space size of the image being built
};

// How a build stays in touch with its front end. Each may be empty.
struct BuildHooks {
    // Pumped at every ordering pass and every 128th sector written; asked
    // for a stop there and at every folder the scan enters. Once a stop is
    // asked for, the build writes nothing more.
    JobHooks job;
    // The progress changed: every ordering pass, the start of stages 2 to 4,
    // every 128th sector written.
    std::function<void(const BuildProgress&)> status;
    // The scan entered a folder: the folders entered so far.
    std::function<void(uint32_t folders, const char* path)> walked;
};

struct BuildLink {
    const BuildHooks* hooks = nullptr;
    BuildProgress progress;
    // Latched: once the front end asks for a stop, nothing more is written.
    bool stopped = false;
};

// The three steps of a test point, in this order: the front end's pump, the
// progress shown, the question whether to stop (what the pump or the display
// did is seen at once).
inline void pump(const BuildLink& link)
{
    if (link.hooks && link.hooks->job.pump)
        link.hooks->job.pump();
}

inline void show_progress(const BuildLink& link)
{
    if (link.hooks && link.hooks->status)
        link.hooks->status(link.progress);
}

// True once the front end has asked for a stop.
inline bool stop_asked(BuildLink& link)
{
    if (!link.stopped && link.hooks && link.hooks->job.stop_requested && link.hooks->job.stop_requested())
        link.stopped = true;
    return link.stopped;
}
