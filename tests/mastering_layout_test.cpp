#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "mastering/boot.h"
#include "mastering/descriptors.h"
#include "mastering/layout.h"
#include "platform/endian.h"
#include "settings/dialog_ids.h"
#include "settings/control_store.h"
#include "test_support.h"

namespace {

uint32_t both32(const uint8_t* p)
{
    uint32_t le = get_le32(p);
    EXPECT_EQ(le, get_be32(p + 4)) << "both-endian halves differ";
    return le;
}

struct RecordView {
    uint8_t length;
    uint32_t extent, size;
    uint8_t flags;
    std::string id;
};

// The records of one directory extent, in order.
std::vector<RecordView> records_of(const BuiltImage& image, uint32_t extent, uint32_t size)
{
    std::vector<RecordView> out;
    for (uint32_t s = 0; s < size / 2048; ++s) {
        const uint8_t* sector = image.sector(extent + s);
        uint32_t at = 0;
        while (at < 2048 && sector[at] != 0) {
            const uint8_t* r = sector + at;
            out.push_back({r[0], both32(r + 2), both32(r + 10), r[25], std::string((const char*)r + 33, r[32])});
            at += r[0];
        }
    }
    return out;
}

struct LayoutCase {
    const char* name;
    bool joliet;
    bool boot;
    bool with_file;
    uint32_t expected_sectors;  // of the output file, trailing zero sector included
    uint32_t file_extent;
};

TEST(Layout, WorkedExamplesLandOnTheirSectors)
{
    const LayoutCase cases[] = {
        {"empty list", false, false, false, 22, 0},
        {"one file", false, false, true, 23, 21},
        {"one file with Joliet", true, false, true, 27, 25},
        {"Joliet and a 1.44 MB boot image", true, true, true, 748 + 1, 747},
    };
    for (const LayoutCase& c : cases) {
        TempTree tree;
        tree.file_of_size("readme.txt", 1000);
        tree.file_of_size("floppy.img", 1474560, 7);
        Settings settings;
        set_check(settings.volume, volume_ids::joliet, c.joliet);
        if (c.boot) {
            set_check(settings.boot, boot_ids::enabled, true);
            set_text(settings.boot, boot_ids::image_path, tree.path("floppy.img"));
        }
        std::vector<std::string> paths;
        if (c.with_file)
            paths.push_back(tree.path("readme.txt"));
        BuiltImage image = build_paths(paths, settings, tree.path("out.iso"));
        ASSERT_TRUE(image.outcome.clean()) << c.name;
        EXPECT_EQ(image.sector_count(), c.expected_sectors) << c.name;
        const uint8_t* pvd = image.sector(16);
        EXPECT_EQ(both32(pvd + 80), c.expected_sectors - 1) << c.name;
        uint32_t first_path_table = 18 + (c.joliet ? 1 : 0) + (c.boot ? 1 : 0);
        EXPECT_EQ(get_le32(pvd + 140), first_path_table) << c.name;
        EXPECT_EQ(get_be32(pvd + 148), first_path_table + 1) << c.name;
        uint32_t root_extent = both32(pvd + 156 + 2);
        auto root = records_of(image, root_extent, both32(pvd + 156 + 10));
        ASSERT_EQ(root.size(), c.with_file ? 3u : 2u) << c.name;
        EXPECT_EQ(root[0].id, std::string(1, '\0'));
        EXPECT_EQ(root[1].id, std::string(1, '\1'));
        EXPECT_EQ(root[1].extent, root_extent) << "the root is its own parent";
        if (c.with_file) {
            EXPECT_EQ(root[2].id, "README.TXT;1");
            EXPECT_EQ(root[2].length, 46);
            EXPECT_EQ(root[2].extent, c.file_extent) << c.name;
            EXPECT_EQ(root[2].size, 1000u);
        }
        if (c.joliet) {
            EXPECT_EQ(image.sector(17)[0], c.boot ? 0 : 2);
            EXPECT_EQ(image.sector(c.boot ? 18 : 17)[0], 2);
        }
        if (c.boot) {
            const uint8_t* boot_record = image.sector(17);
            EXPECT_EQ(get_le32(boot_record + 71), 26u);
            const uint8_t* catalog = image.sector(26);
            EXPECT_EQ(get_le32(catalog + 40), 27u);
            const uint8_t entry[8] = {0x88, 0x02, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00};
            EXPECT_EQ(0, std::memcmp(catalog + 32, entry, 8));
            EXPECT_EQ(0, std::memcmp(image.sector(27), read_whole_file(tree.path("floppy.img")).data(), 1474560));
        }
        // The trailing sector is zero.
        const uint8_t* last = image.sector(image.sector_count() - 1);
        EXPECT_EQ(std::string((const char*)last, 2048), std::string(2048, '\0')) << c.name;
    }
}

// The areas a build's options ask for, in file order: the one list that both
// the layout and the writing walk.
TEST(Layout, AreasFollowTheOptionsInFileOrder)
{
    using A = ImageArea;
    struct Case {
        const char* name;
        LayoutOptions options;
        std::vector<A> expected;
    };
    const Case cases[] = {
        {"plain",
         {},
         {A::system_area, A::primary_descriptor, A::terminator, A::primary_path_tables, A::primary_directories,
          A::file_data, A::trailing_sector}},
        {"Joliet and BIOS boot",
         {true, true, 1, false, 0, false},
         {A::system_area, A::primary_descriptor, A::boot_record, A::supplementary_descriptor, A::terminator,
          A::primary_path_tables, A::joliet_path_tables, A::primary_directories, A::joliet_directories, A::boot_catalog,
          A::boot_image, A::file_data, A::trailing_sector}},
        {"UEFI alone, hybrid",
         {false, false, 0, true, 1, true},
         {A::system_area, A::primary_descriptor, A::boot_record, A::terminator, A::primary_path_tables,
          A::primary_directories, A::boot_catalog, A::efi_image, A::file_data, A::trailing_sector, A::hybrid_padding}},
    };
    for (const Case& c : cases) {
        const ImageAreas areas = image_areas(c.options);
        EXPECT_EQ(std::vector<A>(areas.begin(), areas.end()), c.expected) << c.name;
    }
}

TEST(Layout, DirectoriesGrowByWholeSectorsWhenARecordWouldCross)
{
    // Files named f00000.;1 .. give records of 33 + 9 = 42 -> 42 bytes each
    // (identifier "F00000.;1" is 9 bytes: 33 + 9 = 42, even).
    // 68 + 47 * 42 = 2042 fits; the 48th record starts the second sector.
    struct Case {
        int files;
        uint32_t expected_size;
    };
    const Case cases[] = {{47, 2048}, {48, 4096}, {95, 4096}, {96, 6144}};
    for (const Case& c : cases) {
        TempTree tree;
        for (int i = 0; i < c.files; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "d/f%05d", i);
            tree.file(name, "x");
        }
        Settings settings;
        set_check(settings.volume, volume_ids::joliet, false);
        BuiltImage image = build_paths({tree.path("d")}, settings, tree.path("out.iso"));
        ASSERT_TRUE(image.outcome.clean());
        const uint8_t* pvd = image.sector(16);
        auto root = records_of(image, both32(pvd + 158), both32(pvd + 166));
        ASSERT_EQ(root.size(), 3u);
        EXPECT_EQ(root[2].size, c.expected_size) << c.files;
        auto d = records_of(image, root[2].extent, root[2].size);
        EXPECT_EQ(d.size(), size_t(c.files) + 2) << c.files;
    }
}

TEST(Layout, ExactlyFullSectorStaysOneSector)
{
    // 68 + records summing to 1980: 45 records of 44 bytes (identifier of 11
    // bytes "FILE0000.;1"... is 11 bytes? "F0000000.;1" is 11) = 1980.
    TempTree tree;
    for (int i = 0; i < 45; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "d/f%07d", i);
        tree.file(name, "");
    }
    Settings settings;
    set_check(settings.volume, volume_ids::joliet, false);
    BuiltImage image = build_paths({tree.path("d")}, settings, tree.path("out.iso"));
    const uint8_t* pvd = image.sector(16);
    auto root = records_of(image, both32(pvd + 158), both32(pvd + 166));
    ASSERT_EQ(root.size(), 3u);
    EXPECT_EQ(root[2].size, 2048u);
    auto d = records_of(image, root[2].extent, root[2].size);
    ASSERT_EQ(d.size(), 47u);
    EXPECT_EQ(d[2].length, 44);
    // Empty files share the extent of the next file (all at the end here).
    EXPECT_EQ(d[2].extent, d[46].extent);
}

TEST(Layout, PathTablesRunAcrossSectorBoundaries)
{
    // 300 folders of 8-byte names: 10 + 300 * 16 = 4810 bytes, three sectors each.
    TempTree tree;
    for (int i = 0; i < 300; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "top/D%07d", i);
        tree.folder(name);
    }
    Settings settings;
    BuiltImage image = build_paths({tree.path("top")}, settings, tree.path("out.iso"));
    ASSERT_TRUE(image.outcome.clean());
    const uint8_t* pvd = image.sector(16);
    uint32_t size = both32(pvd + 132);
    EXPECT_EQ(size, 10u + 12u + 300u * 16u);
    uint32_t l = get_le32(pvd + 140), m = get_be32(pvd + 148);
    EXPECT_EQ(m, l + 3);
    std::string type_l(reinterpret_cast<const char*>(image.sector(l)), 3 * 2048);
    std::string type_m(reinterpret_cast<const char*>(image.sector(m)), 3 * 2048);
    EXPECT_EQ(type_l.substr(size), std::string(3 * 2048 - size, '\0'));
    // Walk both tables record by record: same records, numbers byte-reversed.
    uint32_t at = 0;
    int number = 0;
    while (at < size) {
        const uint8_t* a = reinterpret_cast<const uint8_t*>(type_l.data()) + at;
        const uint8_t* b = reinterpret_cast<const uint8_t*>(type_m.data()) + at;
        ++number;
        EXPECT_EQ(a[0], b[0]);
        EXPECT_EQ(get_le32(a + 2), get_be32(b + 2));
        EXPECT_EQ(get_le16(a + 6), uint16_t(b[6] << 8 | b[7]));
        EXPECT_EQ(0, std::memcmp(a + 8, b + 8, a[0]));
        if (number == 1)
            EXPECT_EQ(get_le16(a + 6), 1);  // the root is its own parent
        else if (number == 2)
            EXPECT_EQ(get_le16(a + 6), 1);  // TOP under the root
        else
            EXPECT_EQ(get_le16(a + 6), 2);  // the folders under TOP
        at += (8u + a[0] + 1u) & ~1u;
    }
    EXPECT_EQ(number, 302);
}

TEST(Layout, HiddenFolderFlagsShowInEveryRecordOfIt)
{
    TempTree tree;
    tree.file(".hidden/sub/x.txt", "data");
    Settings settings;
    set_check(settings.volume, volume_ids::joliet, false);
    BuiltImage image = build_paths({tree.path(".hidden")}, settings, tree.path("out.iso"));
    const uint8_t* pvd = image.sector(16);
    auto root = records_of(image, both32(pvd + 158), both32(pvd + 166));
    ASSERT_EQ(root.size(), 3u);
    EXPECT_EQ(root[2].flags, 0x03);
    auto hidden = records_of(image, root[2].extent, root[2].size);
    EXPECT_EQ(hidden[0].flags, 0x03);
    ASSERT_EQ(hidden.size(), 3u);
    EXPECT_EQ(hidden[2].flags, 0x02) << "a plain subfolder";
    auto sub = records_of(image, hidden[2].extent, hidden[2].size);
    EXPECT_EQ(sub[1].flags, 0x03) << "the '..' record of the subfolder";
    EXPECT_EQ(sub[2].flags, 0x00);
}

TEST(Layout, BootCatalogChecksumZeroesTheValidationEntry)
{
    const char* ids[] = {"", "TarnwickISO test", "abcdefghijklmnopqrstuvwxyz0123"};
    for (int platform_id = 0; platform_id < 3; ++platform_id)
        for (const char* id : ids) {
            uint8_t catalog[2048] = {};
            catalog[0] = 1;
            catalog[1] = uint8_t(platform_id);
            std::memcpy(catalog + 4, id, std::min<size_t>(24, std::strlen(id)));
            catalog[30] = 0x55;
            catalog[31] = 0xAA;
            put_le16(catalog + 28, boot_catalog_checksum(catalog));
            uint32_t sum = 0;
            for (int i = 0; i < 32; i += 2)
                sum += get_le16(catalog + i);
            EXPECT_EQ(sum & 0xFFFF, 0u);
            if (platform_id == 0 && !*id) {
                EXPECT_EQ(get_le16(catalog + 28), 0x55AA);
            }
        }
}

TEST(Layout, MissingBootImagePointsAtTheFileArea)
{
    TempTree tree;
    tree.file("a.txt", "abc");
    Settings settings;
    set_check(settings.volume, volume_ids::joliet, false);
    set_check(settings.boot, boot_ids::enabled, true);
    set_text(settings.boot, boot_ids::image_path, tree.path("missing.img"));
    BuiltImage image = build_paths({tree.path("a.txt")}, settings, tree.path("out.iso"));
    ASSERT_TRUE(image.outcome.clean());
    // 16 primary, 17 boot record, 18 terminator, 19/20 path tables, 21 root, 22 catalog, 23 file.
    EXPECT_EQ(get_le32(image.sector(17) + 71), 22u);
    EXPECT_EQ(get_le32(image.sector(22) + 40), 23u);
    EXPECT_EQ(image.sector_count(), 25u);
}

TEST(Layout, RawOutputWrapsEverySector)
{
    TempTree tree;
    tree.file_of_size("data.bin", 5000);
    Settings settings;
    BuiltImage plain = build_paths({tree.path("data.bin")}, settings, tree.path("plain.iso"));
    Settings settings2;
    BuiltImage raw = build_paths({tree.path("data.bin")}, settings2, tree.path("raw.bin"), true);
    ASSERT_TRUE(raw.outcome.clean());
    uint32_t sectors = plain.sector_count();
    ASSERT_EQ(raw.bytes.size(), size_t(sectors) * 2352);
    for (uint32_t s = 0; s < sectors; ++s) {
        const uint8_t* r = reinterpret_cast<const uint8_t*>(raw.bytes.data()) + s * 2352;
        ASSERT_EQ(0, std::memcmp(r + 16, plain.sector(s), 2048)) << s;
        EXPECT_EQ(r[15], 1);
    }
    const uint8_t* first = reinterpret_cast<const uint8_t*>(raw.bytes.data());
    EXPECT_EQ(first[12], 0x00);
    EXPECT_EQ(first[13], 0x02);
    EXPECT_EQ(first[14], 0x00);
}

}  // namespace
