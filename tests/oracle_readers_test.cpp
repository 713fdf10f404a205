// Images written by the command-line program, read back by independent
// readers: isoinfo, xorriso/osirrox, 7z, iso-info. Every file extracted from
// either tree must equal its source byte for byte.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "verify/read_back.h"
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

// Joliet names: 64 characters (a file's ";1" included) by default, 103 with
// --joliet-long; longer ones are cut there with a count.
TEST(ReadersAccept, JolietLongNamesHoldUpTo103Characters)
{
    if (!have_program("isoinfo"))
        GTEST_SKIP() << "isoinfo is not installed";
    TempTree tree;
    const std::string file(97, 'f'), folder(103, 'd'), longer(110, 'x');
    tree.file("t/" + file + ".txt", "f");
    tree.file("t/" + folder + "/a", "a");
    tree.file("t/" + longer + "/b", "b");
    const struct {
        const char* option;
        std::vector<std::string> names;
    } cases[] = {
        {"--joliet-long", {file + ".txt;1", folder, std::string(101, 'x') + "~1"}},
        {"", {std::string(60, 'f') + "~1;1", std::string(62, 'd') + "~1", std::string(62, 'x') + "~1"}},
    };
    for (const auto& c : cases) {
        const std::string image = tree.path(std::string("j") + c.option + ".iso");
        std::string out;
        ASSERT_EQ(
            run_command(program_path() + " build --quiet " + c.option + " -o " + image + " " + tree.path("t"), &out),
            0);
        ASSERT_EQ(run_command("isoinfo -J -f -i " + image + " 2>&1", &out), 0) << out;
        for (const std::string& name : c.names)
            EXPECT_NE(out.find("/t/" + name + "\n"), std::string::npos) << c.option << ": " << name << "\n" << out;
        ASSERT_EQ(run_command(program_path() + " verify " + image + " 2>&1", &out), 0) << out;
    }
}

// Rock Ridge as the readers show it: modes, link targets (kept as links),
// a FIFO, hard links on one extent, a name of 200 bytes and a Japanese one,
// in the form of -R and, rationalised, of -r; each image reads back clean.
TEST(ReadersAccept, RockRidgeTreesAsOnDisk)
{
    for (const char* tool : {"xorriso", "isoinfo", "bsdtar"})
        if (!have_program(tool))
            GTEST_SKIP() << tool << " is not installed";
    TempTree tree;
    tree.file("t/bin/run.sh", "#!/bin/sh\n");
    fs::permissions(tree.path("t/bin/run.sh"), fs::perms(0755));
    tree.file("t/lib/libx.so.1", "lib");
    fs::create_symlink("libx.so.1", tree.path("t/lib/libx.so"));
    fs::create_directory_symlink("../bin", tree.path("t/lib/bin"));
    fs::create_symlink("/etc/" + std::string(300, 'x'), tree.path("t/far"));
    tree.file("t/h1", "hard");
    fs::permissions(tree.path("t/h1"), fs::perms(04711));
    fs::create_hard_link(tree.path("t/h1"), tree.path("t/h2"));
    const std::string long_name(200, 'L');
    tree.file("t/" + long_name, "long");
    tree.file("t/\xe6\x97\xa5\xe6\x9c\xac.txt", "ja");
    ASSERT_EQ(0, mkfifo(tree.path("t/fifo").c_str(), 0640));
    // Deeper than ISO 9660's eight levels: relocated there (twice), in place
    // for Rock Ridge's readers and in the Joliet tree.
    const std::string deep = "t/d/d3/d4/d5/d6/d7/d8/d9/d10/d11/d12/d13/d14/d15/deep.txt";
    tree.file(deep, "deep");
    struct Case {
        const char* option;
        std::vector<std::string> lines;  // as xorriso's lsdl shows them
    };
    const Case cases[] = {
        {"-R",
         {"'/" + deep + "'", "-rwxr-xr-x", "'/t/bin/run.sh'", "'/t/lib/libx.so' -> 'libx.so.1'",
          "'/t/lib/bin' -> '../bin'", "'/t/far' -> '/etc/" + std::string(300, 'x') + "'", "-rws--x--x", "prw-r-----",
          "'/t/" + long_name + "'", "'/t/\xe6\x97\xa5\xe6\x9c\xac.txt'"}},
        {"-r", {"-r-xr-xr-x", "'/t/h1'", "pr--r--r--", "dr-xr-xr-x"}},
    };
    for (const Case& c : cases) {
        const std::string image = tree.path(std::string("rr") + c.option + ".iso");
        std::string out;
        ASSERT_EQ(run_command(program_path() + " build --quiet --verify " + c.option + " -o " + image + " " +
                                  tree.path("t") + " 2>&1",
                              &out),
                  0)
            << out;
        ASSERT_EQ(run_command("xorriso -indev " + image + " -find / -exec lsdl 2>/dev/null", &out), 0);
        for (const std::string& line : c.lines)
            EXPECT_NE(out.find(line), std::string::npos) << c.option << ": " << line << "\n" << out;
        // Hard links: one extent, a link count of two.
        ASSERT_EQ(run_command("isoinfo -R -l -i " + image + " 2>/dev/null | grep -E ' h[12] *$'", &out), 0);
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << out;
        const std::string h1 = out.substr(0, out.find('\n'));
        EXPECT_EQ(out.substr(h1.size() + 1, h1.size() - 4), h1.substr(0, h1.size() - 4)) << out;
        EXPECT_NE(h1.find(" 2 "), std::string::npos) << out;
        ASSERT_EQ(run_command("bsdtar -tvf " + image + " 2>&1", &out), 0) << out;
        EXPECT_NE(out.find("t/lib/libx.so -> libx.so.1"), std::string::npos) << out;
        EXPECT_NE(out.find(deep + "\n"), std::string::npos) << out;
        ASSERT_EQ(run_command("isoinfo -J -f -i " + image + " 2>&1", &out), 0) << out;
        EXPECT_NE(out.find("/" + deep + ";1\n"), std::string::npos) << out;
        ASSERT_EQ(run_command("isoinfo -f -i " + image + " 2>&1", &out), 0) << out;
        for (const char* moved : {"/RR_MOVED/D8/D9/D10/D11/D12/D13\n", "/RR_MOVED/D14/D15/DEEP.TXT;1\n"})
            EXPECT_NE(out.find(moved), std::string::npos) << moved << "\n" << out;
        // 7-Zip reads the Joliet tree.
        if (have_program("7zz")) {
            ASSERT_EQ(run_command("7zz l " + image + " 2>&1", &out), 0) << out;
            EXPECT_NE(out.find(" " + deep + "\n"), std::string::npos) << out;
        }
        ASSERT_EQ(run_command(program_path() + " verify " + image + " 2>&1", &out), 0) << out;
        EXPECT_NE(out.find("Rock Ridge (RRIP_1991A)"), std::string::npos) << out;
    }
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

// A path of a tree as readers show it, from the build's place of a file:
// ISO 9660 identifiers without ";1" and the '.' of an empty extension,
// Joliet ones from UCS-2 to UTF-8 without ";1".
std::string shown_path(const std::string& place, bool joliet)
{
    std::string path;
    for (size_t at = 0; at < place.size();) {
        const size_t length = uint8_t(place[at]);
        std::string id = place.substr(at + 1, length);
        at += 1 + length;
        std::string name;
        if (!joliet) {
            name = id;
        } else {
            for (size_t i = 0; i + 1 < id.size(); i += 2) {
                uint32_t u = uint8_t(id[i]) << 8 | uint8_t(id[i + 1]);
                if (u >= 0xD800 && u <= 0xDBFF && i + 3 < id.size()) {
                    u = 0x10000 + ((u - 0xD800) << 10) + ((uint8_t(id[i + 2]) << 8 | uint8_t(id[i + 3])) - 0xDC00);
                    i += 2;
                }
                if (u < 0x80) {
                    name += char(u);
                } else if (u < 0x800) {
                    name += char(0xC0 | u >> 6);
                    name += char(0x80 | (u & 0x3F));
                } else if (u < 0x10000) {
                    name += char(0xE0 | u >> 12);
                    name += char(0x80 | (u >> 6 & 0x3F));
                    name += char(0x80 | (u & 0x3F));
                } else {
                    name += char(0xF0 | u >> 18);
                    name += char(0x80 | (u >> 12 & 0x3F));
                    name += char(0x80 | (u >> 6 & 0x3F));
                    name += char(0x80 | (u & 0x3F));
                }
            }
        }
        if (at == place.size() && name.size() >= 2 && name.compare(name.size() - 2, 2, ";1") == 0) {
            name.resize(name.size() - 2);
            if (!joliet && !name.empty() && name.back() == '.')
                name.pop_back();
        }
        path += (path.empty() ? "" : "/") + name;
    }
    return path;
}

// Random trees whose names clash in every way the identifiers allow: one
// name registered from several places, as a file and as a folder, case
// variants at every depth, names that replacement or cutting makes equal.
// Every file must come out of both trees, read by two readers each, at the
// place the build gave it, with its own bytes; and the read-back must name a
// file that is not at its place.
TEST(ReadersAccept, RandomClashingTreesExtractEveryFileAtItsOwnPlace)
{
    for (const char* tool : {"osirrox", "7zz", "bsdtar"})
        if (!have_program(tool))
            GTEST_SKIP() << tool << " is not installed";
    static const char* const names[] = {"docs",
                                        "Docs",
                                        "DOCS",
                                        "a*1",
                                        "a_1",
                                        "a?1",
                                        "readme.txt",
                                        "README.TXT",
                                        "Program Files",
                                        "PROGRA~1",
                                        "program filez",
                                        "x.tar.gz",
                                        "x.tar.gzip",
                                        "0123456789012345678901234567890123456789012345678901234567890123-a.txt",
                                        "0123456789012345678901234567890123456789012345678901234567890123-b.txt"};
    std::vector<uint32_t> seeds = {1, 2, 3, 4};
    std::random_device fresh;
    seeds.push_back(fresh());
    seeds.push_back(fresh());
    for (uint32_t seed : seeds) {
        std::printf("random clashing tree, seed %u\n", seed);
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        TempTree tree;
        auto pick = [&] { return std::string(names[rng() % std::size(names)]); };
        int serial = 0;
        // Fills the folder with up to `width` items, files and folders.
        std::function<void(const std::string&, int)> fill = [&](const std::string& folder, int depth) {
            tree.folder(folder);
            for (int k = int(rng() % 5); k > 0; --k) {
                const std::string path = folder + "/" + pick();
                if (fs::exists(tree.path(path)))
                    continue;
                if (depth < 3 && rng() % 3 == 0)
                    fill(path, depth + 1);
                else
                    tree.file(path, "content " + std::to_string(++serial) + " of " + path);
            }
        };
        std::vector<std::string> registered;
        for (int k = 0; k < 4; ++k) {
            // Half of them under one of three case variants of one name.
            const std::string item = "p" + std::to_string(k) + "/" + (rng() % 2 ? names[rng() % 3] : pick());
            if (rng() % 4 == 0)
                tree.file(item, "registered file " + std::to_string(++serial));
            else
                fill(item, 1);
            registered.push_back(tree.path(item));
        }
        Settings settings;
        BuildHow how;
        how.keep_built_files = true;
        BuiltImage built = build_paths(registered, settings, tree.path("out.iso"), how);
        ASSERT_TRUE(built.outcome.clean());
        // The build's mapping of names: each source item's own name in each
        // tree. A file's path is the names of its source folders down from
        // its registered item, whatever order the build gave the table.
        std::map<std::string, std::string> name_of[2];
        auto own_name = [](const std::string& place, bool joliet) {
            size_t at = 0;
            while (at + 1 + uint8_t(place[at]) < place.size())
                at += 1 + uint8_t(place[at]);
            return shown_path(place.substr(at), joliet);
        };
        for (const BuiltFolder& f : built.outcome.folders)
            for (int t : {0, 1})
                name_of[t][f.source] = own_name(f.place[t], t == 1);
        for (const BuiltFile& f : built.outcome.files)
            for (int t : {0, 1})
                name_of[t][f.source] = own_name(f.place[t], t == 1);
        FileMap expected[2];
        for (const BuiltFile& f : built.outcome.files) {
            std::string item;
            for (const std::string& r : registered)
                if (f.source == r || f.source.rfind(r + "/", 0) == 0)
                    item = r;
            ASSERT_FALSE(item.empty()) << f.source;
            for (int t : {0, 1}) {
                std::string path = name_of[t][item];
                for (size_t at = item.size(); at < f.source.size();) {
                    const size_t end = std::min(f.source.find('/', at + 1), f.source.size());
                    path += "/" + name_of[t][f.source.substr(0, end)];
                    at = end;
                }
                ASSERT_TRUE(expected[t].emplace(path, read_whole_file(f.source)).second) << path;
            }
        }
        const std::string image = tree.path("out.iso");
        const struct {
            const char* reader;
            int tree;
            std::string command;
        } readers[] = {
            {"osirrox, ISO 9660", 0, "osirrox -read_fs ecma119 -indev '" + image + "' -extract / '{D}'"},
            {"osirrox, Joliet", 1, "osirrox -read_fs any -indev '" + image + "' -extract / '{D}'"},
            {"7-Zip, Joliet", 1, "7zz x -y '-o{D}' '" + image + "'"},
            {"bsdtar, ISO 9660", 0,
             "mkdir -p '{D}' && bsdtar -x -C '{D}' --options 'iso9660:!joliet' -f '" + image + "'"},
        };
        for (const auto& r : readers) {
            const std::string dir = tree.path("x");
            fs::remove_all(dir);
            std::string command = r.command;
            for (size_t at; (at = command.find("{D}")) != std::string::npos;)
                command.replace(at, 3, dir);
            ASSERT_EQ(run_command(command + " >/dev/null 2>&1"), 0) << command;
            EXPECT_EQ(files_below(dir), expected[r.tree]) << r.reader;
        }
        // Two files of the build trade places: the records still point at
        // sources' data, but not at their own.
        std::vector<BuiltFile>& files = built.outcome.files;
        for (size_t i = 1; i < files.size(); ++i)
            if (files[i].extent != files[0].extent || files[i].size != files[0].size) {
                std::swap(files[0].place, files[i].place);
                const std::vector<std::string> differences = compare_with_sources(image.c_str(), built.outcome);
                EXPECT_FALSE(differences.empty());
                break;
            }
    }
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
