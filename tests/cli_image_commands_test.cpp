#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/image_commands.h"
#include "cli/options.h"
#include "mastering/entries.h"
#include "drivetools/cue_sheet.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

TEST(CueSheet, NameReplacesTheExtension)
{
    struct Case {
        const char* image;
        const char* cue;
    };
    const Case cases[] = {
        {"disc.bin", "disc.cue"},
        {"disc", "disc.cue"},
        {"/a.b/disc", "/a.b/disc.cue"},
        {"/a/disc.iso", "/a/disc.cue"},
        {"archive.tar.bin", "archive.tar.cue"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(cue_sheet_name(c.image), c.cue) << c.image;
        // The Tool window's dumps name their sheets by the same rule.
        EXPECT_EQ(drivetools::cue_sheet_path(c.image), c.cue) << c.image;
    }
}

// Graft points: the first '=' not escaped splits; escapes count in the
// target only; targets stay inside the image.
TEST(GraftPoints, ArgumentsSplitEscapeAndStayInside)
{
    const struct {
        const char* argument;
        const char* target;
        const char* source;
        const char* error;  // a part of it; empty: none
    } cases[] = {
        {"isolinux/isolinux.bin=/usr/lib/ISOLINUX/isolinux.bin", "isolinux/isolinux.bin",
         "/usr/lib/ISOLINUX/isolinux.bin", ""},
        {"plain/path", "", "plain/path", ""},
        {"a\\=b=c=d", "a=b", "c=d", ""},
        {"a\\\\=C:\\dir\\f", "a\\", "C:\\dir\\f", ""},
        {"//x//y/=src", "x/y", "src", ""},
        {"/=src", "/", "src", ""},
        {"../x=src", "", "", "stays inside the image"},
        {"a/./b=src", "", "", "stays inside the image"},
        {"=src", "", "", "no TARGET"},
        {"a=", "", "", "no SOURCE"},
    };
    for (const auto& c : cases) {
        Graft graft;
        const std::string error = parse_graft(c.argument, graft);
        if (*c.error) {
            EXPECT_NE(error.find(c.error), std::string::npos) << c.argument << ": " << error;
            continue;
        }
        EXPECT_EQ(error, "") << c.argument;
        EXPECT_EQ(graft.target, c.target) << c.argument;
        EXPECT_EQ(graft.source, c.source) << c.argument;
    }
}

// --exclude patterns: names, and paths below the registered folder where
// '*' and '?' cross '/'.
TEST(Exclude, PatternsMatchAsTheShellDoes)
{
    const struct {
        const char* pattern;
        const char* text;
        bool slash_too, matches;
    } cases[] = {
        {"*.o", "main.o", false, true},    {"*.o", "main.c", false, false},    {"*.o", "sub/main.o", false, false},
        {"*.o", "sub/main.o", true, true}, {"sub/*.c", "sub/a.c", true, true}, {"?.txt", "a.txt", false, true},
        {"?.txt", "ab.txt", false, false}, {"[ab]*", "beta", false, true},     {"[!ab]*", "beta", false, false},
        {"[a-c]x", "bx", false, true},     {"\\*", "*", false, true},          {"\\*", "a", false, false},
        {"a*b*c", "aXbYc", false, true},   {"a*b*c", "aXbY", false, false},    {"", "", false, true},
        {"[", "[", false, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pattern_matches(c.pattern, c.text, c.slash_too), c.matches) << c.pattern << " " << c.text;
}

#ifndef _WIN32
// Reproducible builds: file times later than SOURCE_DATE_EPOCH are taken as
// it (touching every file changes no byte, Rock Ridge's times included);
// earlier ones are kept.
TEST(SourceDateEpoch, LaterFileTimesAreHeldBackEarlierOnesKept)
{
    TempTree tree;
    tree.file("src/a.txt", "a");
    tree.file("src/d/b.txt", "b");
    tree.file("old/old.txt", "old");
    const std::string env = "SOURCE_DATE_EPOCH=1700000000 ", build = env + program_path() + " build --quiet -R -o ";
    ASSERT_EQ(run_command(build + tree.path("one.iso") + " " + tree.path("src")), 0);
    ASSERT_EQ(run_command("find " + tree.path("src") + " -exec touch -d '2031-05-06 07:08' {} +"), 0);
    ASSERT_EQ(run_command(build + tree.path("two.iso") + " " + tree.path("src")), 0);
    EXPECT_TRUE(read_whole_file(tree.path("two.iso")) == read_whole_file(tree.path("one.iso")));
    ASSERT_EQ(run_command("touch -d '2001-02-14 12:00 UTC' " + tree.path("old/old.txt")), 0);
    ASSERT_EQ(run_command(build + tree.path("old.iso") + " " + tree.path("old")), 0);
    const std::string image = read_whole_file(tree.path("old.iso"));
    const size_t name = image.find("OLD.TXT;1");
    ASSERT_NE(name, std::string::npos);
    const size_t date = name - 33 + 18;  // the record's recording date (year since 1900, month)
    EXPECT_EQ(uint8_t(image[date]), 101);
    EXPECT_EQ(uint8_t(image[date + 1]), 2);
}

// estimate --exact says, byte for byte, what build then writes, under every
// form of the image and with an earlier image of the output in the tree.
TEST(EstimateExact, EqualsTheWrittenImage)
{
    TempTree tree;
    tree.file_of_size("src/a.bin", 300001, 3);
    tree.file("src/README", "a");
    tree.file("src/readme", "b");
    tree.file("src/" + std::string(120, 'n') + ".txt", "long");
    tree.file("src/d1/d2/d3/d4/d5/d6/d7/d8/d9/d10/d11/deep.txt", "deep");
    ASSERT_EQ(run_command("cd " + tree.path("src") + " && ln -s a.bin link && ln a.bin hard"), 0);
    tree.file_of_size("boot.img", 1474560, 9);
    const bool fat = run_command("mkfs.fat -C " + tree.path("esp.img") + " 1440 >/dev/null 2>&1") == 0;
    for (const std::string& options :
         std::vector<std::string>{"", "--raw", "-R", "-r --raw", "-R --follow-links", "--no-joliet", "--joliet-long",
                                  "--dot-files", "--boot " + tree.path("boot.img") + " --boot-media 1.44",
                                  "--efi-boot " + tree.path("esp.img") + " --hybrid"}) {
        if (!fat && options.find("esp.img") != std::string::npos)
            continue;
        for (const std::string& output : {tree.path("out.iso"), tree.path("src/in.iso")}) {
            SCOPED_TRACE(options + " -o " + output);
            std::string estimate, built;
            const std::string args = options + " -o " + output + " " + tree.path("src");
            // The second round meets the first one's image in the tree.
            for (int round = 0; round < 2; ++round) {
                ASSERT_EQ(run_command(program_path() + " estimate --exact " + args + " 2>&1", &estimate), 0)
                    << estimate;
                ASSERT_EQ(run_command(program_path() + " build " + args + " 2>/dev/null", &built), 0);
                EXPECT_NE(estimate.find("Exact size: " + std::to_string(fs::file_size(output)) + " bytes"),
                          std::string::npos)
                    << estimate << built;
            }
            fs::remove(output);
        }
    }
}

TEST(CueSheet, RawBuildEqualsTheConvertedPlainBuildAndBchunkUndoesIt)
{
    TempTree tree;
    tree.file_of_size("src/a.bin", 300000, 3);
    tree.file("src/b.txt", "text");
    const std::string env = "SOURCE_DATE_EPOCH=1070971200 ";
    ASSERT_EQ(run_command(env + program_path() + " build --quiet --raw --cue -o " + tree.path("disc.bin") + " " +
                          tree.path("src")),
              0);
    ASSERT_EQ(run_command(env + program_path() + " build --quiet --cue -o " + tree.path("plain.iso") + " " +
                          tree.path("src")),
              0);
    EXPECT_EQ(read_whole_file(tree.path("disc.cue")),
              "FILE \"disc.bin\" BINARY\r\n  TRACK 01 MODE1/2352\r\n    INDEX 01 00:00:00\r\n");
    EXPECT_NE(read_whole_file(tree.path("plain.cue")).find("MODE1/2048"), std::string::npos);
    ASSERT_EQ(run_command(program_path() + " convert " + tree.path("plain.iso") + " >/dev/null"), 0);
    EXPECT_EQ(read_whole_file(tree.path("plain.iso.iso")), read_whole_file(tree.path("disc.bin")));
    if (!have_program("bchunk"))
        GTEST_SKIP() << "bchunk is not installed";
    ASSERT_EQ(run_command("cd " + tree.root + " && bchunk disc.bin disc.cue track >/dev/null 2>&1"), 0);
    EXPECT_EQ(read_whole_file(tree.path("track01.iso")), read_whole_file(tree.path("plain.iso")));
}

TEST(CueSheet, ConvertGoesOnAfterAFailedFile)
{
    TempTree tree;
    tree.file("junk.bin", std::string(5000, 'J'));
    tree.file("plain.iso", std::string(4096, '\0'));
    std::string out;
    int status = run_command(
        program_path() + " convert " + tree.path("junk.bin") + " " + tree.path("plain.iso") + " 2>&1", &out);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("junk.bin"), std::string::npos) << out;
    EXPECT_EQ(read_whole_file(tree.path("plain.iso.iso")).size(), 2u * 2352);
    EXPECT_EQ(read_whole_file(tree.path("junk.bin.iso")), "") << "no file for a failed conversion";
}
#endif

}  // namespace
