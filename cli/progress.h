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
