// What the command line does when its output collides with its inputs, when
// writing fails, and when it is stopped: the user's files keep their bytes,
// no temporary file stays behind, and every refusal names the item.
#include <gtest/gtest.h>

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
    long made_size = -1;                // its size; -1: an image to read back
};

std::string expand(std::string text, const std::string& tree, const std::string& big)
{
    const std::pair<const char*, std::string> names[] = {{"{P}", program_path()}, {"{T}", tree}, {"{B}", big}};
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

// The standard tree: sources, an earlier image inside them, a boot image, a
// cue sheet, an older output and inputs for the copy commands.
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
}

void check_row(const Row& row, const std::string& big = "")
{
    SCOPED_TRACE(row.name);
    TempTree tree;
    make_tree(tree);
    const FileMap before = files_below(tree.root);
    std::string out;
    EXPECT_EQ(run_command(expand(row.command, tree.root, big) + " 2>&1", &out), row.status) << out;
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

const Row portable_rows[] = {
    {"the output is a registered file",
     "{P} build --quiet -o {T}/src/a.txt {T}/src/a.txt",
     1,
     {"a.txt is a registered input", "nothing was written"}},
    {"the output lies in a registered folder",
     "{P} build --quiet -o {T}/src/old.iso {T}/src",
     0,
     {"old.iso is an output of this command (left out)"},
     "src/old.iso"},
    {"build --verify puts a verified image in place",
     "{P} build --quiet --verify -o {T}/src/old.iso {T}/src",
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
#define SIGNALLED(SIGNAL)                                                                            \
    "{P} build --quiet -o {T}/out.iso {B} 2>&1 & pid=$!; i=0; while [ $i -lt 1000 ]; do "            \
    "for f in {T}/.tarnwickiso-*; do [ -s \"$f\" ] && break 2; done; sleep 0.01; i=$((i+1)); done; " \
    "kill -" SIGNAL " $pid; wait $pid"

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
    {"SIGINT during a build", SIGNALLED("INT"), 130, {"interrupted by SIGINT", "out.iso was not written"}},
    {"SIGTERM during a build", SIGNALLED("TERM"), 143, {"interrupted by SIGTERM", "out.iso was not written"}},
    {"SIGPIPE during a build", SIGNALLED("PIPE"), 141, {"interrupted by SIGPIPE", "out.iso was not written"}},
    {"a cue sheet beside a device",
     "{P} build --quiet --cue -o /dev/null {T}/src",
     1,
     {"/dev/null is a device or a pipe", "nothing was written"}},
    {"disk-image of a device without an end",
     "{P} disk-image /dev/zero -o {T}/out.iso",
     1,
     {"/dev/zero", "a character device has no end"}},
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
    for (const Row& row : posix_rows)
        check_row(row, big.path("big"));
}
#endif

}  // namespace
