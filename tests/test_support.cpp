#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <algorithm>
#include <fstream>
#include <random>

#include "cli/line_list.h"
#include "mastering/descriptors.h"
#include "shell/build_job.h"
#include "platform/platform.h"
#include "settings/date_field.h"
#include "settings/readers.h"

#ifdef _WIN32
#define popen _popen
#define pclose _pclose
#define WIFEXITED(status) 1
#define WEXITSTATUS(status) (status)
#else
#include <sys/wait.h>
#endif

namespace fs = std::filesystem;

CodePageScope::CodePageScope(const char* name)
    : active_(std::string(platform::code_page_name()) == name ||
              (platform::select_code_page(name) && std::string(platform::code_page_name()) == name))
{
#ifndef _WIN32
    if (!active_ && (std::string(name) == "CP932" || std::string(name) == "UTF-8"))
        ADD_FAILURE() << "code page " << name << " cannot be selected";
#endif
}

CodePageScope::~CodePageScope()
{
    (void)platform::select_code_page("");
}  // the locale's own always exists

#ifndef _WIN32
TimeZoneScope::TimeZoneScope(const char* zone)
{
    if (const char* old = getenv("TZ")) {
        had_ = true;
        old_ = old;
    }
    setenv("TZ", zone, 1);
}

TimeZoneScope::~TimeZoneScope()
{
    had_ ? setenv("TZ", old_.c_str(), 1) : unsetenv("TZ");
}
#endif

std::string read_whole_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Settings::Settings()
{
    DateSource now;
    EXPECT_TRUE(fixed_date_source(1070971200, now));  // 2003-12-09 12:00:00 UTC
    open_volume_store(volume, now);
    open_boot_store(boot);
    open_dir_record_store(dir_record, now);
}

BuiltImage build_paths(const std::vector<std::string>& paths, Settings& settings, const std::string& output,
                       const BuildHow& how)
{
    LineList list;
    for (const std::string& p : paths)
        EXPECT_TRUE(register_path(list, p.c_str())) << p;
    BuildRequest request;
    request.lines = line_source_of(list);
    request.volume = reader_of(settings.volume);
    request.boot = reader_of(settings.boot);
    request.dir_record = reader_of(settings.dir_record);
    request.raw = how.raw;
    request.verify = how.keep_built_files;
    request.rock_ridge = how.rock_ridge;
    BuiltImage image;
    image.outcome = create_iso(build_input(request, output), how.hooks);
    if (fs::is_regular_file(output))
        image.bytes = read_whole_file(output);
    return image;
}

int run_command(const std::string& command, std::string* out)
{
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, n);
    int status = pclose(pipe);
    if (out)
        *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool have_program(const char* name)
{
    return run_command(std::string("command -v ") + name + " >/dev/null 2>&1") == 0;
}

std::string program_path()
{
#ifdef _WIN32
    return std::string(TW_BINARY_DIR) + "/tarnwickiso.exe";
#else
    return std::string(TW_BINARY_DIR) + "/tarnwickiso";
#endif
}

FileMap files_below(const std::string& root)
{
    FileMap out;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file())
            out[fs::relative(e.path(), root).string()] = read_whole_file(e.path().string());
    return out;
}

std::vector<std::string> contents_of(const FileMap& files)
{
    std::vector<std::string> out;
    for (const auto& [name, data] : files)
        out.push_back(data);
    std::sort(out.begin(), out.end());
    return out;
}

std::string compare_extraction(const std::string& image, const FileMap& sources, const std::string& scratch,
                               bool joliet)
{
    // Debian's 7zip package names its program 7zz.
    const std::string seven_zip = have_program("7zz") ? "7zz" : "7z";
    if (!have_program("osirrox") || !have_program(seven_zip.c_str()))
        return "skip: osirrox or 7-Zip is not installed";
    std::string differences;
    auto extract = [&](const std::string& command, const std::string& dir) -> bool {
        fs::remove_all(dir);
        if (run_command(command + " >/dev/null 2>&1") != 0) {
            differences += "extraction failed: " + command + "\n";
            return false;
        }
        fs::create_directories(dir);
        return true;
    };
    auto report = [&](const char* reader, const FileMap& got) {
        for (const auto& [name, data] : sources) {
            auto it = got.find(name);
            if (it == got.end())
                differences += std::string(reader) + ": missing " + name + "\n";
            else if (it->second != data)
                differences += std::string(reader) + ": differs " + name + "\n";
        }
        for (const auto& [name, data] : got)
            if (!sources.count(name))
                differences += std::string(reader) + ": extra " + name + "\n";
    };
    const std::string primary = scratch + "/x_primary";
    if (extract("osirrox -read_fs ecma119 -indev '" + image + "' -extract / '" + primary + "'", primary) &&
        contents_of(files_below(primary)) != contents_of(sources))
        differences += "osirrox, ISO 9660 tree: the contents differ\n";
    if (joliet) {
        const std::string joliet_dir = scratch + "/x_joliet";
        if (extract("osirrox -read_fs any -indev '" + image + "' -extract / '" + joliet_dir + "'", joliet_dir))
            report("osirrox, Joliet tree", files_below(joliet_dir));
        const std::string seven_dir = scratch + "/x_7z";
        if (extract(seven_zip + " x -y '-o" + seven_dir + "' '" + image + "'", seven_dir))
            report("7-Zip", files_below(seven_dir));
    }
    return differences;
}
