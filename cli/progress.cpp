#include "cli/progress.h"

#include <chrono>
#include <cstdio>

namespace {

int shown_stage = 0;
bool line_open = false;

void show_build_progress(const BuildProgress& p)
{
    if (shown_stage != p.stage && line_open) {
        std::fputc('\n', stderr);
        line_open = false;
    }
    shown_stage = p.stage;
    switch (p.stage) {
    case 1: std::fprintf(stderr, "\rSetting file identifiers %d", p.counter); break;
    case 2: std::fprintf(stderr, "\rSetting data positions"); break;
    case 3: std::fprintf(stderr, "\rOther settings"); break;
    case 4: {
        char bar[41];
        int filled = p.counter < 0 ? 0 : (p.counter > 100 ? 40 : p.counter * 40 / 100);
        for (int i = 0; i < 40; ++i)
            bar[i] = i < filled ? '#' : '.';
        bar[40] = 0;
        std::fprintf(stderr, "\rWriting the file [%s] %3d%% (%u/%u sectors)", bar, p.counter, p.sectors_written,
                     p.total_sectors);
        break;
    }
    default: return;
    }
    line_open = true;
    std::fflush(stderr);
}

std::chrono::steady_clock::time_point last_walk_line;

void show_walk(uint32_t folders, const char*)
{
    auto now = std::chrono::steady_clock::now();
    if (line_open && now - last_walk_line < std::chrono::milliseconds(100))
        return;
    last_walk_line = now;
    std::fprintf(stderr, "\rScanning: %u folders", folders);
    std::fflush(stderr);
    shown_stage = -1;
    line_open = true;
}

}  // namespace

Progress::Progress(bool silent) : silent_(silent)
{
    // A walk line may still be open; the first stage then starts a new one.
    shown_stage = line_open ? -1 : 0;
}

std::function<void(const BuildProgress&)> Progress::status() const
{
    if (silent_)
        return {};
    return show_build_progress;
}

void Progress::finish()
{
    if (!silent_ && line_open) {
        std::fputc('\n', stderr);
        line_open = false;
    }
}

ScanProgress::ScanProgress(bool silent) : silent_(silent)
{
    line_open = false;
}

ScanProgress::~ScanProgress()
{
    end_progress_line();
}

std::function<void(uint32_t folders, const char* path)> ScanProgress::walked() const
{
    if (silent_)
        return {};
    return show_walk;
}

void end_progress_line()
{
    if (line_open) {
        std::fputc('\n', stderr);
        line_open = false;
    }
}
