// The terminal's progress display of a build: one updating line per stage,
// with a bar while the image is written.
#pragma once

class Progress {
public:
    explicit Progress(bool silent);
    ~Progress();
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
};

// Ends an open progress line, so that a message printed next starts a line
// of its own.
void end_progress_line();
