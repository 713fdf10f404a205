// Images written by the command-line program, read back by independent
// readers: isoinfo, xorriso/osirrox, 7z, iso-info. Every file extracted from
// either tree must equal its source byte for byte.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "test_support.h"

namespace fs = std::filesystem;

namespace {

// A tree with the cases readers trip over: nesting, long and mixed-case
// names, clashing short names, empty and sector-straddling files, a dot
// folder that must be left out, and names with multibyte characters.
void make_sample(const TempTree& tree)
{
    tree.file_of_size("sample/readme.txt", 1000, 1);
    tree.file_of_size("sample/README.TXT.bak", 2049, 2);
    tree.file("sample/empty.dat", "");
    tree.file_of_size("sample/Program Files/A long file name with spaces.html", 5000, 3);
    tree.file_of_size("sample/Program Files/another long file name.html", 4096, 4);
    tree.file_of_size("sample/Program Filez/x.bin", 70000, 5);
    tree.file_of_size("sample/deep/a/b/c/d/e/f/g/h/leaf.txt", 10, 6);
    tree.file_of_size("sample/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt", 300, 7);  // "Japanese" in UTF-8
    tree.file("sample/.git/config", "left out");
    tree.file_of_size("second.bin", 123457, 8);
}

class ReadersAccept : public testing::TestWithParam<bool> {};

TEST_P(ReadersAccept, ImagesOfTheCommandLine)
{
    for (const char* tool : {"isoinfo", "xorriso", "osirrox", "iso-info"})
        if (!have_program(tool))
            GTEST_SKIP() << tool << " is not installed";
    // Debian's 7zip package names its program 7zz.
    const std::string seven_zip = have_program("7zz") ? "7zz" : "7z";
    if (!have_program(seven_zip.c_str()))
        GTEST_SKIP() << "7-Zip is not installed";
    const bool raw = GetParam();
    TempTree tree;
    make_sample(tree);
    std::string image = tree.path(raw ? "out.bin" : "out.iso");
    std::string command = "SOURCE_DATE_EPOCH=1070971200 " + program_path() + " build --quiet " + (raw ? "--raw " : "") +
                          "--volume-id SAMPLE -o " + image + " " + tree.path("sample") + " " + tree.path("second.bin");
    ASSERT_EQ(run_command(command), 0) << command;
    std::string plain = image;
    if (raw) {
        // The readers take 2048-byte sectors; the conversion gives them back.
        ASSERT_EQ(run_command(program_path() + " convert " + image + " >/dev/null"), 0);
        plain = image + ".iso";
    }

    std::string out;
    ASSERT_EQ(run_command("isoinfo -d -i " + plain, &out), 0);
    EXPECT_NE(out.find("Volume id: SAMPLE"), std::string::npos) << out;
    EXPECT_NE(out.find("Joliet with UCS level 1"), std::string::npos) << out;
    ASSERT_EQ(run_command("isoinfo -l -i " + plain + " 2>&1", &out), 0);
    EXPECT_NE(out.find("README.TXT;1"), std::string::npos) << out;
    EXPECT_EQ(out.find("GIT"), std::string::npos) << out;
    ASSERT_EQ(run_command("isoinfo -J -l -i " + plain + " 2>&1", &out), 0);
    EXPECT_NE(out.find("A long file name with spaces.html"), std::string::npos) << out;
    ASSERT_EQ(run_command("xorriso -indev " + plain + " -find / 2>&1", &out), 0) << out;
    EXPECT_EQ(out.find("FAILURE"), std::string::npos) << out;
    ASSERT_EQ(run_command(seven_zip + " l " + plain + " 2>&1", &out), 0) << out;
    ASSERT_EQ(run_command("iso-info --no-header -f -i " + plain + " 2>&1", &out), 0) << out;
    EXPECT_NE(out.find("leaf.txt"), std::string::npos) << out;

    FileMap sources;
    for (auto& [name, data] : files_below(tree.path("sample")))
        sources["sample/" + name] = data;
    sources.erase("sample/.git/config");
    sources["second.bin"] = read_whole_file(tree.path("second.bin"));
    EXPECT_EQ(compare_extraction(plain, sources, tree.root), "");
}

INSTANTIATE_TEST_SUITE_P(PlainAndRaw, ReadersAccept, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Raw" : "Plain"; });

TEST(ReadersAccept, ElToritoCatalogAsSet)
{
    if (!have_program("xorriso"))
        GTEST_SKIP() << "xorriso is not installed";
    TempTree tree;
    tree.file_of_size("boot.img", 1474560, 9);
    tree.file("a.txt", "hello");
    std::string image = tree.path("boot.iso");
    ASSERT_EQ(run_command(program_path() + " build --quiet --boot " + tree.path("boot.img") +
                          " --boot-media 1.44 --boot-id TARNWICK --load-segment 1984 --sector-count 4 -o " + image +
                          " " + tree.path("a.txt")),
              0);
    std::string out;
    ASSERT_EQ(run_command("xorriso -indev " + image + " -report_el_torito plain 2>&1", &out), 0) << out;
    EXPECT_NE(out.find("El Torito catalog  : 26"), std::string::npos) << out;
    EXPECT_NE(out.find("El Torito boot img :   1  BIOS  y  fd1.4  0x07c0  0x00      4          27"), std::string::npos)
        << out;
    // The catalog's ID string as stored.
    std::string bytes = read_whole_file(image);
    EXPECT_EQ(bytes.substr(26 * 2048 + 4, 24), "TARNWICK" + std::string(16, '\0'));
}

TEST(ReadersAccept, EmptyListGivesAValidImage)
{
    if (!have_program("isoinfo"))
        GTEST_SKIP() << "isoinfo is not installed";
    TempTree tree;
    std::string image = tree.path("empty.iso");
    ASSERT_EQ(run_command(program_path() + " build --quiet --no-joliet -o " + image), 0);
    EXPECT_EQ(fs::file_size(image), 22u * 2048);
    std::string out;
    ASSERT_EQ(run_command("isoinfo -l -i " + image + " 2>&1", &out), 0) << out;
    EXPECT_NE(out.find("Directory listing of /"), std::string::npos) << out;
}

}  // namespace

#endif
