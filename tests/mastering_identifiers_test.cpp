#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "mastering/entries.h"
#include "mastering/identifiers.h"
#include "mastering/text.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

// A path written with '/' in the platform's own separators.
std::string native(std::string path)
{
    for (char& c : path)
        if (c == '/')
            c = platform::path_separator;
    return path;
}

std::string iso(const uint8_t* id, int length)
{
    return std::string(reinterpret_cast<const char*>(id), size_t(length));
}

// Joliet identifier bytes to an ASCII string (non-ASCII units as '?').
std::string joliet_ascii(const uint8_t* id, int length)
{
    std::string out;
    for (int i = 0; i + 1 < length; i += 2)
        out.push_back(id[i] == 0 && id[i + 1] < 0x80 ? char(id[i + 1]) : '?');
    return out;
}

struct IdCase {
    const char* leaf;
    bool directory;
    const char* expected;
};

TEST(Identifiers, IsoNamesFollowTheShortForm)
{
    const IdCase cases[] = {
        {"readme.txt", false, "README.TXT;1"},
        {"Makefile", false, "MAKEFILE.;1"},
        {"archive.tar.gz", false, "ARCHIV~1.GZ;1"},
        {"my file.html", false, "MY_FILE.HTM;1"},
        {"a.b.c", false, "A_B.C;1"},
        {"abcdefgh.txt", false, "ABCDEFGH.TXT;1"},
        {"abcdefghi.txt", false, "ABCDEF~1.TXT;1"},
        {".profile", false, ".PRO;1"},
        {"x.", false, "X.;1"},
        {"Program Files", true, "PROGRA~1"},
        {"my.dir", true, "MY_DIR"},
        {"DOC-A", true, "DOC-A"},
        {"abcdefgh", true, "ABCDEFGH"},
        {"a b.c d", true, "A_B_C_D"},
    };
    for (const IdCase& c : cases) {
        uint8_t id[256] = {};
        int n = c.directory ? make_directory_identifier(id, c.leaf) : make_file_identifier(id, c.leaf);
        EXPECT_EQ(iso(id, n), c.expected) << c.leaf;
        EXPECT_EQ(id[n], 0) << c.leaf;
    }
    // --relaxed-names: a directory in a file's 8.3 form with its dot.
    const IdCase relaxed[] = {
        {"install.amd", true, "INSTALL.AMD"},
        {"isolinux", true, "ISOLINUX"},
        {"a.b.c", true, "A_B.C"},
        {"longdirectory.name", true, "LONGDI~1.NAM"},
        {"x.", true, "X"},
    };
    for (const IdCase& c : relaxed) {
        uint8_t id[256] = {};
        int n = make_relaxed_directory_identifier(id, c.leaf);
        EXPECT_EQ(iso(id, n), c.expected) << c.leaf;
        EXPECT_EQ(id[n], 0) << c.leaf;
    }
}

TEST(Identifiers, JolietNamesKeepCaseAndCutAtTheLimits)
{
    struct LengthCase {
        size_t units;
        bool directory;
        int expected_bytes;
        const char* expected_tail;
    };
    const LengthCase cases[] = {
        {62, false, 128, "xx;1"}, {63, false, 128, "~1;1"}, {100, false, 128, "~1;1"},
        {64, true, 128, "xxxx"},  {65, true, 128, "xx~1"},  {1, false, 6, "x;1"},
    };
    for (const LengthCase& c : cases) {
        std::string name(c.units, 'x');
        uint8_t id[256] = {};
        int n = c.directory ? make_joliet_directory_identifier(id, name.c_str())
                            : make_joliet_file_identifier(id, name.c_str());
        EXPECT_EQ(n, c.expected_bytes) << c.units;
        std::string text = joliet_ascii(id, n);
        EXPECT_EQ(text.substr(text.size() - std::strlen(c.expected_tail)), c.expected_tail) << c.units;
        EXPECT_EQ(id[n], 0);
        EXPECT_EQ(id[n + 1], 0);
    }
    uint8_t id[256] = {};
    int n = make_joliet_file_identifier(id, "ReadMe.txt");
    EXPECT_EQ(joliet_ascii(id, n), "ReadMe.txt;1");
}

TEST(Identifiers, CountersFollowTheDigitSequence)
{
    struct BumpCase {
        const char* before;
        bool directory;
        int times;
        const char* after;
    };
    const BumpCase cases[] = {
        {"PROGRA~1", true, 1, "PROGRA~2"},
        {"PROGRA~1", true, 8, "PROGRA~9"},
        {"PROGRA~1", true, 9, "PROGRA~A"},
        {"PROGRA~1", true, 34, "PROGRA~Z"},
        {"PROGRA~1", true, 35, "PROGRA11"},
        {"README.TXT;1", false, 1, "READMF.TXT;1"},
        {"A0.;1", false, 1, "A1.;1"},
        {"Z", true, 1, "1"},
        {"ZZ", true, 1, "11"},
        {"AZ.;1", false, 1, "B1.;1"},
    };
    for (const BumpCase& c : cases) {
        uint8_t id[256] = {};
        std::memcpy(id, c.before, std::strlen(c.before));
        int length = int(std::strlen(c.before));
        uint8_t guard_before = 0x77;
        uint8_t buffer[258];
        buffer[0] = guard_before;
        std::memcpy(buffer + 1, id, 256);
        for (int i = 0; i < c.times; ++i)
            EXPECT_TRUE(c.directory ? bump_directory_identifier(buffer + 1, length)
                                    : bump_file_identifier(buffer + 1, length))
                << c.before;
        EXPECT_EQ(iso(buffer + 1, length), c.after) << c.before;
        EXPECT_EQ(buffer[0], guard_before) << "wrote before the identifier: " << c.before;
    }
}

TEST(Identifiers, JolietCountersTreatWideAndLowercaseUnitsAsOther)
{
    uint8_t id[256] = {};
    int n = make_joliet_file_identifier(id, "readme.txt");
    EXPECT_TRUE(bump_joliet_file_identifier(id, n));
    EXPECT_EQ(joliet_ascii(id, n), "readme.tx1;1");
    EXPECT_TRUE(bump_joliet_file_identifier(id, n));
    EXPECT_EQ(joliet_ascii(id, n), "readme.tx2;1");

    n = make_joliet_directory_identifier(id, "Program Files");
    EXPECT_TRUE(bump_joliet_directory_identifier(id, n));
    EXPECT_EQ(joliet_ascii(id, n), "Program File1");

    // A unit with a non-zero high byte becomes '1'.
    uint8_t wide[8] = {0x30, 0x42, 0x00, ';', 0x00, '1', 0, 0};
    EXPECT_TRUE(bump_joliet_file_identifier(wide, 6));
    EXPECT_EQ(wide[0], 0x00);
    EXPECT_EQ(wide[1], '1');
}

// Uppercased, a file's without ";1" (and an ISO 9660 file's without the '.'
// of an empty extension): the form in which siblings must differ.
std::string upper_identifier(const SourceEntry& e, int tree)
{
    std::string key;
    if (tree == 0) {
        char copy[256] = {};
        std::memcpy(copy, e.identifier[0], e.identifier_length[0]);
        uppercase_in_place(copy);
        key = copy;
        if (!e.directory) {
            key.resize(key.size() - 2);
            if (!key.empty() && key.back() == '.')
                key.pop_back();
        }
        return key;
    }
    uint16_t copy[256] = {};
    std::memcpy(copy, e.identifier[1], e.identifier_length[1]);
    uppercase_ucs2be(copy, 256);
    key.assign(reinterpret_cast<const char*>(copy), 2 * ucs2_length(copy));
    if (!e.directory)
        key.resize(key.size() - 4);
    return key;
}

// True when the identifier is the entry's own name in the tree's form.
bool name_unchanged(const SourceEntry& e, int tree)
{
    std::string leaf = e.source_path;
    leaf = leaf.substr(leaf.find_last_of("/\\") + 1);
    if (tree == 1)
        return joliet_ascii(e.identifier[1], e.identifier_length[1]) == leaf + (e.directory ? "" : ";1");
    for (char& c : leaf)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    if (!e.directory)
        leaf += std::string(leaf.find('.') == std::string::npos ? "." : "") + ";1";
    return iso(e.identifier[0], e.identifier_length[0]) == leaf;
}

// The clash rule written as the straightforward pairwise loop, to check the
// grouped resolution against: siblings whose identifier is their own name
// come first, then the others, each in table order; every later sibling is
// counted up while it equals an earlier one.
void reference_resolve(std::vector<SourceEntry>& t)
{
    std::vector<size_t> parent(t.size(), 0), open;
    for (size_t i = 1; i < t.size(); ++i) {
        while (!open.empty() && t[open.back()].depth >= t[i].depth)
            open.pop_back();
        parent[i] = open.empty() ? 0 : open.back();
        open.push_back(i);
    }
    for (int tree : {0, 1}) {
        std::vector<size_t> order;
        for (int pass = 0; pass < 2; ++pass)
            for (size_t i = 1; i < t.size(); ++i)
                if (name_unchanged(t[i], tree) == (pass == 0))
                    order.push_back(i);
        for (size_t x = 0; x < order.size(); ++x) {
            const std::string a = upper_identifier(t[order[x]], tree);
            for (size_t y = x + 1; y < order.size(); ++y) {
                SourceEntry& q = t[order[y]];
                if (parent[order[y]] != parent[order[x]])
                    continue;
                for (int guard = 0; upper_identifier(q, tree) == a && guard < 4096; ++guard) {
                    const bool changed =
                        tree == 0
                            ? (q.directory ? bump_directory_identifier(q.identifier[0], q.identifier_length[0])
                                           : bump_file_identifier(q.identifier[0], q.identifier_length[0]))
                            : (q.directory ? bump_joliet_directory_identifier(q.identifier[1], q.identifier_length[1])
                                           : bump_joliet_file_identifier(q.identifier[1], q.identifier_length[1]));
                    if (!changed)
                        break;
                }
            }
        }
    }
}

// A random pre-order tree whose names clash often: few stems, case variants,
// names ending in Z or 9 so that counting carries.
void fill_random_table(EntryTable& table, std::mt19937& rng, uint32_t count)
{
    static const char* const stems[] = {"readme.txt",
                                        "README.TXT",
                                        "ReadMe.txt",
                                        "progra~z",
                                        "PROGRA~Y",
                                        "abcdefghZ.doc",
                                        "abcdefgh9.doc",
                                        "doc",
                                        "DOC",
                                        "Doc",
                                        "very long name number one.text",
                                        "very long name number two.text",
                                        "x.y",
                                        "X.Y",
                                        "zz",
                                        "ZZ",
                                        "a;1",
                                        "A",
                                        "Program Files",
                                        "program filez"};
    allocate_entry_table(table, count);
    std::vector<uint8_t> depths = {1};
    for (uint32_t i = 1; i < count; ++i) {
        SourceEntry* e = table.entries[i];
        uint8_t previous = table.entries[i - 1]->depth;
        bool previous_dir = table.entries[i - 1]->directory != 0 || i == 1;
        uint8_t depth = previous_dir ? uint8_t(previous + 1) : previous;
        std::uniform_int_distribution<int> up(0, 3);
        int climb = up(rng);
        while (climb-- > 0 && depth > 2)
            --depth;
        e->depth = depth;
        if (depth > table.max_depth)
            table.max_depth = depth;
        e->directory = std::uniform_int_distribution<int>(0, 3)(rng) == 0 ? 0x10 : 0;
        std::string path = native("/src/");
        path += stems[std::uniform_int_distribution<size_t>(0, std::size(stems) - 1)(rng)];
        e->source_path = keep_text(table, path.c_str());
    }
    table.count = count;
}

TEST(Identifiers, GroupedClashResolutionEqualsThePairwiseRule)
{
    std::mt19937 rng(1234);
    for (int round = 0; round < 60; ++round) {
        uint32_t count = 2 + uint32_t(rng() % 150);
        EntryTable table;
        fill_random_table(table, rng, count);
        assign_identifiers(table);
        std::vector<SourceEntry> expected;
        std::vector<std::vector<uint8_t>> own(2 * count);  // the copies' identifiers, apart from the table's
        for (uint32_t i = 0; i < count; ++i) {
            expected.push_back(*table.entries[i]);
            for (int tree : {0, 1}) {
                const uint8_t* held = expected[i].identifier[tree];
                own[2 * i + tree].assign(held, held + expected[i].identifier_length[tree] + 2);
                expected[i].identifier[tree] = own[2 * i + tree].data();
            }
        }
        reference_resolve(expected);
        resolve_identifier_clashes(table);
        for (uint32_t i = 1; i < count; ++i) {
            const SourceEntry* got = table.entries[i];
            ASSERT_EQ(iso(got->identifier[0], got->identifier_length[0]),
                      iso(expected[i].identifier[0], expected[i].identifier_length[0]))
                << "round " << round << " entry " << i;
            ASSERT_EQ(0, std::memcmp(got->identifier[1], expected[i].identifier[1], got->identifier_length[1]))
                << "round " << round << " entry " << i;
        }
    }
}

TEST(Identifiers, ManyEqualSiblingsCountUpInOrder)
{
    const uint32_t count = 1 + 1 + 40;
    EntryTable table;
    allocate_entry_table(table, count);
    SourceEntry* folder = table.entries[1];
    folder->depth = 2;
    folder->directory = 0x10;
    folder->source_path = keep_text(table, native("/x/many").c_str());
    for (uint32_t i = 2; i < count; ++i) {
        SourceEntry* e = table.entries[i];
        e->depth = 3;
        char path[64];
        std::snprintf(path, sizeof path, "%s%05u.txt", native("/x/many/Entry number ").c_str(), i);
        e->source_path = keep_text(table, path);
    }
    table.count = count;
    table.max_depth = 3;
    assign_identifiers(table);
    resolve_identifier_clashes(table);
    const char* expected[] = {"ENTRY_~1.TXT;1", "ENTRY_~2.TXT;1", "ENTRY_~9.TXT;1", "ENTRY_~A.TXT;1",
                              "ENTRY_~Z.TXT;1", "ENTRY_11.TXT;1", "ENTRY_12.TXT;1"};
    const uint32_t at[] = {2, 3, 10, 11, 36, 37, 38};
    for (size_t k = 0; k < std::size(at); ++k) {
        const SourceEntry* e = table.entries[at[k]];
        EXPECT_EQ(iso(e->identifier[0], e->identifier_length[0]), expected[k]);
    }
}

TEST(Identifiers, SortIsStableAndKeepsEveryFolderWithItsOwnChildren)
{
    // In scan order: each folder directly followed by its own entries. Two
    // folders register under one name; each keeps its own child.
    const std::pair<const char*, uint8_t> scanned[] = {
        {"\tDOC-A", 2}, {"\tDOC", 2},    {"\tDOC\tX", 3}, {"\tB", 2},
        {"\tDOC", 2},   {"\tDOC\tY", 3}, {"\tA", 2},      {"\tA\tZ", 3},
    };
    const uint32_t count = 1 + uint32_t(std::size(scanned));
    EntryTable table;
    allocate_entry_table(table, count);
    for (uint32_t i = 1; i < count; ++i) {
        table.entries[i]->sort_key = scanned[i - 1].first;
        table.entries[i]->depth = scanned[i - 1].second;
        table.entries[i]->extent[0] = i;  // marks the scan order
    }
    table.count = count;
    sort_entries(table);
    const uint32_t expected[] = {0, 7, 8, 4, 2, 3, 5, 6, 1};
    for (uint32_t i = 0; i < count; ++i)
        EXPECT_EQ(uint32_t(table.entries[i]->extent[0]), expected[i]) << i;
}

// Random trees in scan order, names drawn from a few so that siblings share
// keys: every entry stays directly below its own folder, siblings follow
// their keys (ties in scan order), and where all keys differ the order is
// that of an exchange sort of the keys.
TEST(Identifiers, SortOfRandomTreesKeepsSubtreesAndKeyOrder)
{
    std::mt19937 rng(99);
    for (int round = 0; round < 40; ++round) {
        const bool unique = round % 2 == 0;
        uint32_t count = 1 + uint32_t(rng() % 300);
        EntryTable table;
        allocate_entry_table(table, count);
        std::vector<uint32_t> parent(count, 0);
        std::vector<std::string> keys(count);
        std::vector<uint32_t> open{0};
        std::set<std::string> used;
        for (uint32_t i = 1; i < count; ++i) {
            open.resize(1 + rng() % open.size());
            std::string key;
            do {
                key = keys[open.back()] + "\t";
                int length = 1 + int(rng() % (unique ? 4 : 2));
                for (int k = 0; k < length; ++k)
                    key.push_back("AB-a"[rng() % 4]);
            } while (unique && !used.insert(key).second);
            keys[i] = key;
            parent[i] = open.back();
            table.entries[i]->sort_key = keep_text(table, key.c_str());
            table.entries[i]->depth = uint8_t(open.size() + 1);
            table.entries[i]->extent[0] = i;
            open.push_back(i);
        }
        table.count = count;
        sort_entries(table);
        std::vector<uint32_t> order(count);
        for (uint32_t i = 0; i < count; ++i)
            order[i] = table.entries[i]->extent[0];
        std::vector<uint32_t> open_sorted;
        std::map<uint32_t, uint32_t> last_child;
        for (uint32_t k = 1; k < count; ++k) {
            const uint32_t i = order[k];
            while (!open_sorted.empty() && parent[i] != open_sorted.back())
                open_sorted.pop_back();
            ASSERT_EQ(open_sorted.empty() ? 0 : open_sorted.back(), parent[i]) << round << " entry " << i;
            auto previous = last_child.find(parent[i]);
            if (previous != last_child.end()) {
                const int c = compare_bytes(keys[previous->second].c_str(), keys[i].c_str());
                ASSERT_TRUE(c < 0 || (c == 0 && previous->second < i)) << round << " entry " << i;
            }
            last_child[parent[i]] = i;
            open_sorted.push_back(i);
        }
        if (unique) {
            std::vector<uint32_t> reference(count - 1);
            for (uint32_t i = 1; i < count; ++i)
                reference[i - 1] = i;
            for (size_t i = reference.size(); i-- > 1;)  // the exchange sort, literally
                for (size_t j = 0; j < i; ++j)
                    if (compare_bytes(keys[reference[j]].c_str(), keys[reference[j + 1]].c_str()) > 0)
                        std::swap(reference[j], reference[j + 1]);
            for (uint32_t k = 1; k < count; ++k)
                ASSERT_EQ(order[k], reference[k - 1]) << round;
        }
    }
}

TEST(Identifiers, JolietNamesLoseForbiddenCharactersAndDotNames)
{
#ifndef _WIN32
    const std::string surrogate_at_cut = std::string(59, 'x') + "\xF0\x9F\x98\x80yy.txt";
#endif
    const IdCase cases[] = {
        {"a*b/c:d;e?f\\g.txt", false, "a_b_c_d_e_f_g.txt;1"},
        {"tab\there\x01", false, "tab_here_;1"},
        {".", true, "_"},
        {"..", true, "__"},
        {"..", false, "__;1"},
        {"...", false, "...;1"},
        {".hidden", true, ".hidden"},
#ifndef _WIN32
        // UTF-8 names only: code page 932 holds no character beyond the BMP.
        {surrogate_at_cut.c_str(), false, "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx_~1;1"},
#endif
    };
    for (const IdCase& c : cases) {
        uint8_t id[256] = {};
        int n = c.directory ? make_joliet_directory_identifier(id, c.leaf) : make_joliet_file_identifier(id, c.leaf);
        EXPECT_EQ(joliet_ascii(id, n), c.expected) << c.leaf;
    }
}

// Sibling name sets (in table order) for which the clash rule alone used to
// leave two equal identifiers. `copies` repeats the last name.
TEST(Identifiers, SiblingsEndWithDistinctIdentifiers)
{
    struct SetCase {
        std::vector<std::string> names;
        bool directories;
        int copies;
        std::vector<std::string> expected_iso;     // first identifiers, when given
        std::vector<std::string> expected_joliet;  // the same in the Joliet tree
    };
    const std::string a62(62, 'A');
    const SetCase cases[] = {
        {{"ABCDEF~2.TXT", "ABCDEF~3X.TXT", "ABCDEF~4X.TXT"},
         false,
         1,
         {"ABCDEF~2.TXT;1", "ABCDEF~1.TXT;1", "ABCDEF~3.TXT;1"},
         {}},
        {{a62 + "~2", a62 + "~3xx", a62 + "~4xx"}, true, 1, {}, {}},
        {{"x"}, false, 40, {}, {}},
        {{"Z"}, true, 40, {}, {}},
        // A name that needed no change keeps it against an earlier one that
        // was replaced, cut or uppercased.
        {{"a*1", "a_1"}, false, 1, {"A*1.;1", "A_1.;1"}, {"a_2;1", "a_1;1"}},
        {{"Program Files", "PROGRA~1"}, true, 1, {"PROGRA~2", "PROGRA~1"}, {"Program Files", "PROGRA~1"}},
        {{"README.TXT", "readme.txt"}, false, 1, {"README.TXT;1", "READMF.TXT;1"}, {"README.TXT;1", "readme.tx1;1"}},
    };
    for (const SetCase& c : cases) {
        std::vector<std::string> names = c.names;
        for (int k = 1; k < c.copies; ++k)
            names.push_back(names.back());
        const uint32_t count = uint32_t(2 + names.size());
        EntryTable table;
        allocate_entry_table(table, count);
        SourceEntry* folder = table.entries[1];
        folder->depth = 2;
        folder->directory = 0x10;
        folder->source_path = keep_text(table, native("/x/set").c_str());
        for (size_t i = 0; i < names.size(); ++i) {
            SourceEntry* e = table.entries[2 + i];
            e->depth = 3;
            e->directory = c.directories ? 0x10 : 0;
            e->source_path = keep_text(table, native("/x/set/" + names[i]).c_str());
        }
        table.count = count;
        table.max_depth = 3;
        assign_identifiers(table);
        resolve_identifier_clashes(table);
        make_sibling_identifiers_distinct(table);
        for (int tree = 0; tree < 2; ++tree) {
            std::vector<std::string> seen;
            for (uint32_t i = 2; i < count; ++i) {
                const SourceEntry* e = table.entries[i];
                std::string id = tree == 0 ? iso(e->identifier[0], e->identifier_length[0])
                                           : joliet_ascii(e->identifier[1], e->identifier_length[1]);
                for (char& ch : id)
                    ch = char(std::toupper(static_cast<unsigned char>(ch)));
                EXPECT_EQ(std::count(seen.begin(), seen.end(), id), 0) << c.names[0] << " tree " << tree << ": " << id;
                seen.push_back(id);
            }
        }
        for (size_t i = 0; i < c.expected_iso.size(); ++i) {
            const SourceEntry* e = table.entries[2 + i];
            EXPECT_EQ(iso(e->identifier[0], e->identifier_length[0]), c.expected_iso[i]);
        }
        for (size_t i = 0; i < c.expected_joliet.size(); ++i) {
            const SourceEntry* e = table.entries[2 + i];
            EXPECT_EQ(joliet_ascii(e->identifier[1], e->identifier_length[1]), c.expected_joliet[i]);
        }
    }
}

#ifndef _WIN32
TEST(Identifiers, DoubleByteCharactersAreNeverCutInHalf)
{
    CodePageScope scope("CP932");
    ASSERT_TRUE(scope.active());
    // "ab" + 0x83 0x5C ("so" in katakana, trail byte '\\') + "cdefg.txt": the
    // sixth byte is a lead byte, so it becomes '_'.
    const char name[] =
        "abcd\x83\x5C"
        "efg.txt";
    uint8_t id[256] = {};
    int n = make_file_identifier(id, name);
    EXPECT_EQ(iso(id, n), "ABCD\x83\x5C~1.TXT;1");
    const char name2[] =
        "abcde\x83\x5C"
        "fg.txt";
    n = make_file_identifier(id, name2);
    EXPECT_EQ(iso(id, n), "ABCDE_~1.TXT;1");
    const char ext[] = "a.ab\x83\x5C";
    n = make_file_identifier(id, ext);
    EXPECT_EQ(iso(id, n), "A.AB_;1");
    // A trail byte that is a lowercase letter is not uppercased.
    n = make_file_identifier(id, "\x83\x61.txt");
    EXPECT_EQ(iso(id, n), "\x83\x61.TXT;1");
}
#endif

}  // namespace
