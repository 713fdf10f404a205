// What the command line does when its output collides with its inputs, when
// writing fails, and when it is stopped: the user's files keep their bytes,
// no temporary file stays behind, and every refusal names the item.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;

struct Row {
    const char* name;
    const char* command;  // {P} the program, {T} the tree, {B} a folder with a 3 GiB sparse file
    int status;
    std::vector<const char*> messages;  // each appears in the output
    const char* made = "";              // the one file the command may create or replace
    long made_size = -1;                // its size; -1: an image to read back; -2: any
};

std::string expand(std::string text, const std::string& tree, const std::string& big)
{
    const std::pair<const char*, std::string> names[] = {
        {"{P}", program_path()}, {"{T}", tree}, {"{B}", big}, {"{I}", big + "/../in"}};
    for (const auto& [key, value] : names)
        for (size_t at; (at = text.find(key)) != std::string::npos;)
            text.replace(at, 3, value);
#ifdef _WIN32
    for (char& c : text)
        if (c == '/')
            c = '\\';
#endif
    return text;
}

// One raw Mode 1 sector whose EDC and parity are zero: damage that neither
// convert nor repair can mend.
std::string damaged_raw_sector()
{
    std::string sector(2352, '\0');
    sector.replace(1, 10, 10, '\xff');
    sector.replace(12, 4, "\x00\x02\x00\x01", 4);
    sector.replace(16, 2048, 2048, 'x');
    return sector;
}

// The standard tree: sources, a user's file and an earlier image inside
// them, a boot image, a cue sheet, an older output and inputs for the copy
// commands.
void make_tree(const TempTree& tree)
{
    tree.file("src/a.txt", "alpha");
    tree.file_of_size("src/sub/b.bin", 5000, 7);
    tree.file("src/old.iso", "an image of an earlier run");
    tree.file_of_size("boot.img", 2048, 1);
    tree.file("y.cue", "FILE \"y.iso\" BINARY\r\n");
    tree.file("out.iso", "the older output");
    tree.file_of_size("disk.bin", 4096, 2);
    tree.file("plain.img", std::string(3 * 2048 + 100, '\0'));
    tree.file("empty", "");
    tree.file("disc", std::string(2048, '\0'));
    tree.file("disc.iso", std::string(4, '\0') + std::string(2044, 'u'));
    tree.file("bad.raw", damaged_raw_sector());
    tree.file("bad.raw.iso", "an older conversion");
}

#ifndef _WIN32
// The exit status, or minus the signal that ended the command.
int run_ended(const std::string& command, std::string* out)
{
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return 1000;
    out->clear();
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out->append(buffer, n);
    const int status = pclose(pipe);
    return WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status);
}
#else
int run_ended(const std::string& command, std::string* out)
{
    return run_command(command, out);
}
#endif

void check_row(const Row& row, const std::string& big = "")
{
    SCOPED_TRACE(row.name);
    TempTree tree;
    make_tree(tree);
    const FileMap before = files_below(tree.root);
    std::string out;
    EXPECT_EQ(run_ended(expand(row.command, tree.root, big) + " 2>&1", &out), row.status) << out;
    for (const char* message : row.messages)
        EXPECT_NE(out.find(message), std::string::npos) << "missing \"" << message << "\" in: " << out;

    const std::string made = fs::path(row.made).make_preferred().string();
    const FileMap after = files_below(tree.root);
    for (const auto& [name, bytes] : before)
        if (name != made) {
            auto it = after.find(name);
            EXPECT_TRUE(it != after.end() && it->second == bytes) << name << " changed";
        }
    for (const auto& [name, bytes] : after)
        EXPECT_TRUE(before.count(name) || name == made) << "left behind: " << name;
    if (!*row.made)
        return;
    ASSERT_TRUE(after.count(made)) << made;
    if (row.made_size == -2)
        return;
    if (row.made_size >= 0) {
        EXPECT_EQ(long(after.at(made).size()), row.made_size);
        return;
    }
    // An image: it holds the folder src, without the earlier image in it.
    FileMap sources;
    for (const auto& [name, bytes] : files_below(tree.path("src")))
        if (name != "old.iso")
            sources[(fs::path("src") / name).string()] = bytes;
    std::string differences = compare_extraction(tree.path(row.made), sources, tree.path("scratch"));
    if (differences.rfind("skip:", 0) == 0)
        GTEST_SKIP() << differences;
    EXPECT_EQ(differences, "");
}

// src/old.iso made an image of this program, as an earlier run left it.
#define EARLIER "{P} build --quiet -o {T}/src/old.iso {T}/boot.img && "

const Row portable_rows[] = {
    {"the output is a registered file",
     "{P} build --quiet -o {T}/src/a.txt {T}/src/a.txt",
     1,
     {"a.txt is a registered input", "nothing was written"}},
    {"the output lies in a registered folder",
     EARLIER "{P} build --quiet -o {T}/src/old.iso {T}/src",
     0,
     {"old.iso is an output of this command (left out)"},
     "src/old.iso"},
    {"build --verify puts a verified image in place",
     EARLIER "{P} build --quiet --verify -o {T}/src/old.iso {T}/src",
     0,
     {},
     "src/old.iso"},
    {"the output is the boot image",
     "{P} build --quiet --boot {T}/boot.img --boot-media custom -o {T}/boot.img {T}/src",
     1,
     {"boot.img is the boot image", "nothing was written"}},
    {"disk-image X -o X",
     "{P} disk-image {T}/disk.bin -o {T}/disk.bin",
     1,
     {"disk.bin is the drive", "nothing was written"}},
    {"the cue sheet is a registered file",
     "{P} build --quiet --cue -o {T}/y.iso {T}/y.cue",
     1,
     {"the cue sheet", "y.cue is a registered input"}},
    {"the cue sheet is the output",
     "{P} build --quiet --cue -o {T}/y.cue {T}/src",
     1,
     {"the cue sheet", "y.cue would replace the image"}},
    {"a user's file in a registered folder is not an earlier output",
     "{P} build --quiet -o {T}/src/a.txt {T}/src",
     1,
     {"a.txt is the output", "the older", "a.txt is unchanged"}},
    {"a user's cue sheet in a registered folder is not an earlier output",
     "{P} build --quiet --cue -o {T}/y.iso {T}",
     1,
     {"y.cue is the output", "no image was written"}},
    {"convert never replaces another input, before or after converting it",
     "{P} convert {T}/disc {T}/disc.iso {T}/disc",
     1,
     {"disc.iso: not converted: the output is an input of this command"},
     "disc.iso.iso",
     2352},
    {"a damaged conversion keeps the older output",
     "{P} convert {T}/bad.raw",
     1,
     {"bad EDC", "the older", "bad.raw.iso is unchanged"}},
    {"a damaged repair keeps the older output",
     "{P} repair {T}/bad.raw -o {T}/out.iso",
     1,
     {"unrepairable", "the older", "out.iso is unchanged"}},
    {"convert drops a partial last sector, a fault",
     "{P} convert {T}/plain.img",
     1,
     {"plain.img: the file is cut inside its last sector: the last 100 bytes, less than one sector, were dropped"},
     "plain.img.iso",
     3 * 2352},
};

TEST(HostileOutput, CollisionsAreRefusedOrLeftOut)
{
    for (const Row& row : portable_rows)
        check_row(row);
}

#ifndef _WIN32
// Writes fail past 2 KiB with EFBIG (a full disk as far as the program can
// tell); the shell then waits for the temporary file to grow before it
// signals the build of the sparse file.
#define LIMITED "trap '' XFSZ; ulimit -f 4; "
// The command runs in place of the shell; a helper sends the signal once a
// temporary file has grown, so that the status is the command's own.
#define SIGNALLED(SIGNAL, COMMAND)                                                                     \
    "ulimit -c 0; (i=0; while [ $i -lt 1000 ]; do for f in {T}/.tarnwickiso-* {I}/.tarnwickiso-*; do " \
    "[ -s \"$f\" ] && break 2; done; sleep 0.01; i=$((i+1)); done; kill -" SIGNAL " $$) & exec " COMMAND
#define BUILD_BIG "{P} build --quiet -o {T}/out.iso {B}"
#define UNREADABLE(OUTPUT)                                                                                       \
    "(chmod 0 {T}/src/a.txt; $([ $(id -u) = 0 ] && echo setpriv --bounding-set -dac_override,-dac_read_search) " \
    "{P} build --quiet -o {T}/" OUTPUT " {T}/src; s=$?; chmod 644 {T}/src/a.txt; exit $s)"

const Row posix_rows[] = {
    {"the disk is full during a build",
     LIMITED "{P} build --quiet -o {T}/out.iso {T}/src",
     1,
     {"writing", "out.iso failed: File too large", "the older", "out.iso is unchanged"}},
    {"the disk is full during a conversion",
     LIMITED "{P} convert {T}/plain.img",
     1,
     {"plain.img.iso: conversion stopped: writing the output file failed (File too large)"}},
    {"build --verify with an unreadable source keeps the older output",
     "(chmod 0 {T}/src/a.txt; $([ $(id -u) = 0 ] && echo setpriv --bounding-set -dac_override,-dac_read_search) "
     "{P} build --quiet --verify -o {T}/out.iso {T}/src; s=$?; chmod 644 {T}/src/a.txt; exit $s)",
     1,
     {"verify: /SRC/A.TXT;1: cannot read", "differs from its sources", "the older", "out.iso is unchanged"}},
    {"SIGINT during a build",
     SIGNALLED("INT", BUILD_BIG),
     -SIGINT,
     {"interrupted by SIGINT", "out.iso was not written"}},
    {"SIGTERM during a build",
     SIGNALLED("TERM", BUILD_BIG),
     -SIGTERM,
     {"interrupted by SIGTERM", "out.iso was not written"}},
    {"SIGPIPE during a build",
     SIGNALLED("PIPE", BUILD_BIG),
     -SIGPIPE,
     {"interrupted by SIGPIPE", "out.iso was not written"}},
    {"SIGHUP during a build",
     SIGNALLED("HUP", BUILD_BIG),
     -SIGHUP,
     {"interrupted by SIGHUP", "out.iso was not written"}},
    {"SIGQUIT during a build",
     SIGNALLED("QUIT", BUILD_BIG),
     -SIGQUIT,
     {"interrupted by SIGQUIT", "out.iso was not written"}},
    {"SIGUSR1 during a conversion",
     SIGNALLED("USR1", "{P} convert {I}/sparse.img"),
     -SIGUSR1,
     {"interrupted by SIGUSR1", "sparse.img.iso was not written"}},
    {"SIGALRM during a repair",
     SIGNALLED("ALRM", "{P} repair {I}/sparse.raw -o {T}/out.iso"),
     -SIGALRM,
     {"interrupted by SIGALRM", "out.iso was not written"}},
    {"the file size limit during a build",
     "ulimit -c 0; ulimit -f 4; exec {P} build --quiet -o {T}/out.iso {T}/src",
     -SIGXFSZ,
     {"interrupted by SIGXFSZ", "out.iso was not written"}},
    {"a damaged build keeps the older output",
     UNREADABLE("out.iso"),
     1,
     {"cannot read", "the image is damaged", "the older", "out.iso is unchanged"}},
    {"a damaged build without an older output is written",
     UNREADABLE("new.iso"),
     1,
     {"cannot read", "the image was written but is damaged"},
     "new.iso",
     -2},
    {"a cue sheet beside a device",
     "{P} build --quiet --cue -o /dev/null {T}/src",
     1,
     {"/dev/null is a device or a pipe", "nothing was written"}},
    {"disk-image of a device without an end",
     "{P} disk-image /dev/zero -o {T}/out.iso",
     1,
     {"/dev/zero", "a character device has no end"}},
    {"a cue sheet cannot name an image with a double quote",
     "{P} build --quiet --raw --cue -o '{T}/q\"x.iso' {T}/src",
     1,
     {"double quote or line break", "nothing was written"}},
    {"a cue sheet cannot name an image with a line break",
     "nl=$(printf 'a\nb'); {P} build --quiet --raw --cue -o \"{T}/$nl.iso\" {T}/src",
     1,
     {"double quote or line break", "nothing was written"}},
    {"a cue sheet path that is a folder keeps the older image",
     "(mkdir {T}/out.cue && {P} build --quiet --cue -o {T}/out.iso {T}/src; s=$?; rmdir {T}/out.cue; exit $s)",
     1,
     {"out.cue is a folder", "nothing was written"}},
    {"a disk copy cut inside a block keeps the older output",
     "{P} disk-image {T}/plain.img -o {T}/out.iso",
     1,
     {"the older", "out.iso is unchanged"}},
    {"disk-image of an empty file",
     "{P} disk-image {T}/empty -o {T}/e.img",
     0,
     {"e.img is empty (0 bytes)"},
     "e.img",
     0},
};

TEST(HostileOutput, FailuresAndSignalsLeaveTheOlderFile)
{
    TempTree big;
    big.file("big/sparse", "");
    fs::resize_file(big.path("big/sparse"), (uint64_t(3) << 30));
    big.file("in/sparse.img", "");
    fs::resize_file(big.path("in/sparse.img"), (uint64_t(3) << 30));
    big.file("in/sparse.raw", damaged_raw_sector());
    fs::resize_file(big.path("in/sparse.raw"), (uint64_t(3) << 30) / 2352 * 2352);
    for (const Row& row : posix_rows)
        check_row(row, big.path("big"));
    std::vector<std::string> inputs;
    for (const auto& entry : fs::directory_iterator(big.path("in")))
        inputs.push_back(entry.path().filename().string());
    std::sort(inputs.begin(), inputs.end());
    EXPECT_EQ(inputs, (std::vector<std::string>{"sparse.img", "sparse.raw"})) << "left behind beside the inputs";
}
#endif

}  // namespace
