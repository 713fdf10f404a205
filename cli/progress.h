// The terminal's progress display of a build: one updating line per stage,
// with a bar while the image is written.
#pragma once

#include <cstdint>
#include <functional>

#include "mastering/build_link.h"

class Progress {
public:
    explicit Progress(bool silent);
    // The build's status hook: the display, or nothing when silent.
    std::function<void(const BuildProgress&)> status() const;
    // Ends the last line.
    void finish();

private:
    bool silent_;
};

// The folder walks of registration and scan on a terminal: one updating line
// with the folders entered so far, at most ten times a second.
class ScanProgress {
public:
    explicit ScanProgress(bool silent);
    ~ScanProgress();
    // The walks' hook: the display, or nothing when silent.
    std::function<void(uint32_t folders, const char* path)> walked() const;

private:
    bool silent_;
};

// Ends an open progress line, so that a message printed next starts a line
// of its own.
void end_progress_line();
