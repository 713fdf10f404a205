// Character stepping, uppercasing and UCS-2 conversion of the platform layer.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

// Selects a code page for one test and returns to the default afterwards.
// Under Win32 only the system's own code page exists, so a test that needs
// another one is skipped there.
class CodePageScope {
public:
    explicit CodePageScope(const char* name) {
        active_ = std::string(platform::code_page_name()) == name ||
                  (platform::select_code_page(name) && std::string(platform::code_page_name()) == name);
    }
    ~CodePageScope() { platform::select_code_page(""); }
    bool active() const { return active_; }

private:
    bool active_ = false;
};

#define REQUIRE_CODE_PAGE(scope, name)                                                \
    CodePageScope scope(name);                                                        \
    if (!scope.active()) GTEST_SKIP() << "code page " << name << " is not available"

// Byte offsets at which char_next stops, from the start to the terminator.
std::vector<size_t> steps(const char* text) {
    std::vector<size_t> offsets;
    const char* p = text;
    for (;;) {
        const char* next = platform::char_next(p);
        if (next == p) break;
        offsets.push_back(static_cast<size_t>(next - text));
        p = next;
    }
    return offsets;
}

struct StepCase {
    const char* what;
    const char* text;
    std::vector<size_t> offsets;
};

TEST(PlatformText, Cp932SteppingKeepsTrailBytesInsideTheirCharacter) {
    REQUIRE_CODE_PAGE(scope, "CP932");
    const StepCase cases[] = {
        // ソ (0x83 0x5C) and 表 (0x95 0x5C): trail byte equals '\'.
        {"trail 0x5C", "\x83\x5C\\\x95\x5C", {2, 3, 5}},
        // 0x81 0x2E is no valid character, yet it is stepped as one, as
        // CharNextA does, so its trail byte is no full stop.
        {"trail 0x2E", "a\x81\x2E.b", {1, 3, 4, 5}},
        {"lead at the end", "x\x82", {1, 2}},
        {"both lead ranges", "\x9F\x40\xE0\x40\xFC\x40", {2, 4, 6}},
        {"half-width katakana are single", "\xB1\xB2", {1, 2}},
        {"0x80 and 0xA0 are single", "\x80\xA0", {1, 2}},
        {"empty", "", {}},
    };
    for (const StepCase& c : cases) EXPECT_EQ(steps(c.text), c.offsets) << c.what;
}

TEST(PlatformText, Utf8SteppingTakesWholeSequencesOnly) {
    REQUIRE_CODE_PAGE(scope, "UTF-8");
    const StepCase cases[] = {
        {"ascii", "ab", {1, 2}},
        {"two, three and four bytes", "\xC3\xA9\xE3\x81\x82\xF0\x9F\x98\x80", {2, 5, 9}},
        {"stray trail byte", "\x80" "a", {1, 2}},
        {"cut sequence", "\xE3\x81", {1, 2}},
        {"sequence cut by a backslash", "\xE3\\\x82", {1, 2, 3}},
        {"overlong form", "\xC0\xAF", {1, 2}},
        {"encoded surrogate", "\xED\xA0\x80", {1, 2, 3}},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", {1, 2, 3, 4}},
    };
    for (const StepCase& c : cases) EXPECT_EQ(steps(c.text), c.offsets) << c.what;
}

struct UpperCase {
    const char* what;
    const char* text;
    const char* expected;
};

TEST(PlatformText, UppercaseChangesSingleByteLettersOnly) {
    REQUIRE_CODE_PAGE(scope, "CP932");
    const UpperCase cases[] = {
        {"ascii", "abc.txt", "ABC.TXT"},
        // ア is 0x83 0x41; ャ is 0x83 0x62 with the trail byte 'b'.
        {"trail byte 'b' untouched", "\x83\x62" "b", "\x83\x62" "B"},
        // ヂ is 0x83 0x61, ホ 0x83 0x7A: trail bytes 'a' and 'z'.
        {"trail bytes 'a' and 'z' untouched", "\x83\x61\x83\x7A", "\x83\x61\x83\x7A"},
    };
    for (const UpperCase& c : cases) {
        std::string text = c.text;
        platform::uppercase_ansi(text.data());
        EXPECT_EQ(text, c.expected) << c.what;
    }
}

#ifndef _WIN32
TEST(PlatformText, Utf8UppercaseLeavesNonAsciiAlone) {
    REQUIRE_CODE_PAGE(scope, "UTF-8");
    std::string text = "\xC3\xA9t\xC3\xA9 z";  // été z
    platform::uppercase_ansi(text.data());
    EXPECT_EQ(text, "\xC3\xA9T\xC3\xA9 Z");
}
#endif

struct ToUcs2Case {
    const char* code_page;
    const char* text;
    std::vector<uint16_t> expected;  // without the terminator
};

std::vector<uint16_t> to_ucs2(const char* text, size_t capacity) {
    std::vector<uint16_t> out(capacity + 1, 0xEEEE);
    const size_t written = platform::oem_to_ucs2(text, out.data(), capacity);
    EXPECT_GE(written, 1u);
    EXPECT_LE(written, capacity);
    EXPECT_EQ(out[written - 1], 0) << "terminator";
    EXPECT_EQ(out[capacity], 0xEEEE) << "written beyond the capacity";
    out.resize(written - 1);
    return out;
}

TEST(PlatformText, OemToUcs2) {
    const ToUcs2Case cases[] = {
        {"CP932", "\x82\xA0", {0x3042}},
        {"CP932", "a\\b~", {'a', 0x5C, 'b', 0x7E}},
        {"CP932", "\x83\x5C\x95\x5C", {0x30BD, 0x8868}},
        {"CP932", "\xB1", {0xFF71}},
#ifndef _WIN32
        // Windows has mappings of its own for these two.
        {"CP932", "\xA0x", {0xFFFD, 'x'}},  // an unassigned byte
        {"CP932", "x\x82", {'x', 0xFFFD}},  // a lead byte without a trail
#endif
        {"UTF-8", "\xE3\x81\x82", {0x3042}},
        {"UTF-8", "\xF0\x9F\x98\x80", {0xD83D, 0xDE00}},
        {"UTF-8", "a\xFF" "b", {'a', 0xFFFD, 'b'}},
        {"UTF-8", "\xE3\x81", {0xFFFD, 0xFFFD}},
        {"UTF-8", "", {}},
    };
    for (const ToUcs2Case& c : cases) {
        CodePageScope scope(c.code_page);
        if (!scope.active()) continue;
        EXPECT_EQ(to_ucs2(c.text, 32), c.expected) << c.code_page << " " << c.text;
    }
}

TEST(PlatformText, OemToUcs2TruncatesToTheCapacity) {
    EXPECT_EQ(to_ucs2("abcdef", 4), (std::vector<uint16_t>{'a', 'b', 'c'}));
    EXPECT_EQ(to_ucs2("abc", 1), std::vector<uint16_t>{});
    uint16_t untouched = 0x1234;
    EXPECT_EQ(platform::oem_to_ucs2("abc", &untouched, 0), 0u);
    EXPECT_EQ(untouched, 0x1234);
    CodePageScope scope("UTF-8");
    if (scope.active()) {
        // A surrogate pair that does not fit is left out whole.
        EXPECT_EQ(to_ucs2("a\xF0\x9F\x98\x80", 3), std::vector<uint16_t>{'a'});
    }
}

std::string to_oem(const std::vector<uint16_t>& units, size_t capacity) {
    std::vector<uint16_t> text = units;
    text.push_back(0);
    std::string out(capacity + 1, '\x7F');
    const size_t written = platform::ucs2_to_oem(text.data(), out.data(), capacity);
    EXPECT_GE(written, 1u);
    EXPECT_LE(written, capacity);
    EXPECT_EQ(out[written - 1], '\0') << "terminator";
    EXPECT_EQ(out[capacity], '\x7F') << "written beyond the capacity";
    out.resize(written - 1);
    return out;
}

struct FromUcs2Case {
    const char* code_page;
    std::vector<uint16_t> units;
    size_t capacity;
    const char* expected;
};

TEST(PlatformText, Ucs2ToOem) {
    const FromUcs2Case cases[] = {
        {"CP932", {0x3042, 'A'}, 32, "\x82\xA0" "A"},
        {"CP932", {0x30BD}, 32, "\x83\x5C"},
        // A double-byte character that does not fit is left out whole.
        {"CP932", {'a', 0x3042}, 3, "a"},
        {"CP932", {0x3042, 0x3042}, 4, "\x82\xA0"},
        {"UTF-8", {0x00E9}, 32, "\xC3\xA9"},
        {"UTF-8", {0xD83D, 0xDE00}, 32, "\xF0\x9F\x98\x80"},
        {"UTF-8", {'x', 0x3042}, 4, "x"},
        {"UTF-8", {'x', 0xDC00, 'y'}, 32, "x?y"},  // a lone low surrogate
        {"UTF-8", {'x', 0xD800}, 32, "x?"},        // a lone high surrogate at the end
    };
    for (const FromUcs2Case& c : cases) {
        CodePageScope scope(c.code_page);
        if (!scope.active()) continue;
        EXPECT_EQ(to_oem(c.units, c.capacity), c.expected) << c.code_page << " capacity " << c.capacity;
    }
}

#ifndef _WIN32
TEST(PlatformText, UnconvertibleCharactersBecomeQuestionMarks) {
    REQUIRE_CODE_PAGE(scope, "CP932");
    EXPECT_EQ(to_oem({'a', 0x0E01, 0xD83D, 0xDE00, 'b'}, 32), "a??b");  // Thai, then one astral character
}
#endif

TEST(PlatformText, RoundTripThroughUcs2) {
    const struct {
        const char* code_page;
        const char* text;
    } cases[] = {
        {"CP932", "\x83\x5C\x83\x74\x83\x67\\\x95\x5C.TXT"},  // ソフト\表.TXT
        {"UTF-8", "\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88/\xF0\x9F\x98\x80.txt"},
    };
    for (const auto& c : cases) {
        CodePageScope scope(c.code_page);
        if (!scope.active()) continue;
        uint16_t units[64];
        platform::oem_to_ucs2(c.text, units, 64);
        char back[128];
        platform::ucs2_to_oem(units, back, sizeof back);
        EXPECT_STREQ(back, c.text) << c.code_page;
    }
}

TEST(PlatformText, CodePageSelection) {
#ifdef _WIN32
    EXPECT_TRUE(platform::select_code_page(""));
    EXPECT_FALSE(platform::select_code_page("UTF-8"));
    EXPECT_EQ(std::string(platform::code_page_name()).rfind("CP", 0), 0u);
#else
    const std::string before = platform::code_page_name();
    EXPECT_FALSE(platform::select_code_page("KOI8-R"));
    EXPECT_EQ(platform::code_page_name(), before) << "a refused name keeps the code page";
    EXPECT_TRUE(platform::select_code_page("cp932"));
    EXPECT_STREQ(platform::code_page_name(), "CP932");
    EXPECT_TRUE(platform::select_code_page("utf-8"));
    EXPECT_STREQ(platform::code_page_name(), "UTF-8");
    EXPECT_TRUE(platform::select_code_page(""));
    EXPECT_EQ(platform::code_page_name(), before);
#endif
}

}  // namespace
