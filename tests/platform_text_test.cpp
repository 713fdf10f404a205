// Character stepping, uppercasing and UCS-2 conversion of the platform layer.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "test_support.h"

namespace {

std::vector<size_t> steps(const char* text)
{
    std::vector<size_t> offsets;
    for (const char* p = text; *p != '\0'; p = platform::char_next(p))
        offsets.push_back(static_cast<size_t>(platform::char_next(p) - text));
    return offsets;
}

TEST(PlatformText, CharNextStepsWholeCharacters)
{
    const struct {
        const char* code_page;
        const char* text;
        std::vector<size_t> offsets;
    } cases[] = {
        // ソ 0x83 0x5C and 表 0x95 0x5C: the trail byte is no backslash.
        {"CP932", "\x83\x5C\\\x95\x5C", {2, 3, 5}},
        // 0x81 0x2E is stepped as one character, as CharNextA does.
        {"CP932", "a\x81\x2E.b", {1, 3, 4, 5}},
        {"CP932", "x\x82", {1, 2}},                // a lead byte before the terminator
        {"CP932", "\xFC\x40\xB1\xA0", {2, 3, 4}},  // half-width katakana and 0xA0 are single
        {"UTF-8", "\xC3\xA9\xE3\x81\x82\xF0\x9F\x98\x80", {2, 5, 9}},
        {"UTF-8",
         "\x80"
         "a\xE3\\\x82",
         {1, 2, 3, 4, 5}},                                   // stray and cut sequences
        {"UTF-8", "\xC0\xAF\xED\xA0\x80", {1, 2, 3, 4, 5}},  // overlong form, encoded surrogate
    };
    int ran = 0;
    for (const auto& c : cases) {
        CodePageScope scope(c.code_page);
        if (scope.active()) {
            ++ran;
            EXPECT_EQ(steps(c.text), c.offsets) << c.code_page << " " << c.text;
        }
    }
    const char* empty = "";
    EXPECT_EQ(platform::char_next(empty), empty);
    if (ran == 0)
        GTEST_SKIP() << "neither CP932 nor UTF-8 is the system code page";
}

TEST(PlatformText, UppercaseNeverTouchesATrailByte)
{
    CodePageScope scope("CP932");
    if (!scope.active())
        GTEST_SKIP() << "no CP932 here";
    // ャ 0x83 0x62, ヂ 0x83 0x61, ホ 0x83 0x7A: trail bytes 'b', 'a', 'z'.
    std::string text =
        "abc.txt \x83\x62"
        "b\x83\x61\x83\x7A";
    platform::uppercase_ansi(text.data());
    EXPECT_EQ(text,
              "ABC.TXT \x83\x62"
              "B\x83\x61\x83\x7A");
}

std::vector<uint16_t> to_ucs2(const char* text, size_t capacity)
{
    std::vector<uint16_t> out(capacity + 1, 0xEEEE);
    const size_t written = platform::oem_to_ucs2(text, out.data(), capacity);
    EXPECT_TRUE(written >= 1 && written <= capacity && out[written - 1] == 0) << written;
    EXPECT_EQ(out[capacity], 0xEEEE) << "written beyond the capacity";
    out.resize(written - 1);
    return out;
}

std::string to_oem(std::vector<uint16_t> units, size_t capacity)
{
    units.push_back(0);
    std::string out(capacity + 1, '\x7F');
    const size_t written = platform::ucs2_to_oem(units.data(), out.data(), capacity);
    EXPECT_TRUE(written >= 1 && written <= capacity && out[written - 1] == '\0') << written;
    EXPECT_EQ(out[capacity], '\x7F') << "written beyond the capacity";
    out.resize(written - 1);
    return out;
}

TEST(PlatformText, ConversionBetweenCodePageAndUcs2)
{
    const struct {
        const char* code_page;
        std::string text;
        std::vector<uint16_t> units;
        size_t capacity;  // of the UCS-2 side, then of the byte side
    } both_ways[] = {
        {"CP932", "\x82\xA0", {0x3042}, 8},
        {"CP932", "a\\b~\x83\x5C\x95\x5C\xB1", {'a', 0x5C, 'b', 0x7E, 0x30BD, 0x8868, 0xFF71}, 16},
        {"UTF-8", "\xE3\x81\x82", {0x3042}, 8},
        {"UTF-8", "\xF0\x9F\x98\x80/x", {0xD83D, 0xDE00, '/', 'x'}, 8},
        {"ASCII", "abc", {'a', 'b', 'c'}, 4},
    };
    for (const auto& c : both_ways) {
        CodePageScope scope(c.code_page);
        if (!scope.active() && std::string(c.code_page) != "ASCII")
            continue;
        EXPECT_EQ(to_ucs2(c.text.c_str(), c.capacity), c.units) << c.code_page << " " << c.text;
        EXPECT_EQ(to_oem(c.units, c.text.size() + 1), c.text) << c.code_page << " " << c.text;
    }
}

TEST(PlatformText, ConversionTruncatesAtWholeCharacters)
{
    EXPECT_EQ(to_ucs2("abcdef", 4), (std::vector<uint16_t>{'a', 'b', 'c'}));
    EXPECT_EQ(to_ucs2("abc", 1), std::vector<uint16_t>{});
    uint16_t untouched = 0x1234;
    EXPECT_EQ(platform::oem_to_ucs2("abc", &untouched, 0), 0u);
    EXPECT_EQ(untouched, 0x1234);
    if (CodePageScope scope("UTF-8"); scope.active()) {
        EXPECT_EQ(to_ucs2("a\xF0\x9F\x98\x80", 3), std::vector<uint16_t>{'a'});  // no half pair
        EXPECT_EQ(to_oem({'x', 0x3042}, 4), "x");
        // The room ends with the last byte below 0x80, or just before it.
        EXPECT_EQ(to_ucs2("ab\xE3\x81\x82", 3), (std::vector<uint16_t>{'a', 'b'}));
        EXPECT_EQ(to_ucs2("ab\xE3\x81\x82", 4), (std::vector<uint16_t>{'a', 'b', 0x3042}));
        EXPECT_EQ(to_oem({'a', 'b', 'c', 'd'}, 3), "ab");
        EXPECT_EQ(to_oem({'a', 'b', 0x3042}, 3), "ab");
        EXPECT_EQ(to_oem({'a', 'b', 0x3042}, 6), "ab\xE3\x81\x82");
    }
    if (CodePageScope scope("CP932"); scope.active()) {
        EXPECT_EQ(to_oem({'a', 0x3042}, 3), "a");
        EXPECT_EQ(to_oem({0x3042, 0x3042}, 4), "\x82\xA0");
    }
}

#ifndef _WIN32
TEST(PlatformText, PosixReplacementCharacters)
{
    const struct {
        const char* code_page;
        const char* text;
        std::vector<uint16_t> units;
    } in[] = {
        {"CP932", "\xA0x", {0xFFFD, 'x'}},  // unassigned byte
        {"CP932", "x\x82", {'x', 0xFFFD}},  // lead byte without a trail
        {"UTF-8",
         "a\xFF"
         "b\xE3\x81",
         {'a', 0xFFFD, 'b', 0xFFFD, 0xFFFD}},
    };
    for (const auto& c : in) {
        CodePageScope scope(c.code_page);
        EXPECT_EQ(to_ucs2(c.text, 16), c.units) << c.code_page << " " << c.text;
    }
    CodePageScope utf8("UTF-8");
    EXPECT_EQ(to_oem({'x', 0xDC00, 'y', 0xD800}, 16), "x?y?");  // lone surrogates
    CodePageScope cp932("CP932");
    EXPECT_EQ(to_oem({'a', 0x0E01, 0xD83D, 0xDE00, 'b'}, 16), "a??b");  // one '?' per character
}

TEST(PlatformText, PosixCodePageSelection)
{
    const std::string before = platform::code_page_name();
    EXPECT_FALSE(platform::select_code_page("KOI8-R"));
    EXPECT_EQ(platform::code_page_name(), before);
    EXPECT_TRUE(platform::select_code_page("cp932"));
    EXPECT_STREQ(platform::code_page_name(), "CP932");
    EXPECT_TRUE(platform::select_code_page(""));
    EXPECT_EQ(platform::code_page_name(), before);
}
#endif

}  // namespace
