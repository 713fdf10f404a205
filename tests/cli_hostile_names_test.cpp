// Builds from trees whose names and objects are hostile to a naive scan:
// every row states the exit status, the message that names the item, and
// what the image must hold when read back by other programs.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "test_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string quoted(const std::string& text)
{
    return "'" + text + "'";
}

struct HostileCase {
    const char* what;
    std::function<void(const TempTree&)> setup;
    std::vector<std::string> paths;  // relative to the tree, or absolute
    std::string options;
    int status;
    std::vector<std::string> messages;  // each must appear in the output
    FileMap image;                      // Joliet path -> bytes; empty: no read-back
};

void make_low_byte_names(const TempTree& t)
{
    t.file("src/doc/inner.txt", "inside doc");
    t.file("src/doc\x01", "sibling with a low byte");
    t.file("src/tab\tname.txt", "tab");
    t.file("src/new\nline.txt", "newline");
    t.file("top\tdir/t.txt", "registered through a TAB");
}

void make_clashing_short_names(const TempTree& t)
{
    // ABCDEF~2.TXT is whole; the two longer names both cut to ABCDEF~1, and
    // counting the second up used to meet the first.
    t.file("src/ABCDEF~2.TXT", "whole");
    t.file("src/ABCDEF~3X.TXT", "cut one");
    t.file("src/ABCDEF~4X.TXT", "cut two");
}

void make_joliet_hostile_names(const TempTree& t)
{
    t.file("src/a*b:c;d?e\\f.txt", "forbidden");
    // 59 units, then a surrogate pair right at the cut.
    t.file("src/" + std::string(59, 'x') + "\xF0\x9F\x98\x80yy.txt", "surrogate");
}

void make_dot_names(const TempTree& t)
{
    t.file("src/a.txt", "a");
    t.file("src/.profile", "profile");
    t.file("src/.git/HEAD", "head");
    t.file("src/sub/.cache", "cache");
    t.file("src/sub/..x", "two dots");
}

void make_lattice(const TempTree& t, int levels)
{
    for (int i = 0; i <= levels; ++i)
        t.file("L/d" + std::to_string(i) + "/f.txt", std::to_string(i));
    for (int i = 0; i < levels; ++i) {
        std::string next = "../d" + std::to_string(i + 1);
        symlink(next.c_str(), t.path("L/d" + std::to_string(i) + "/a").c_str());
        symlink(next.c_str(), t.path("L/d" + std::to_string(i) + "/b").c_str());
    }
}

TEST(HostileNames, EachClassIsEnteredOrReportedByItsRealCause)
{
    const std::string surrogate_cut = std::string(59, 'x') + "_~1";
    const std::string long_name(200, 'n');
    const HostileCase cases[] = {
        {"low bytes and TABs in names",
         make_low_byte_names,
         {"src", "top\tdir"},
         "",
         0,
         {},
         {{"src/doc/inner.txt", "inside doc"},
          {"src/doc_", "sibling with a low byte"},
          {"src/tab_name.txt", "tab"},
          {"src/new_line.txt", "newline"},
          {"top_dir/t.txt", "registered through a TAB"}}},
        {"unreadable folder",
         [](const TempTree& t) {
             t.file("src/ok.txt", "ok");
             t.file("src/locked/hidden.txt", "never read");
             chmod(t.path("src/locked").c_str(), 0);
         },
         {"src"},
         "",
         1,
         {"cannot list the folder", "src/locked: Permission denied"},
         {{"src/ok.txt", "ok"}}},
        {"file of /proc",
         [](const TempTree&) {},
         {"/proc/version"},
         "",
         1,
         {"/proc/version does not report the size of its content"},
         {{"version", ""}}},
        {"special file registered directly",
         [](const TempTree& t) { mkfifo(t.path("pipe").c_str(), 0600); },
         {"pipe"},
         "",
         1,
         {"pipe is not a regular file or folder (entered as an empty file)"},
         {{"pipe", ""}}},
        {"file that grows while it is copied",
         [](const TempTree& t) {
             // An appender holds the file open and writes while the tree
             // exists (a bounded while), so it grows all through the build;
             // the build starts once it has. A larger file copied first keeps
             // the time between scan and copy long enough to see growth.
             t.file_of_size("a_big.bin", 48 << 20);
             t.file_of_size("grow.txt", 8 << 20);
             run_command("(exec 3>>" + quoted(t.path("grow.txt")) + "; i=0; while [ -d " + quoted(t.root) +
                         " ] && [ $i -lt 3000000 ]; do printf 0123456789 >&3; i=$((i + 1)); done)"
                         " >/dev/null 2>&1 &");
             struct stat st {};
             while (stat(t.path("grow.txt").c_str(), &st) == 0 && st.st_size == 8 << 20)
                 usleep(1000);
         },
         {"a_big.bin", "grow.txt"},
         "--raw",  // encoded sector by sector: no in-kernel copy shortens the window
         1,
         {"grow.txt has grown since it was scanned"},
         {}},
        {"dangling and looping links",
         [](const TempTree& t) {
             t.file("src/ok.txt", "ok");
             symlink("missing", t.path("src/dangling").c_str());
             symlink("loop", t.path("src/loop").c_str());
         },
         {"src"},
         "",
         1,
         {"src/dangling: dangling symbolic link", "src/loop: Too many levels of symbolic links"},
         {{"src/ok.txt", "ok"}, {"src/dangling", ""}, {"src/loop", ""}}},
        {"counted short names meeting a sibling",
         make_clashing_short_names,
         {"src"},
         "",
         0,
         {},
         {{"src/ABCDEF~2.TXT", "whole"}, {"src/ABCDEF~3X.TXT", "cut one"}, {"src/ABCDEF~4X.TXT", "cut two"}}},
        {"one name registered from two places",
         [](const TempTree& t) {
             t.file("p1/docs/a.txt", "a");
             t.file("p2/docs/b.txt", "b");
         },
         {"p1/docs", "p2/docs"},
         "--verify",
         0,
         {},
         {{"docs/b.txt", "b"}, {"doc1/a.txt", "a"}}},
        {"folders differing only in case, at two depths",
         [](const TempTree& t) {
             t.file("t/Docs/a.txt", "A");
             t.file("t/docs/b.txt", "B");
             t.file("t/docs/sub/Deep/x", "X");
             t.file("t/docs/sub/deep/y", "Y");
         },
         {"t"},
         "--verify",
         0,
         {},
         {{"t/Docs/a.txt", "A"}, {"t/doc1/b.txt", "B"}, {"t/doc1/sub/Deep/x", "X"}, {"t/doc1/sub/dee1/y", "Y"}}},
        {"a file and a folder of one name",
         [](const TempTree& t) {
             t.file("f1/docs/in.txt", "F");
             t.file("f2/docs", "file");
         },
         {"f1/docs", "f2/docs"},
         "--verify",
         0,
         {},
         {{"docs/in.txt", "F"}, {"doc1", "file"}}},
        {"a replaced character meets a real name",
         [](const TempTree& t) {
             t.file("j/a*1", "star");
             t.file("j/a_1", "real");
         },
         {"j"},
         "--verify",
         0,
         {"1 name is not held whole by the Joliet tree", "j/a*1 -> /j/a_2\n", "--joliet-long keeps Joliet names"},
         {{"j/a_1", "real"}, {"j/a_2", "star"}}},
        {"names cut past 103 characters: 20 named, then a count",
         [](const TempTree& t) {
             for (int i = 0; i < 22; ++i)
                 t.file("n/" + std::string(110, 'n') + std::to_string(i + 10), "n");
         },
         {"n"},
         "--joliet-long",
         0,
         {"22 names are not held whole", "n/" + std::string(110, 'n') + "10 -> /n/" + std::string(99, 'n') + "~1\n",
          "... and 2 more", "note: -R (Rock Ridge) keeps every name whole\n"},
         {}},
        {"characters Joliet forbids and a cut surrogate pair",
         make_joliet_hostile_names,
         {"src"},
         "",
         0,
         {},
         {{"src/a_b_c_d_e_f.txt", "forbidden"}, {"src/" + surrogate_cut, "surrogate"}}},
        {"names outside the code page",
         [](const TempTree& t) {
             t.file("src/a\xF0\x9F\x98\x80.txt", "grinning");
             t.file("src/a\xF0\x9F\x98\x81.txt", "beaming");
         },
         {"src"},
         "--code-page CP932",
         0,
         {},
         {{"src/a\xF0\x9F\x98\x80.txt", "grinning"}, {"src/a\xF0\x9F\x98\x81.txt", "beaming"}}},
        {"'..' behind a link is the target's parent",
         [](const TempTree& t) {
             t.file("real/inner/keep.txt", "keep");
             t.file("real/x.txt", "beside the target");
             t.file("x.txt", "beside the link");
             symlink("real/inner", t.path("link").c_str());
         },
         {"link/../x.txt"},
         "",
         0,
         {},
         {{"x.txt", "beside the target"}}},
        {"graft points: folders on the way made, two folders joined, a file renamed, patterns left out",
         [](const TempTree& t) {
             t.file("one/x.txt", "x");
             t.file("one/skip.o", "o");
             t.file("two/y.txt", "y");
             t.file("two/sub/z.o", "z");
             t.file("two/sub/keep.c", "c");
             t.file("k", "kernel");
         },
         {"a/b=one", "a/b=two", "boot/vmlinuz=k", "k"},
         "--graft-points --verify -R --exclude *.o --exclude sub/keep.c",
         0,
         {},
         {{"a/b/x.txt", "x"}, {"a/b/y.txt", "y"}, {"boot/vmlinuz", "kernel"}, {"k", "kernel"}}},
        {"graft points: two files at one path are refused with both named",
         [](const TempTree& t) {
             t.file("f1", "1");
             t.file("f2", "2");
         },
         {"a/f=f1", "a/f=f2"},
         "--graft-points",
         1,
         {"two sources for a/f in the image: ", "f2 and ", "/f1\n"},
         {}},
        {"names beginning with a dot",
         make_dot_names,
         {"src"},
         "",
         0,
         {"left out 4 names beginning with a dot (", "src/.git, ", "src/.profile, ",
          ", ...); --dot-files includes them"},
         {{"src/a.txt", "a"}}},
        {"names beginning with a dot, with --dot-files",
         make_dot_names,
         {"src"},
         "--dot-files",
         0,
         {},
         {{"src/a.txt", "a"},
          {"src/.profile", "profile"},
          {"src/.git/HEAD", "head"},
          {"src/sub/.cache", "cache"},
          {"src/sub/..x", "two dots"}}},
        {"lattice of links",
         [](const TempTree& t) { make_lattice(t, 20); },
         {"L/d0"},
         "",
         1,
         {"more than 65535 directories", "L/d0/a/a/a"},
         {}},
        {"path over 511 bytes",
         [&](const TempTree& t) { t.file("deep/" + long_name + "/" + long_name + "/" + long_name + "/f", "f"); },
         {"deep"},
         "",
         1,
         {"path longer than 511 bytes", long_name + "/" + long_name + "/" + long_name},
         {}},
    };
    const bool root = geteuid() == 0;
    for (const HostileCase& c : cases) {
        SCOPED_TRACE(c.what);
        TempTree tree;
        c.setup(tree);
        std::string command = "timeout 120 ";
        // Root reads any folder; without these two capabilities it is held to the mode bits.
        if (root)
            command += "setpriv --bounding-set -dac_override,-dac_read_search ";
        command += program_path() + " build --quiet -o " + quoted(tree.path("out.iso")) + " " + c.options;
        for (const std::string& p : c.paths) {
            // A graft point TARGET=SOURCE names its source below the tree.
            const size_t graft = p.find('=');
            command.append(" ").append(quoted(graft != std::string::npos
                                                  ? p.substr(0, graft + 1) + tree.path(p.substr(graft + 1))
                                              : p[0] == '/' ? p
                                                            : tree.path(p)));
        }
        std::string out;
        int status = run_command(command + " 2>&1", &out);
        chmod(tree.path("src/locked").c_str(), 0700);
        EXPECT_EQ(status, c.status) << out;
        for (const std::string& m : c.messages)
            EXPECT_NE(out.find(m), std::string::npos) << m << "\n" << out;
        if (c.image.empty())
            continue;
        std::string differences = compare_extraction(tree.path("out.iso"), c.image, tree.path("x"));
        if (differences.rfind("skip:", 0) == 0)
            GTEST_SKIP() << differences;
        EXPECT_EQ(differences, "");
    }
}

}  // namespace
#endif
