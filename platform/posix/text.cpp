// ANSI text services on POSIX systems. The "ANSI" and "OEM" code pages of the
// Win32 build are one code page here: the locale's character set (UTF-8 when
// the locale names none), or CP932 or UTF-8 when chosen explicitly.
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <string.h>
#include <strings.h>

#include <cerrno>
#include <cstdint>
#include <cwchar>
#include <initializer_list>
#include <string>

#include "platform/platform.h"

namespace platform {
namespace {

// A byte that a name cannot carry into the other character set crosses the
// seam as three bytes: 0xFF and the byte in two upper-case hexadecimal
// digits. 0xFF is no character in CP932 nor in UTF-8, so a converted name
// never holds one by itself.
constexpr unsigned char escape_lead = 0xFF;

int hex_value(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The byte an escape at p stands for, or -1 when p holds none.
int escaped_byte(const unsigned char* p)
{
    if (p[0] != escape_lead)
        return -1;
    const int high = hex_value(p[1]);
    const int low = high >= 0 ? hex_value(p[2]) : -1;
    return low >= 0 ? high * 16 + low : -1;
}

void append_escape(std::string& out, unsigned char byte)
{
    static const char digits[] = "0123456789ABCDEF";
    out.push_back(static_cast<char>(escape_lead));
    out.push_back(digits[byte >> 4]);
    out.push_back(digits[byte & 15]);
}

enum class Stepping {
    utf8,       // sequences checked byte by byte
    cp932,      // lead byte plus any non-zero trail byte
    locale_mb,  // the locale's own multibyte rules (mbrlen)
};

iconv_t const no_iconv = reinterpret_cast<iconv_t>(-1);

#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
const char* const host_utf16 = "UTF-16LE";
#else
const char* const host_utf16 = "UTF-16BE";
#endif

struct CodePage {
    Stepping stepping = Stepping::utf8;
    std::string name = "UTF-8";
    locale_t locale = static_cast<locale_t>(0);  // only for locale_mb
    iconv_t to_ucs2 = no_iconv;
    iconv_t from_ucs2 = no_iconv;
};

void release(CodePage& page)
{
    if (page.to_ucs2 != no_iconv)
        iconv_close(page.to_ucs2);
    if (page.from_ucs2 != no_iconv)
        iconv_close(page.from_ucs2);
    if (page.locale != static_cast<locale_t>(0))
        freelocale(page.locale);
    page = CodePage{};
}

// Opens both converters for `iconv_name`; false (and nothing kept) when iconv
// does not know it.
bool open_converters(CodePage& page, const char* iconv_name)
{
    page.to_ucs2 = iconv_open(host_utf16, iconv_name);
    page.from_ucs2 = iconv_open(iconv_name, host_utf16);
    return page.to_ucs2 != no_iconv && page.from_ucs2 != no_iconv;
}

bool is_one_of(const char* name, std::initializer_list<const char*> names)
{
    for (const char* candidate : names)
        if (strcasecmp(name, candidate) == 0)
            return true;
    return false;
}

bool names_utf8(const char* name)
{
    return is_one_of(name, {"UTF-8", "UTF8"});
}
bool names_cp932(const char* name)
{
    return is_one_of(name, {"CP932", "MS932", "WINDOWS-31J", "SJIS", "SHIFT_JIS", "SHIFT-JIS"});
}

bool make_utf8(CodePage& page)
{
    page.stepping = Stepping::utf8;
    page.name = "UTF-8";
    return open_converters(page, "UTF-8");
}

bool make_cp932(CodePage& page)
{
    page.stepping = Stepping::cp932;
    page.name = "CP932";
    return open_converters(page, "CP932");
}

// The character set of the environment's LC_CTYPE, read without changing
// the process's own locale.
CodePage make_locale_page()
{
    CodePage page;
    locale_t env = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
    std::string codeset = env != static_cast<locale_t>(0) ? nl_langinfo_l(CODESET, env) : "";
    if (codeset.empty() || codeset == "ANSI_X3.4-1968" || codeset == "ASCII" || names_utf8(codeset.c_str())) {
        if (env != static_cast<locale_t>(0))
            freelocale(env);
        if (make_utf8(page))
            return page;
        release(page);
        return page;
    }
    if (names_cp932(codeset.c_str())) {
        if (env != static_cast<locale_t>(0))
            freelocale(env);
        if (make_cp932(page))
            return page;
        release(page);
        make_utf8(page);
        return page;
    }
    page.stepping = Stepping::locale_mb;
    page.name = codeset;
    page.locale = env;
    if (open_converters(page, codeset.c_str()))
        return page;
    release(page);
    make_utf8(page);
    return page;
}

CodePage& current()
{
    static CodePage page = [] {
        CodePage made = make_locale_page();
        ascii_stands_alone = made.stepping != Stepping::locale_mb;
        return made;
    }();
    return page;
}

// Length of the valid UTF-8 sequence at p, or 1 for a byte that starts none.
size_t utf8_length(const unsigned char* p)
{
    const unsigned char b = p[0];
    if (b < 0x80)
        return 1;
    size_t length;
    unsigned char low = 0x80, high = 0xBF;  // range of the first trail byte
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        if (b == 0xE0)
            low = 0xA0;  // no overlong forms
        if (b == 0xED)
            high = 0x9F;  // no surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        if (b == 0xF0)
            low = 0x90;
        if (b == 0xF4)
            high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 1;
    }
    if (p[1] < low || p[1] > high)
        return 1;
    for (size_t i = 2; i < length; ++i)
        if (p[i] < 0x80 || p[i] > 0xBF)
            return 1;
    return length;
}

bool cp932_lead(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

size_t locale_length(const CodePage& page, const char* p)
{
    const locale_t previous = uselocale(page.locale);
    std::mbstate_t state{};
    const size_t length = std::mbrlen(p, MB_CUR_MAX, &state);
    uselocale(previous);
    return length == 0 || length == static_cast<size_t>(-1) || length == static_cast<size_t>(-2) ? 1 : length;
}

void reset(iconv_t cd)
{
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
}

std::string system_codeset();

// A run of escapes at `in` stands for bytes of a name in the system's own
// character set: they are converted from there, so a Joliet name shows the
// characters the code page could not hold. Returns the bytes of the run
// taken (0 when `in` starts no escape); a run that does not fit or does not
// convert is taken as nothing.
size_t put_escaped_run(const char* in, size_t in_left, char*& put, size_t& put_left)
{
    std::string raw;
    size_t taken = 0;
    while (taken + 3 <= in_left) {
        const int byte = escaped_byte(reinterpret_cast<const unsigned char*>(in + taken));
        if (byte < 0)
            break;
        raw.push_back(static_cast<char>(byte));
        taken += 3;
    }
    if (raw.empty())
        return 0;
    static iconv_t from_system = iconv_open(host_utf16, system_codeset().c_str());
    if (from_system == no_iconv)
        return 0;
    reset(from_system);
    char* raw_in = raw.data();
    size_t raw_left = raw.size();
    char* out = put;
    size_t out_left = put_left;
    if (iconv(from_system, &raw_in, &raw_left, &out, &out_left) == static_cast<size_t>(-1))
        return 0;
    put = out;
    put_left = out_left;
    return taken;
}

}  // namespace

bool ascii_stands_alone = false;

const char* char_next_multibyte(const char* p)
{
    if (*p == '\0')
        return p;
    const CodePage& page = current();
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    switch (page.stepping) {
    case Stepping::utf8: return p + utf8_length(u);
    case Stepping::cp932: return p + (cp932_lead(u[0]) && u[1] != 0 ? 2 : 1);
    case Stepping::locale_mb: return p + locale_length(page, p);
    }
    return p + 1;
}

void uppercase_ansi(char* text)
{
    // Only single-byte characters are touched, so a trail byte that happens
    // to equal a lowercase letter (0x61..0x7A in CP932) keeps its value.
    for (char* p = text; *p != '\0';) {
        char* next = const_cast<char*>(char_next(p));
        if (next == p + 1 && *p >= 'a' && *p <= 'z')
            *p = static_cast<char>(*p - 'a' + 'A');
        p = next;
    }
}

size_t oem_to_ucs2(const char* text, uint16_t* out, size_t capacity)
{
    if (capacity == 0)
        return 0;
    CodePage& page = current();
    // Up to where the room ends, text below 0x80 is the same characters in
    // both forms wherever ASCII stands alone: most names need no converter.
    if (ascii_stands_alone) {
        size_t n = 0;
        for (unsigned char c; n + 1 < capacity && (c = static_cast<unsigned char>(text[n])) != 0 && c < 0x80; ++n)
            out[n] = c;
        if (n + 1 == capacity || text[n] == '\0') {
            out[n] = 0;
            return n + 1;
        }
    }
    reset(page.to_ucs2);
    char* in = const_cast<char*>(text);
    size_t in_left = strlen(text);
    char* put = reinterpret_cast<char*>(out);
    size_t put_left = (capacity - 1) * sizeof(uint16_t);
    // iconv writes whole characters only, so a surrogate pair that does not
    // fit is left out rather than cut in half.
    while (in_left > 0) {
        if (iconv(page.to_ucs2, &in, &in_left, &put, &put_left) != static_cast<size_t>(-1))
            break;
        if (errno != EILSEQ && errno != EINVAL)
            break;  // E2BIG: full
        if (put_left < sizeof(uint16_t))
            break;
        const size_t taken = put_escaped_run(in, in_left, put, put_left);
        if (taken > 0) {
            in += taken;
            in_left -= taken;
            reset(page.to_ucs2);
            continue;
        }
        const uint16_t replacement = 0xFFFD;
        memcpy(put, &replacement, sizeof replacement);
        put += sizeof replacement;
        put_left -= sizeof replacement;
        ++in;
        --in_left;
        reset(page.to_ucs2);
    }
    const size_t units = static_cast<size_t>(put - reinterpret_cast<char*>(out)) / sizeof(uint16_t);
    out[units] = 0;
    return units + 1;
}

size_t ucs2_to_oem(const uint16_t* text, char* out, size_t capacity)
{
    if (capacity == 0)
        return 0;
    CodePage& page = current();
    if (ascii_stands_alone) {
        size_t n = 0;
        for (; n + 1 < capacity && text[n] != 0 && text[n] < 0x80; ++n)
            out[n] = static_cast<char>(text[n]);
        if (n + 1 == capacity || text[n] == 0) {
            out[n] = '\0';
            return n + 1;
        }
    }
    reset(page.from_ucs2);
    size_t units = 0;
    while (text[units] != 0)
        ++units;
    char* in = reinterpret_cast<char*>(const_cast<uint16_t*>(text));
    size_t in_left = units * sizeof(uint16_t);
    char* put = out;
    size_t put_left = capacity - 1;
    while (in_left > 0) {
        if (iconv(page.from_ucs2, &in, &in_left, &put, &put_left) != static_cast<size_t>(-1))
            break;
        if (errno != EILSEQ && errno != EINVAL)
            break;  // E2BIG: full
        if (put_left < 1)
            break;
        *put++ = '?';
        --put_left;
        // One '?' per character: a valid surrogate pair is skipped whole.
        uint16_t unit;
        memcpy(&unit, in, sizeof unit);
        size_t skip = sizeof(uint16_t);
        if (unit >= 0xD800 && unit <= 0xDBFF && in_left >= 2 * sizeof(uint16_t)) {
            uint16_t next;
            memcpy(&next, in + sizeof(uint16_t), sizeof next);
            if (next >= 0xDC00 && next <= 0xDFFF)
                skip = 2 * sizeof(uint16_t);
        }
        in += skip;
        in_left -= skip;
        reset(page.from_ucs2);
    }
    const size_t bytes = static_cast<size_t>(put - out);
    out[bytes] = '\0';
    return bytes + 1;
}

bool select_code_page(const char* name)
{
    CodePage page;
    if (name == nullptr || name[0] == '\0') {
        page = make_locale_page();
    } else if (names_utf8(name)) {
        if (!make_utf8(page)) {
            release(page);
            return false;
        }
    } else if (names_cp932(name)) {
        if (!make_cp932(page)) {
            release(page);
            return false;
        }
    } else {
        return false;
    }
    release(current());
    current() = page;
    ascii_stands_alone = page.stepping != Stepping::locale_mb;
    return true;
}

const char* code_page_name()
{
    return current().name.c_str();
}

namespace {

// Names in the file system, arguments and terminal text are in the locale's
// character set; the program's texts are in the code page chosen above. When
// the two differ (CP932 chosen on a UTF-8 system) names cross the seam
// through iconv, so the program sees the same bytes a Windows system with
// that code page would.
struct SeamConverter {
    std::string from, to;
    iconv_t cd = no_iconv;
};

std::string system_codeset()
{
    static const std::string name = [] {
        CodePage page = make_locale_page();
        std::string n = page.name;
        release(page);
        return n;
    }();
    return name;
}

std::string convert_between(const char* text, const std::string& from, const std::string& to, bool to_system)
{
    if (text == nullptr)
        return std::string();
    if (strcasecmp(from.c_str(), to.c_str()) == 0)
        return text;
    static SeamConverter cache[2];
    SeamConverter* slot = nullptr;
    for (SeamConverter& c : cache)
        if (c.cd != no_iconv && c.from == from && c.to == to)
            slot = &c;
    if (slot == nullptr) {
        slot = &cache[cache[0].cd == no_iconv || (cache[0].from == to && cache[0].to == from) ? 1 : 0];
        if (slot->cd != no_iconv)
            iconv_close(slot->cd);
        slot->from = from;
        slot->to = to;
        slot->cd = iconv_open(to.c_str(), from.c_str());
        if (slot->cd == no_iconv)
            return text;
    }
    iconv(slot->cd, nullptr, nullptr, nullptr, nullptr);
    std::string out;
    size_t in_left = strlen(text);
    char* in = const_cast<char*>(text);
    char buffer[1024];
    while (in_left > 0) {
        char* put = buffer;
        size_t out_left = sizeof buffer;
        size_t r = iconv(slot->cd, &in, &in_left, &put, &out_left);
        out.append(buffer, static_cast<size_t>(put - buffer));
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            // A byte that has no place in the other character set crosses as
            // an escape, and an escape crossing back gives its byte again, so
            // every name survives the round trip and no two names meet.
            const auto* u = reinterpret_cast<const unsigned char*>(in);
            const int escaped = to_system && in_left >= 3 ? escaped_byte(u) : -1;
            size_t used = 1;
            if (escaped >= 0) {
                out.push_back(static_cast<char>(escaped));
                used = 3;
            } else if (to_system) {
                out.push_back('?');
            } else {
                append_escape(out, u[0]);
            }
            in += used;
            in_left -= used;
            iconv(slot->cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return out;
}

}  // namespace

std::string text_to_system(const char* text)
{
    return convert_between(text, current().name, system_codeset(), true);
}
std::string text_from_system(const char* text)
{
    return convert_between(text, system_codeset(), current().name, false);
}

}  // namespace platform
