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

// BIOS and UEFI entries in one catalog, MBR and GPT in the system area: the
// readers list the entries with the values set, read both partition tables
// without complaint, and still extract every file; a second build is the same.
TEST(ReadersAccept, UefiEntryAndHybridTables)
{
    for (const char* tool : {"xorriso", "sgdisk", "mkfs.fat", "isoinfo"})
        if (!have_program(tool))
            GTEST_SKIP() << tool << " is not installed";
    TempTree tree;
    tree.file_of_size("boot.img", 1474560, 9);
    tree.file_of_size("sample/a.txt", 5000, 1);
    tree.file_of_size("sample/sub/b.bin", 70000, 2);
    ASSERT_EQ(run_command("mkfs.fat -C " + tree.path("esp.img") + " 1440 >/dev/null"), 0);
    std::string out;
    for (const char* name : {"one.iso", "two.iso"})
        ASSERT_EQ(run_command("SOURCE_DATE_EPOCH=1070971200 " + program_path() + " build --quiet --boot " +
                                  tree.path("boot.img") + " --boot-media 1.44 --efi-boot " + tree.path("esp.img") +
                                  " --hybrid -o " + tree.path(name) + " " + tree.path("sample") + " 2>&1",
                              &out),
                  0)
            << out;
    const std::string image = tree.path("one.iso");
    EXPECT_EQ(read_whole_file(image), read_whole_file(tree.path("two.iso")));
    ASSERT_EQ(run_command("xorriso -indev " + image + " -report_el_torito plain -report_system_area plain 2>&1", &out),
              0)
        << out;
    // Catalog 30 (descriptors 16-19, path tables 20-23, three directories per
    // tree 24-29), the diskette at 31, the EFI image at 751 (block 3004), the
    // files from 1471 to the volume's end at 1509 (block 6036). The padded
    // file: 1509 + 1 + 9 sectors rounded up to 1536, 6144 blocks.
    for (const char* line : {
             "El Torito catalog  : 30  1",
             "El Torito boot img :   1  BIOS  y  fd1.4  0x0000  0x00      1          31",
             "El Torito boot img :   2  UEFI  y   none  0x0000  0x00   2880         751",
             "MBR partition      :   1   0x00  0xee            1         3003",
             "MBR partition      :   2   0x00  0xef         3004         2880",
             "GPT lba range      :      34  6110  6143",
             "GPT start and size :   1  64  2940",
             "GPT start and size :   2  3004  2880",
             "GPT start and size :   3  5884  152",
         })
        EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
    EXPECT_EQ(out.find("FAILURE"), std::string::npos) << out;
    ASSERT_EQ(run_command("sgdisk -v " + image + " 2>&1", &out), 0) << out;
    EXPECT_NE(out.find("No problems found"), std::string::npos) << out;
    EXPECT_EQ(out.find("Warning"), std::string::npos) << out;

    ASSERT_EQ(run_command("isoinfo -i " + image + " -x '/SAMPLE/SUB/B.BIN;1'", &out), 0);
    EXPECT_EQ(out, read_whole_file(tree.path("sample/sub/b.bin")));
    FileMap sources;
    for (auto& [name, data] : files_below(tree.path("sample")))
        sources["sample/" + name] = data;
    // 7-Zip shows the two boot images beside the files.
    EXPECT_EQ(compare_extraction(image, sources, tree.root),
              "7-Zip: extra [BOOT]/1-Boot-1.44M.img\n7-Zip: extra [BOOT]/2-Boot-NoEmul.img\n");
    EXPECT_EQ(read_whole_file(tree.path("x_7z/[BOOT]/2-Boot-NoEmul.img")), read_whole_file(tree.path("esp.img")));
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
