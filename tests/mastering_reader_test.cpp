// The image reader: images of other tools and our own read clean, and each
// kind of damage to one small image gives its own named fault.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "verify/image_reader.h"
#include "verify/read_back.h"
#include "platform/endian.h"
#include "sector/check.h"
#include "verify/image_check.h"
#include "settings/control_store.h"
#include "settings/dialog_ids.h"
#include "test_support.h"

namespace {

std::string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

#ifndef _WIN32
TEST(ImageReader, ImagesOfOtherToolsAndOurOwnReadClean)
{
    struct Case {
        const char* what;
        const char* tool;     // program to look for; empty for our own build
        const char* command;  // {S} the source folder, {O} the output
        bool joliet;
        size_t boot_entries;
        size_t catalog_files;  // the boot catalog listed as a file
    };
    const Case cases[] = {
        {"genisoimage", "genisoimage", "genisoimage -quiet -o {O} {S}", false, 0, 0},
        {"genisoimage -J -R", "genisoimage", "genisoimage -quiet -J -R -o {O} {S}", true, 0, 0},
        {"genisoimage boot", "genisoimage",
         "genisoimage -quiet -J -b boot.img -c boot.cat -no-emul-boot -boot-load-size 4 -o {O} {S}", true, 1, 1},
        {"xorriso", "xorriso", "xorriso -as mkisofs -quiet -J -o {O} {S}", true, 0, 0},
        {"xorriso BIOS and EFI", "xorriso",
         "xorriso -as mkisofs -quiet -J -b boot.img -no-emul-boot -boot-load-size 4 -eltorito-alt-boot "
         "-e efi.img -no-emul-boot -o {O} {S}",
         true, 2, 1},
        {"ours", "", "", true, 1, 0},
        {"ours raw", "", "--raw", true, 1, 0},
    };
    TempTree tree;
    tree.file_of_size("src/boot.img", 2048, 1);
    tree.file_of_size("src/efi.img", 1440 * 1024, 2);
    tree.file_of_size("src/big.bin", 300000, 3);
    tree.file("src/empty.txt", "");
    tree.file("src/Dir/Sub/deep.txt", "deep");
    tree.file("src/Dir/other.txt", "other");
    for (int i = 0; i < 70; ++i)  // a directory of several sectors
        tree.file("src/many/file_with_a_long_name_" + std::to_string(i) + ".txt", std::to_string(i));
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string image = tree.path("image" + std::to_string(n++) + ".iso");
        if (*c.tool) {
            if (!have_program(c.tool)) {
                ADD_FAILURE() << c.tool << " is not installed";
                continue;
            }
            std::string command = c.command;
            command.replace(command.find("{O}"), 3, image);
            command.replace(command.find("{S}"), 3, tree.path("src"));
            ASSERT_EQ(run_command(command + " 2>&1"), 0) << command;
        } else {
            Settings settings;
            set_check(settings.boot, boot_ids::enabled, true);
            set_text(settings.boot, boot_ids::image_path, tree.path("src/boot.img"));
            ASSERT_TRUE(
                build_paths({tree.path("src")}, settings, image, std::strcmp(c.command, "--raw") == 0).outcome.clean());
        }
        ImageSource source;
        std::string why;
        ASSERT_TRUE(open_image_source(image.c_str(), source, why)) << why;
        const ImageReading r = read_image(source);
        EXPECT_EQ(joined(r.faults), "");
        EXPECT_EQ(r.joliet.present, c.joliet);
        EXPECT_EQ(r.boot_entries.size(), c.boot_entries) << describe_reading(r);
        // src itself is a directory of our image, the root of theirs.
        const size_t files = 76 + c.catalog_files, directories = *c.tool ? 4 : 5;
        for (const ImageTree* t : {&r.primary, &r.joliet})
            if (t->present) {
                EXPECT_EQ(t->files.size(), files);
                EXPECT_EQ(t->directories.size(), directories);
            }
        if (c.joliet) {
            bool found = false;
            for (const TreeFile& f : r.joliet.files)
                found = found || file_path(r.joliet, f).find("Dir/Sub/deep.txt") != std::string::npos;
            EXPECT_TRUE(found) << "Joliet names are read as text";
        }
    }
}
#endif

// Finds the directory record with the identifier in the directory sector.
uint8_t* record_named(uint8_t* sector, const std::string& id)
{
    for (uint32_t at = 0; at < 2048 && sector[at] != 0; at += sector[at])
        if (sector[at + 32] == id.size() && std::memcmp(sector + at + 33, id.data(), id.size()) == 0)
            return sector + at;
    ADD_FAILURE() << "no record " << id;
    static uint8_t dummy[256];
    return dummy;
}

void put_both32_at(uint8_t* p, uint32_t v)
{
    put_le32(p, v);
    put_be32(p + 4, v);
}

TEST(ImageReader, EachDamageGivesItsNamedFault)
{
    // Our image of A/B/f.txt and g.bin with Joliet and boot: descriptors at
    // 16 (primary), 17 (boot record), 18 (Joliet), 19 (terminator).
    TempTree tree;
    tree.file("A/B/f.txt", "f");
    for (int i = 0; i < 60; ++i) {  // A/B takes two sectors
        std::string name = "A/B/name_";
        name += std::to_string(i);
        tree.file(name + ".txt", "");
    }
    tree.file_of_size("g.bin", 3000, 5);
    tree.file_of_size("boot.img", 2048, 6);
    Settings settings;
    set_check(settings.boot, boot_ids::enabled, true);
    set_text(settings.boot, boot_ids::image_path, tree.path("boot.img"));
    const BuiltImage built = build_paths({tree.path("A"), tree.path("g.bin")}, settings, tree.path("out.iso"));
    ASSERT_TRUE(built.outcome.clean());
    ASSERT_EQ(
        joined(check_image_bytes(reinterpret_cast<const uint8_t*>(built.bytes.data()), built.bytes.size()).faults), "");

    struct Image {
        std::string bytes;
        uint8_t* sector(uint32_t n) { return reinterpret_cast<uint8_t*>(bytes.data()) + size_t(n) * 2048; }
        uint32_t root() { return get_le32(sector(16) + 156 + 2); }
        uint8_t* root_record(const std::string& id) { return record_named(sector(root()), id); }
        uint8_t* a_record(const std::string& id) { return record_named(sector(get_le32(root_record("A") + 2)), id); }
    };
    struct Case {
        const char* what;
        std::function<void(Image&)> damage;
        const char* fault;
    };
    const Case cases[] = {
        {"descriptor set cut off", [](Image& i) { i.bytes.resize(17 * 2048); },
         "runs past the end of the file without a terminator"},
        {"no terminator", [](Image& i) { std::memset(i.sector(19), 0, 2048); },
         "sector 19: no standard identifier CD001"},
        {"no primary descriptor", [](Image& i) { i.sector(16)[0] = 3; }, "no primary volume descriptor"},
        {"record length 0 before records", [](Image& i) { i.root_record("A")[0] = 0; },
         "length 0, but the rest of the sector is not zero"},
        {"record across the sector end",
         [](Image& i) {
             uint8_t* b = i.sector(get_le32(i.a_record("B") + 2));
             uint32_t last = 0;
             for (uint32_t at = 0; at < 2048 && b[at] != 0; at += b[at])
                 last = at;
             b[last] = uint8_t(2048 - last + 2);
         },
         "crosses the sector end"},
        {"record past the directory's extent", [](Image& i) { put_both32_at(i.sector(16) + 156 + 10, 100); },
         "runs past the end of the directory's extent"},
        {"record too short", [](Image& i) { i.root_record("A")[0] = 20; }, "shorter than any directory record"},
        {"identifier longer than its record", [](Image& i) { i.root_record("A")[32] = 200; },
         "an identifier of 200 bytes does not fit"},
        {"file extent past the end", [](Image& i) { put_both32_at(i.root_record("G.BIN;1") + 2, 100000); },
         "file /G.BIN;1: sectors 100000-100001 run past the end of the file"},
        {"huge data length", [](Image& i) { put_both32_at(i.root_record("G.BIN;1") + 10, 0xFFFFFFF0u); },
         "file /G.BIN;1: sectors"},
        {"directory pointing at itself", [](Image& i) { put_both32_at(i.root_record("A") + 2, i.root()); },
         "subdirectory A points at sector 24, already read as directory / (a loop)"},
        {"directory pointing at its parent",
         [](Image& i) { put_both32_at(i.a_record("B") + 2, get_le32(i.root_record("A") + 2)); },
         "directory /A: subdirectory B points at sector 25, already read as directory /A (a loop)"},
        {"wrong \"..\"", [](Image& i) { put_both32_at(i.a_record(std::string(1, '\1')) + 2, 27); },
         "the \"..\" record gives sector 27"},
        {"both-endian fields disagree", [](Image& i) { put_be32(i.sector(16) + 80 + 4, 7); },
         "the volume space size is 37 in the little-endian and 7 in the big-endian form"},
        {"both-endian extent disagrees", [](Image& i) { put_be32(i.root_record("G.BIN;1") + 2 + 4, 7); },
         "the extent is 34 in the little-endian and 7 in the big-endian form"},
        {"path table points elsewhere", [](Image& i) { put_le32(i.sector(20) + 10 + 2, 31); },
         "path table: record 2 (A): sector 31 holds no directory of the tree"},
        {"type M table differs", [](Image& i) { put_be16(i.sector(21) + 10 + 6, 2); },
         "type M path table: record 2 differs from that of the type L table"},
        {"path table parent wrong", [](Image& i) { i.sector(20)[10 + 10 + 6] = 1; },
         "is not the directory holding /A/B"},
        {"file over a directory", [](Image& i) { put_both32_at(i.root_record("G.BIN;1") + 2, 25); },
         "file /G.BIN;1 (sectors 25-26) overlaps directory /A (sectors 25-25)"},
        {"catalog checksum", [](Image& i) { i.sector(get_le32(i.sector(17) + 71))[4] ^= 1; },
         "the validation entry's checksum is wrong"},
        {"catalog past the end", [](Image& i) { put_le32(i.sector(17) + 71, 999999); },
         "boot catalog at sector 999999: sectors 999999-999999 run past the end of the file"},
        {"boot image past the end", [](Image& i) { put_le32(i.sector(get_le32(i.sector(17) + 71)) + 40, 500000); },
         "initial entry: boot image: sectors 500000-500000 run past the end of the file"},
        {"two records of one name",
         [](Image& i) { record_named(i.sector(get_le32(i.a_record("B") + 2)), "NAME_1.TXT;1")[33 + 5] = '2'; },
         "a second record named NAME_2.TXT;1 in the directory"},
        {"partial last sector", [](Image& i) { i.bytes.resize(i.bytes.size() - 100); },
         "the file ends in a partial sector of 1948 bytes"},
    };
    for (const Case& c : cases) {
        Image image{built.bytes};
        c.damage(image);
        const StructureReport report =
            check_image_bytes(reinterpret_cast<const uint8_t*>(image.bytes.data()), image.bytes.size());
        const std::string faults = joined(report.faults);
        EXPECT_NE(faults.find(c.fault), std::string::npos) << c.what << "\n" << faults;
    }
}

TEST(ImageReader, RockRidgeDamageGivesItsNamedFault)
{
    // The root's "." record: SP at 34, PX at 41, TF at 77, CE to the ER at
    // 103; its continuation area lies behind the ISO 9660 directories.
    TempTree tree;
    tree.file("d/f.txt", "f");
    Settings settings;
    BuildHow how;
    how.rock_ridge.enabled = true;
    const BuiltImage built = build_paths({tree.path("d")}, settings, tree.path("out.iso"), how);
    ASSERT_TRUE(built.outcome.clean());
    const StructureReport sound =
        check_image_bytes(reinterpret_cast<const uint8_t*>(built.bytes.data()), built.bytes.size());
    ASSERT_EQ(joined(sound.faults), "");
    EXPECT_NE(sound.summary.find("Rock Ridge (RRIP_1991A)"), std::string::npos) << sound.summary;
    struct Case {
        const char* what;
        uint32_t at;  // in the root's "." record
        std::function<void(uint8_t*)> damage;
        const char* fault;
    };
    const Case cases[] = {
        {"continuation past the file", 103 + 4, [](uint8_t* p) { put_both32_at(p, 900000); },
         "its continuation area: sectors 900000-900000 run past the end of the file"},
        {"continuation across a block", 103 + 12, [](uint8_t* p) { put_both32_at(p, 2000); },
         "does not lie within one block"},
        {"field longer than its area", 41 + 2, [](uint8_t* p) { *p = 200; }, "a System Use field of 200 bytes"},
        {"PX of a wrong length", 41 + 2, [](uint8_t* p) { *p = 30; }, "a PX field of 30 bytes"},
    };
    for (const Case& c : cases) {
        std::string bytes = built.bytes;
        uint8_t* root = reinterpret_cast<uint8_t*>(bytes.data()) +
                        size_t(get_le32(reinterpret_cast<const uint8_t*>(bytes.data()) + 16 * 2048 + 156 + 2)) * 2048;
        c.damage(root + c.at);
        const std::string faults =
            joined(check_image_bytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()).faults);
        EXPECT_NE(faults.find(c.fault), std::string::npos) << c.what << "\n" << faults;
    }
}

}  // namespace

namespace {

TEST(ReadBack, DifferencesFromTheSourcesAreNamedByPath)
{
    struct Case {
        const char* what;
        bool raw;
        std::function<void(const TempTree&, std::string& image)> change;  // after the build
        const char* difference;                                           // "" for none
    };
    const Case cases[] = {
        {"unchanged", false, [](const TempTree&, std::string&) {}, ""},
        {"unchanged raw", true, [](const TempTree&, std::string&) {}, ""},
        {"a source byte changed", false,
         [](const TempTree& t, std::string&) { t.file_of_size("src/d/big.bin", 300000, 9); },
         "/SRC/D/BIG.BIN;1: differs from"},
        {"a source byte changed, raw", true,
         [](const TempTree& t, std::string&) { t.file_of_size("src/d/big.bin", 300000, 9); },
         "/SRC/D/BIG.BIN;1: differs from"},
        {"a source grown", false, [](const TempTree& t, std::string&) { t.file("src/a.txt", "alpha!"); },
         "a.txt has grown beyond the 5 bytes in the image"},
        {"an empty source grown", false, [](const TempTree& t, std::string&) { t.file("src/empty", "x"); },
         "has grown beyond the 0 bytes"},
        {"a source gone", false, [](const TempTree& t, std::string&) { std::remove(t.path("src/a.txt").c_str()); },
         "cannot read"},
        {"the boot image changed", false, [](const TempTree& t, std::string&) { t.file_of_size("boot.img", 4000, 5); },
         "boot.img: differs from"},
        {"a raw sector between the files corrupted", true,
         [](const TempTree&, std::string& image) { image[size_t(20) * 2352 + 2064] ^= 1; }, "EDC: 1 (20)"},
        {"image data corrupted", false,
         [](const TempTree&, std::string& image) { image[image.size() - 2 * 2048] ^= 1; },
         "/SRC/D/BIG.BIN;1: differs from"},
        {"a record points elsewhere", false,
         [](const TempTree&, std::string& image) {
             uint8_t* root = reinterpret_cast<uint8_t*>(image.data()) +
                             size_t(get_le32(reinterpret_cast<uint8_t*>(image.data()) + 16 * 2048 + 156 + 2)) * 2048;
             uint8_t* src =
                 reinterpret_cast<uint8_t*>(image.data()) + size_t(get_le32(record_named(root, "SRC") + 2)) * 2048;
             put_both32_at(record_named(src, "A.TXT;1") + 10, 4);
         },
         "/SRC/A.TXT;1: 4 bytes, the build wrote 5"},
        // Each extent still holds some source's bytes: only the places tell.
        {"two files of one size swap their folders", false,
         [](const TempTree&, std::string& image) {
             uint8_t* bytes = reinterpret_cast<uint8_t*>(image.data());
             uint8_t* root = bytes + size_t(get_le32(bytes + 16 * 2048 + 156 + 2)) * 2048;
             uint8_t* src = bytes + size_t(get_le32(record_named(root, "SRC") + 2)) * 2048;
             uint8_t* d = bytes + size_t(get_le32(record_named(src, "D") + 2)) * 2048;
             const uint32_t a = get_le32(record_named(src, "A.TXT;1") + 2);
             put_both32_at(record_named(src, "A.TXT;1") + 2, get_le32(record_named(d, "B.TXT;1") + 2));
             put_both32_at(record_named(d, "B.TXT;1") + 2, a);
         },
         "/SRC/A.TXT;1: the record gives 5 bytes at sector"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempTree tree;
        tree.file("src/a.txt", "alpha");
        tree.file("src/empty", "");
        tree.file_of_size("src/d/big.bin", 300000, 3);
        tree.file("src/d/b.txt", "bravo");
        tree.file_of_size("boot.img", 4000, 4);
        Settings settings;
        set_check(settings.boot, boot_ids::enabled, true);
        set_text(settings.boot, boot_ids::image_path, tree.path("boot.img"));
        BuildHow how;
        how.raw = c.raw;
        how.keep_built_files = true;
        BuiltImage built = build_paths({tree.path("src")}, settings, tree.path("out.img"), how);
        ASSERT_TRUE(built.outcome.clean());
        ASSERT_EQ(built.outcome.files.size(), 5u);
        c.change(tree, built.bytes);
        tree.file("out.img", built.bytes);
        RawStreamCheck sectors;
        std::string differences =
            joined(compare_with_sources(tree.path("out.img").c_str(), built.outcome, c.raw ? &sectors : nullptr));
        if (c.raw) {
            // Every sector checked in the same pass.
            EXPECT_TRUE(sectors.complete);
            EXPECT_EQ(sectors.checker.summary.sectors * 2352, built.bytes.size());
            if (!sectors.checker.summary.clean())
                differences += raw_check_text(sectors.checker.summary);
        }
        if (!*c.difference)
            EXPECT_EQ(differences, "");
        else
            EXPECT_NE(differences.find(c.difference), std::string::npos) << differences;
    }
}

}  // namespace

#ifndef _WIN32
TEST(ReadBack, RawBuildVerifiesClean)
{
    TempTree tree;
    tree.file_of_size("src/a.bin", 100000, 1);
    std::string report;
    const std::string env = "SOURCE_DATE_EPOCH=1070971200 ";
    ASSERT_EQ(run_command(env + program_path() + " build --quiet --raw -o " + tree.path("probe.bin") + " " +
                          tree.path("src")),
              0);
    // The probe build is sound sector by sector before it is compared with
    // the build that checked itself.
    EXPECT_TRUE(check_raw_image_file(tree.path("probe.bin").c_str(), report)) << report;
    std::string out;
    EXPECT_EQ(run_command(env + program_path() + " build --quiet --raw --verify -o " + tree.path("out.bin") + " " +
                              tree.path("src") + " 2>&1",
                          &out),
              0)
        << out;
    EXPECT_EQ(read_whole_file(tree.path("out.bin")), read_whole_file(tree.path("probe.bin")));
}
#endif
