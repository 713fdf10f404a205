// The command line refuses what makes no sense, names what it refuses and
// leaves the output alone; what it takes never puts an out-of-range byte into
// the image.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "mastering/descriptors.h"
#include "test_support.h"

namespace {

#ifndef _WIN32
std::string with_root(std::string text, const std::string& root)
{
    for (size_t at = text.find("{T}"); at != std::string::npos; at = text.find("{T}", at + root.size()))
        text.replace(at, 3, root);
    return text;
}

TEST(HostileInput, RefusedBeforeAnyOutputWithTheItemNamed)
{
    struct Case {
        const char* environment;
        const char* arguments;  // {T} is the tree's root; "out.iso" the output
        int status;
        const char* says;
    };
    const std::string long_name(600, 'b');
    const Case cases[] = {
        {"", "build -o out.iso --boot {T}/missing.img src", 1, "boot image not found: "},
        {"", "build -o out.iso --boot {T}/src src", 1, "boot image is a folder"},
        {"", "build -o out.iso --boot {T}/empty.img src", 1, "boot image is empty"},
        {"", "build -o out.iso --boot {T}/LONG src", 1, "boot image path longer than 511 bytes"},
        {"", "build -o out.iso --boot-platform mac src", 2, "--boot-platform has no effect without --boot"},
        {"", "build -o out.iso --efi-boot {T}/missing.img src", 1, "EFI boot image not found: "},
        {"", "build -o out.iso --efi-boot {T}/src src", 1, "EFI boot image is a folder"},
        {"", "build -o out.iso --efi-boot {T}/empty.img src", 1, "EFI boot image is empty"},
        {"", "build -o out.iso --efi-boot {T}/boot.img src", 1, "no FAT file system image (no boot sector signature"},
        {"truncate -s 4G huge.img && ", "build -o out.iso --efi-boot huge.img src", 1, "4 GiB or larger"},
        {"", "estimate --efi-boot {T}/boot.img src", 1, "no FAT file system image"},
        {"", "build -o out.iso --hybrid --mbr-code {T}/boot.img src", 1, "MBR code is 2048 bytes, over the 432"},
        {"", "build -o out.iso --mbr-code {T}/boot.img src", 2, "--mbr-code has no effect without --hybrid"},
        {"", "build -o out.iso --hybrid --raw --mbr-code {T}/boot.img src", 2, "2352-byte --raw sectors"},
        {"", "build -o out.iso --hybrid src", 2, "--hybrid needs --efi-boot FILE or --mbr-code FILE"},
        {"", "build -o out.iso --boot {T}/boot.img --load-segment 0x7C0 src", 2, "--load-segment '0x7C0'"},
        {"SOURCE_DATE_EPOCH=12abc", "build -o out.iso src", 2, "SOURCE_DATE_EPOCH is not a number"},
        {"SOURCE_DATE_EPOCH=5869584000", "build -o out.iso src", 2, "SOURCE_DATE_EPOCH 5869584000 lies beyond"},
        {"", "build -o out.iso --creation-date 2003-12-09 src", 2, "--creation-date '2003-12-09'"},
        {"", "build -o out.iso --modification-date 2003130908050345 src", 2, "--modification-date"},
        {"", "build -o out.iso --effective-date 2003120908050345,53 src", 2, "zone is outside -48 to 52"},
        {"", "build -o out.iso --expiration-date 2003120908050345,9x src", 2, "--expiration-date"},
        {"", "build -o out.iso --record-date 2156010100000000,0 src", 2, "--record-date"},
        {"", "build -o out.iso --frobnicate src", 2, "unknown option --frobnicate"},
        {"", "build -o out.iso --volume-id A --volume-id B src", 2, "--volume-id given twice"},
        {"", "build -o out.iso --root-date 2003120908050345,0 --record-date 2004120908050345,0 src", 2,
         "--root-date and --record-date"},
        {"", "build -o out.iso --no-joliet --joliet-volume-id B src", 2, "--joliet-volume-id has no effect"},
        {"", "build -o out.iso -- --raw", 1, "--raw"},
        {"", "estimate --frobnicate src", 2, "unknown option --frobnicate"},
        {"", "convert --frobnicate src/a.txt", 2, "unknown option --frobnicate"},
        {"", "convert -- -out.iso", 1, "-out.iso"},
        {"", "build -o out.iso --boot {T}/boot.img src", 1,
         "boot image is 2048 bytes, not the 1474560 bytes of the 1.44 MB diskette"},
        {"truncate -s 1474560 f.img && ", "build -o out.iso --boot f.img --boot-media 2.88 src", 1,
         "boot image is 1474560 bytes, not the 2949120 bytes of the 2.88 MB diskette"},
        {"", "build -o out.iso --boot /dev/zero src", 1, "boot image is not a regular file"},
        {"", "build -o out.iso --efi-boot /dev/zero src", 1, "EFI boot image is not a regular file"},
        {"", "build -o out.iso --hybrid --mbr-code /dev/zero src", 1, "MBR code is not a regular file"},
        {"", "repair {T}/boot.img -o out.iso --output={T}/other.bin", 2, "--output given twice with different"},
        {"", "disk-image {T}/boot.img --output=out.iso -o {T}/other.bin", 2, "--output given twice with different"},
        {"", "build -o out.iso ''", 2, "an empty PATH names nothing"},
        {"", "estimate src ''", 2, "an empty PATH names nothing"},
        // sysfs reports 4096 bytes and gives fewer: no system call failed.
        {"", "verify /sys/devices/system/cpu/online", 1, "of 4096 bytes: the file ended early"},
        {"", "build -o out.iso --help src", 0, "usage: tarnwickiso"},
        {"", "build --exact -o out.iso src", 2, "--exact is an option of estimate"},
        {"printf 'ok=src\\n\\n../bad=src\\n' > list && ", "build -o out.iso --graft-points --path-list list", 2,
         "--path-list list line 3: graft point ../bad=src: a TARGET stays inside the image"},
        {"head -c 40 boot.img > short.img && ",
         "build -o out.iso --boot {T}/short.img --boot-media custom "
         "--boot-info-table src",
         1, "has 40 bytes, too few for the boot information table"},
        {"", "build -o out.iso --boot {T}/boot.img --boot-info-table src", 2,
         "--boot-info-table goes into a no-emulation boot image"},
        {"", "build -o out.iso --boot {T}/boot.img --boot-path src/a.txt src", 2, "both name the boot image"},
        {"", "build -o out.iso --boot-path /src//none --boot-media custom src", 1,
         "--boot-path /src//none: no such file in the image"},
        {"", "build -o out.iso --boot-path src --boot-media custom src", 1, "not a regular file in the image"},
        {"printf 'isolinux.bin missing or corrupt.' > iso.bin && ",
         "build -o out.iso --boot {T}/boot.img --boot-media custom --hybrid --mbr-code {T}/iso.bin src", 1,
         "isohybrid code, which loads the BIOS boot image from the address it finds at bytes 432-439: it needs "
         "--boot-info-table"},
        {"printf 'isolinux.bin missing or corrupt.' > iso.bin && ",
         "build -o out.iso --boot {T}/boot.img --boot-media custom --boot-info-table --hybrid --mbr-code "
         "{T}/iso.bin src",
         1, "hybrid signature (0x7078C0FB at byte 64)"},
        {"printf 'isolinux.bin missing or corrupt.' > iso.bin && cp boot.img src && ",
         "build -o out.iso --boot-path src/boot.img --boot-media custom --boot-info-table --hybrid --mbr-code "
         "{T}/iso.bin src",
         1, "no ISOLINUX hybrid signature (0x7078C0FB at byte 64)"},
        {"ln -s $(printf 'x%.0s' $(seq 1100)) src/l && ", "build -R -o out.iso src", 1,
         "src/l names a target of 1100 bytes, more than the 1023 readers take"},
        // Sparse: the layout refuses before a byte is written.
        {"truncate -s 5T src/b1 && truncate -s 5T src/b2 && ", "build -o out.iso src", 1,
         "sectors, more than the 4294967295 a volume can number"},
        {"", "convert --help out.iso", 0, "usage: tarnwickiso"},
    };
    for (const Case& c : cases) {
        TempTree tree;
        tree.file("src/a.txt", "a");
        tree.file("empty.img", "");
        tree.file("boot.img", std::string(2048, 'B'));
        std::string arguments = with_root(c.arguments, tree.root);
        size_t at = arguments.find("LONG");
        if (at != std::string::npos)
            arguments.replace(at, 4, long_name);
        std::string out;
        int status = run_command(
            "cd " + tree.root + " && " + c.environment + " " + program_path() + " " + arguments + " 2>&1", &out);
        EXPECT_EQ(status, c.status) << arguments << '\n' << out;
        EXPECT_NE(out.find(c.says), std::string::npos) << arguments << '\n' << out;
        EXPECT_FALSE(std::filesystem::exists(tree.path("out.iso"))) << arguments;
    }
}

// What is taken: a Joliet identifier stands over the one for both descriptors
// whatever the order, and a machine zone of UTC+14 is written as zone 52.
TEST(HostileInput, TakenValuesStayInRangeAndDoNotUndoOneAnother)
{
    TempTree tree;
    tree.file("src/a.txt", "a");
    ASSERT_EQ(run_command("TZ=Pacific/Kiritimati " + program_path() + " build --quiet -o " + tree.path("out.iso") +
                          " --joliet-volume-id B --volume-id A " + tree.path("src")),
              0);
    std::string image = read_whole_file(tree.path("out.iso"));
    ASSERT_GT(image.size(), 18u * 2048);
    const char* primary = image.data() + 16 * 2048;
    const char* joliet = image.data() + 17 * 2048;
    EXPECT_EQ(primary[descriptor_offset::volume_id], 'A');
    EXPECT_EQ(std::string(joliet + descriptor_offset::volume_id, 2), std::string("\0B", 2));
    EXPECT_EQ(primary[descriptor_offset::creation_date + 16], 52);
    EXPECT_EQ(primary[descriptor_offset::modification_date + 16], 52);
}

// An identifier longer than its field is cut at a character boundary, never
// inside a UTF-8 sequence or a surrogate pair, and the cut is said.
TEST(HostileInput, LongIdentifiersAreCutWholeAndSaid)
{
    TempTree tree;
    tree.file("src/a.txt", "a");
    std::string a_e;  // "a\u00E9" eleven times: 33 bytes, 22 characters
    for (int i = 0; i < 11; ++i)
        a_e += "a\xC3\xA9";
    const std::string x17(17, 'x');
    std::string out;
    ASSERT_EQ(
        run_command(program_path() + " build --quiet -o " + tree.path("out.iso") + " --volume-id '" + a_e +
                        "' --copyright-file-id '" + x17 + "\xE4\xB8\xAD\xE4\xB8\xAD' --joliet-abstract-file-id '" +
                        x17 + "\xF0\x9F\x98\x80' " + tree.path("src") + " 2>&1",
                    &out),
        0)
        << out;
    std::string image = read_whole_file(tree.path("out.iso"));
    ASSERT_GT(image.size(), 18u * 2048);
    const std::string primary = image.substr(16 * 2048, 2048);
    const std::string joliet = image.substr(17 * 2048, 2048);
    auto units = [](const std::string& ascii) {
        std::string be;
        for (char c : ascii)
            be += std::string(1, '\0') + c;
        return be;
    };
    struct Field {
        const std::string& descriptor;
        int offset, width;
        std::string bytes;
        std::string said;
    };
    const Field fields[] = {
        {primary, descriptor_offset::volume_id, 32, a_e.substr(0, 31) + " ",
         "--volume-id is longer than the primary descriptor's field of 32 bytes: kept '" + a_e.substr(0, 31) + "'"},
        {joliet, descriptor_offset::volume_id, 32,
         [&] {
             std::string be;
             for (int i = 0; i < 8; ++i)
                 be += std::string("\0a\0\xE9", 4);
             return be;
         }(),
         "--volume-id is longer than the Joliet descriptor's field of 16 UCS-2 characters"},
        {joliet, descriptor_offset::copyright_file_id, 37, units(x17) + "\x4E\x2D" + std::string(1, '\0'),
         "--copyright-file-id is longer than the Joliet descriptor's field of 18 UCS-2 characters: kept '" + x17 +
             "\xE4\xB8\xAD'"},
        {joliet, descriptor_offset::abstract_file_id, 37, units(x17 + " ") + std::string(1, '\0'),
         "--joliet-abstract-file-id is longer than the Joliet descriptor's field of 18 UCS-2 characters: kept '" + x17 +
             "'"},
    };
    for (const Field& f : fields) {
        EXPECT_EQ(f.descriptor.substr(size_t(f.offset), size_t(f.width)), f.bytes) << f.said;
        EXPECT_NE(out.find("note: " + f.said), std::string::npos) << f.said << '\n' << out;
    }
    // What fits is not mentioned.
    EXPECT_EQ(out.find("--copyright-file-id is longer than the primary"), std::string::npos) << out;
}
#endif

}  // namespace
