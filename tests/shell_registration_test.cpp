#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "cli/line_list.h"
#include "mastering/identifiers.h"
#include "platform/platform.h"
#include "shell/registration.h"
#include "test_support.h"

namespace {

TEST(Registration, MeasuresEntriesAndRoughSectors)
{
    struct Case {
        const char* name;
        std::function<void(const TempTree&)> make;
        const char* registered;
        int32_t entries, sectors;
    };
    const Case cases[] = {
        {"empty file", [](const TempTree& t) { t.file("f", ""); }, "f", 1, 0},
        {"one byte", [](const TempTree& t) { t.file("f", "x"); }, "f", 1, 1},
        {"2048 bytes", [](const TempTree& t) { t.file_of_size("f", 2048); }, "f", 1, 1},
        {"2049 bytes", [](const TempTree& t) { t.file_of_size("f", 2049); }, "f", 1, 2},
        {"empty folder", [](const TempTree& t) { t.folder("d"); }, "d", 1, 2},
        {"folder in folder with a byte", [](const TempTree& t) { t.file("d/e/f", "x"); }, "d", 3, 5},
        {"5000-byte file in a folder", [](const TempTree& t) { t.file_of_size("d/f", 5000); }, "d", 2, 5},
        {"dot names left out",
         [](const TempTree& t) {
             t.file("d/.git/objects/x", std::string(9000, 'x'));
             t.file(".profile", "");
             t.file("d/a", "a");
         },
         "d", 2, 3},
        {"registered dot name counts", [](const TempTree& t) { t.file(".profile", "abc"); }, ".profile", 1, 1},
        {"missing path", [](const TempTree&) {}, "missing", 1, 0},
    };
    for (const Case& c : cases) {
        TempTree tree;
        c.make(tree);
        Measurement m = measure_path(tree.path(c.registered).c_str());
        EXPECT_FALSE(m.refused) << c.name;
        EXPECT_EQ(m.entries, c.entries) << c.name;
        EXPECT_EQ(m.sectors, c.sectors) << c.name;
    }
}

TEST(Registration, LinesCarryFourColumnsThatReadBack)
{
    TempTree tree;
    tree.file_of_size("Disc One/track.bin", 5000);
    char line[line_capacity];
    Measurement m;
    ASSERT_TRUE(add_registration(tree.path("Disc One").c_str(), line, m));
    std::string expected = "Disc One\t    2\t    5\t    " + tree.path("Disc One");
    EXPECT_EQ(std::string(line), expected);
    EXPECT_EQ(line_entry_count(line), 2);
    EXPECT_EQ(line_sectors(line), 5);
    EXPECT_EQ(std::string(line_path(line)), tree.path("Disc One"));
}

TEST(Registration, ColumnReadersStayInsideMalformedLines)
{
    struct Case {
        const char* line;
        int32_t entries, sectors;
        const char* path;
    };
    const Case cases[] = {
        {"", 0, 0, ""},
        {"name", 0, 0, ""},
        {"name\t", 0, 0, ""},
        {"name\t  ", 0, 0, ""},
        {"name\t    12", 12, 0, "12"},
        {"name\t    12\t    -3\t    /p", 12, -3, "/p"},
        {"name\t    \t    7\t    /q", 0, 7, "/q"},
        {"a\t    1\t    2\t    /with\ttab", 1, 2, "ab"},
#ifndef _WIN32
        // Names with TABs, even ones that look like columns, in whole lines.
        {"a\tb\t    3\t    4\t    /d/a\tb", 3, 4, "/d/a\tb"},
        {"x\t    9\t    1\t    y\t    5\t    6\t    /d/x\t    9\t    1\t    y", 5, 6, "/d/x\t    9\t    1\t    y"},
#endif
    };
    for (const Case& c : cases) {
        EXPECT_EQ(line_entry_count(c.line), c.entries) << c.line;
        EXPECT_EQ(line_sectors(c.line), c.sectors) << c.line;
        if (std::strcmp(c.path, "ab") != 0) {
            EXPECT_STREQ(line_path(c.line), c.path) << c.line;
        }
    }
}

TEST(Registration, OverlongLineIsRefusedNotCut)
{
    TempTree tree;
    std::string name(240, 'n');
    tree.file(name, "x");
    // Display name and path together exceed 511 characters.
    std::string path = tree.path(name);
    char line[line_capacity];
    Measurement m;
    ASSERT_GT(name.size() + path.size() + 17, 511u);
    EXPECT_FALSE(add_registration(path.c_str(), line, m));
    EXPECT_EQ(m.problem, ProblemKind::line_too_long);
    EXPECT_EQ(line[0], 0);
}

TEST(Registration, EstimateAddsColumnThreeToTheBase)
{
    TempTree tree;
    tree.file_of_size("a.bin", 5000);
    tree.file_of_size("b/c.bin", 5000);
    LineList list;
    EXPECT_EQ(estimate_sectors(line_source_of(list)), 746);
    ASSERT_TRUE(register_path(list, tree.path("a.bin").c_str()));
    EXPECT_EQ(estimate_sectors(line_source_of(list)), 749);
    ASSERT_TRUE(register_path(list, tree.path("b").c_str()));
    ASSERT_TRUE(register_path(list, tree.path("a.bin").c_str()));
    EXPECT_EQ(estimate_sectors(line_source_of(list)), 746 + 3 + 5 + 3);
    ASSERT_EQ(list.lines.size(), 3u);
    EXPECT_EQ(list.lines[0].rfind("a.bin", 0), 0u);
    EXPECT_EQ(list.lines[2].rfind("b\t", 0), 0u);
}

TEST(Registration, ListSortsLikeTheWindowsListBox)
{
    LineList list;
    for (const char* line : {"beta\t    1", "Alpha\t    1", "alpha\t    2", "BETA\t    0", "gamma\t    1"})
        insert_sorted(list, line);
    const char* expected[] = {"Alpha\t    1", "alpha\t    2", "BETA\t    0", "beta\t    1", "gamma\t    1"};
    ASSERT_EQ(list.lines.size(), 5u);
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(list.lines[i], expected[i]);
}

TEST(Registration, DisplayNameIsTheLastPathPart)
{
    std::string path = std::string(1, platform::path_separator) + "a" + platform::path_separator + "name.txt";
    EXPECT_STREQ(leaf_name(path.c_str()), "name.txt");
    EXPECT_STREQ(leaf_name("plain"), "plain");
}

// Both front ends register a root's items through this one rule: a dot-name
// at the top is an item of its own; only "." and ".." are not items.
TEST(Registration, RootItemsAreEveryNameButDotAndDotDot)
{
    TempTree tree;
    tree.file(".profile", "x");
    tree.folder("b");
    std::vector<std::string> items;
    ASSERT_TRUE(list_root_items((tree.root + platform::path_separator).c_str(), items));
    std::sort(items.begin(), items.end());
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0], tree.path(".profile"));
    EXPECT_EQ(items[1], tree.path("b"));
}

}  // namespace
