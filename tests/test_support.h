// Shared fixtures of the portable tests: temporary trees and builds through
// the same stores and readers the command line uses.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "mastering/build.h"
#include "settings/control_store.h"

// A fresh folder under the test temporary directory, removed afterwards.
struct TempTree {
    std::string root;
    TempTree();
    ~TempTree();
    std::string path(const std::string& relative) const;
    void file(const std::string& relative, const std::string& content) const;
    void file_of_size(const std::string& relative, size_t size, uint8_t seed = 0) const;
    void folder(const std::string& relative) const;
};

std::string read_whole_file(const std::string& path);

// The three windows as they open (dates preset from a fixed instant), ready
// for a test to change.
struct Settings {
    ControlStore volume, boot, dir_record;
    Settings();
};

struct BuiltImage {
    BuildOutcome outcome;
    std::string bytes;
    const uint8_t* sector(uint32_t n) const { return reinterpret_cast<const uint8_t*>(bytes.data()) + n * 2048u; }
    uint32_t sector_count() const { return uint32_t(bytes.size() / 2048); }
};

// Registers the paths (as the command line does), builds into `output`
// with the settings and returns the outcome and the file's bytes.
BuiltImage build_paths(const std::vector<std::string>& paths, Settings& settings, const std::string& output,
                       bool raw = false);

// Runs a shell command; returns its exit status and fills `out` with stdout.
int run_command(const std::string& command, std::string* out = nullptr);
bool have_program(const char* name);
std::string program_path();  // the command-line program of this build
