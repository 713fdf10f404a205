// Shared fixtures of the portable tests: temporary trees and builds through
// the same stores and readers the command line uses.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "mastering/build.h"
#include "settings/control_store.h"
#include "temp_tree.h"

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

// How a test build runs besides its paths and settings.
struct BuildHow {
    bool raw = false;
    bool keep_built_files = false;
    RockRidgeOptions rock_ridge;
    BuildHooks hooks;
};

// Registers the paths (as the command line does), builds into `output`
// with the settings and returns the outcome and the file's bytes.
BuiltImage build_paths(const std::vector<std::string>& paths, Settings& settings, const std::string& output,
                       const BuildHow& how);
inline BuiltImage build_paths(const std::vector<std::string>& paths, Settings& settings, const std::string& output,
                              bool raw = false)
{
    BuildHow how;
    how.raw = raw;
    return build_paths(paths, settings, output, how);
}

// Runs a shell command; returns its exit status and fills `out` with stdout.
int run_command(const std::string& command, std::string* out = nullptr);
bool have_program(const char* name);
std::string program_path();  // the command-line program of this build

// Every regular file below root, by path relative to root, with its bytes.
using FileMap = std::map<std::string, std::string>;
FileMap files_below(const std::string& root);
// The contents of the files, sorted: for trees whose names differ.
std::vector<std::string> contents_of(const FileMap& files);

// Reads a 2048-byte-sector image back with third-party readers and compares
// it with `sources` (path relative to the image root -> bytes): the Joliet
// tree through osirrox and through 7-Zip name by name, the ISO 9660 tree
// through osirrox by contents (its names are short). Extracts below
// `scratch`. Returns "" when all agree, else what differed; "skip: ..."
// when a reader is missing.
std::string compare_extraction(const std::string& image, const FileMap& sources, const std::string& scratch,
                               bool joliet = true);

// Puts a code page in force for one scope and returns to the default after.
// A Win32 build has only its system code page, so there `active()` is true
// only when that is the one asked for; elsewhere CP932 and UTF-8 must take.
class CodePageScope {
public:
    explicit CodePageScope(const char* name);
    ~CodePageScope();
    bool active() const { return active_; }

private:
    bool active_;
};

#ifndef _WIN32
// Sets TZ for one scope and puts the previous value back afterwards. It calls
// no tzset(): the functions under test must notice the change themselves.
class TimeZoneScope {
public:
    explicit TimeZoneScope(const char* zone);
    ~TimeZoneScope();

private:
    bool had_ = false;
    std::string old_;
};
#endif
