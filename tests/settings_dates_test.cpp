#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "mastering/dates.h"
#include "mastering/descriptors.h"
#include "platform/endian.h"
#include "settings/control_store.h"
#include "settings/date_field.h"
#include "settings/dialog_ids.h"
#include "settings/readers.h"
#include "test_support.h"

namespace {

TEST(Dates, TextToIntegerReadsLikeTheDialogs)
{
    struct Case {
        const char* text;
        int32_t value;
    };
    const Case cases[] = {
        {"0", 0},   {"", 0},           {"abc", 0},     {"  \t\n12x", 12}, {"-20", -20},
        {"+7", 7},  {"07C0", 7},       {"0x7C0", 0},   {"1984", 1984},    {"- 1", 0},
        {"--1", 0}, {"4294967297", 1}, {"\v\f\r9", 9}, {"70000", 70000},
    };
    for (const Case& c : cases)
        EXPECT_EQ(text_to_integer(c.text), c.value) << '"' << c.text << '"';
}

// A typed date keeps the string-to-integer reading of its zone; one that names
// no real moment or an unrepresentable zone is written as "not specified".
// The last column: the command line's stricter reading accepts the pair.
TEST(Dates, VolumeDateKeepsARealDateAndOtherwiseSaysNotSpecified)
{
    struct Case {
        const char* date;
        const char* zone;
        const char* expected_text;
        uint8_t expected_zone;
        bool strict_ok;
    };
    const char* unspecified = "0000000000000000";
    const Case cases[] = {
        {"0000000000000000", "0", unspecified, 0x00, true},
        {"2003120908050345", "36", "2003120908050345", 0x24, true},
        {"2003120908050345", "-20", "2003120908050345", 0xEC, true},
        {"2003120908050345", "-48", "2003120908050345", 0xD0, true},
        {"2003120908050345", "52", "2003120908050345", 0x34, true},
        {"2003120908050345", "300", unspecified, 0x00, false},
        {"2003120908050345", "53", unspecified, 0x00, false},
        {"2003120908050345", "letters", "2003120908050345", 0x00, false},
        {"2003120908050345", " +36x", "2003120908050345", 0x24, false},
        {"2003120908050345", "", "2003120908050345", 0x00, false},
        {"20031209ABCDEFGH1234", "0", unspecified, 0x00, false},
        {"20031209080503451234", "0", "2003120908050345", 0x00, false},
        {"2003", "0", unspecified, 0x00, false},
        {"2003130908050345", "0", unspecified, 0x00, false},  // month 13
        {"2003022912000000", "0", unspecified, 0x00, false},  // no leap day in 2003
        {"2004022912000000", "0", "2004022912000000", 0x00, true},
        {"2003120924000000", "0", unspecified, 0x00, false},
        {"2003120923600000", "0", unspecified, 0x00, false},
        {"0000000000000000", "36", unspecified, 0x00, false},
    };
    for (const Case& c : cases) {
        VolumeDate d = parse_volume_date(c.date, c.zone);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(d.bytes), 16), c.expected_text) << c.date;
        EXPECT_EQ(d.bytes[16], c.expected_zone) << c.date << ',' << c.zone;
        EXPECT_EQ(date_text_problem(c.date, c.zone, false) == nullptr, c.strict_ok) << c.date << ',' << c.zone;
    }
}

TEST(Dates, RecordDateReadsEachGroupOnItsOwn)
{
    struct Case {
        const char* date;
        const char* zone;
        uint8_t expected[7];
        bool strict_ok;
    };
    const Case cases[] = {
        {"2003120908050345", "36", {103, 12, 9, 8, 5, 3, 36}, true},
        {"0000000000000000", "0", {0, 0, 0, 0, 0, 0, 0}, true},
        {"2003", "0", {0, 0, 0, 0, 0, 0, 0}, false},
        {"2003AB09", "0", {0, 0, 0, 0, 0, 0, 0}, false},
        {"2003-1 7", "-4", {0, 0, 0, 0, 0, 0, 0}, false},
        {"2003 1 9 8 5 3xx", "+36z", {103, 1, 9, 8, 5, 3, 36}, false},
        {"2156010100000000", "0", {0, 0, 0, 0, 0, 0, 0}, false},
        {"1899123123595900", "0", {0, 0, 0, 0, 0, 0, 0}, false},
        {"1900010100000000", "52", {0, 1, 1, 0, 0, 0, 52}, true},
        {"2155123123595999", "-48", {255, 12, 31, 23, 59, 59, 208}, true},
        {"1999123123595999", "-20", {99, 12, 31, 23, 59, 59, 236}, true},
        {"2003120908050345", "-49", {0, 0, 0, 0, 0, 0, 0}, false},
        {"2003113108050345", "0", {0, 0, 0, 0, 0, 0, 0}, false},
    };
    for (const Case& c : cases) {
        RecordDate d = parse_record_date(c.date, c.zone);
        for (int i = 0; i < 7; ++i)
            EXPECT_EQ(d.bytes[i], c.expected[i]) << c.date << " byte " << i;
        EXPECT_EQ(date_text_problem(c.date, c.zone, true) == nullptr, c.strict_ok) << c.date << ',' << c.zone;
    }
}

#ifndef _WIN32
uint64_t file_time_of(int64_t unix_seconds)
{
    return uint64_t(unix_seconds + 11644473600LL) * 10000000ULL;
}

TEST(Dates, RecordingDatesCarryTheBaseBiasOfTheZone)
{
    struct Case {
        const char* tz;
        int64_t unix_seconds;
        uint8_t expected[7];
    };
    // Most files were last written at 2003-12-09 12:00:00 UTC (1070971200).
    const Case cases[] = {
        {"UTC", 1070971200, {103, 12, 9, 12, 0, 0, 0}},
        {"Asia/Tokyo", 1070971200, {103, 12, 9, 3, 0, 0, 0xDC}},
        {"America/New_York", 1070971200, {103, 12, 9, 17, 0, 0, 20}},  // 16:00 while daylight saving is in force
        {"Asia/Kolkata", 1070971200, {103, 12, 9, 6, 30, 0, uint8_t(-22)}},
        // UTC+14 is 56 quarter hours: the same instant in the nearest zone, 48.
        {"Pacific/Kiritimati", 1070971200, {103, 12, 9, 0, 0, 0, uint8_t(-48)}},
        {"Etc/GMT+12", 1070971200, {103, 12, 10, 0, 0, 0, 48}},
        // Instants beyond the year byte are held at its ends.
        {"UTC", -11644473600LL, {0, 1, 1, 0, 0, 0, 0}},
        {"UTC", 7000000000LL, {255, 12, 31, 23, 59, 59, 0}},
    };
    for (const Case& c : cases) {
        TimeZoneScope zone(c.tz);
        tzset();  // for localtime_r below
        RecordDate d;
        record_date_from_file_time(d, file_time_of(c.unix_seconds));
        // The conversion takes the bias in force now, daylight saving included.
        std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        for (int i = 0; i < 7; ++i) {
            int expected = c.expected[i];
            if (i == 3 && local.tm_isdst > 0)
                expected -= 1;
            EXPECT_EQ(d.bytes[i], expected) << c.tz << " byte " << i;
        }
    }
}

TEST(Dates, DateFieldsShowTheStandardTimeZone)
{
    struct Case {
        const char* tz;
        const char* zone;
    };
    const Case cases[] = {{"UTC", "0"},           {"Asia/Tokyo", "36"},         {"America/St_Johns", "-14"},
                          {"Europe/Berlin", "4"}, {"Pacific/Kiritimati", "52"}, {"Etc/GMT+12", "-48"}};
    for (const Case& c : cases) {
        TimeZoneScope scope(c.tz);
        char date[32], zone[32];
        set_date_field_to_now(date, zone);
        EXPECT_STREQ(zone, c.zone) << c.tz;
        EXPECT_EQ(std::strlen(date), 16u);
    }
    // A fixed instant must fit the year byte of a directory record.
    DateSource now;
    EXPECT_FALSE(fixed_date_source(5869584000LL, now));  // 2156-01-01
    EXPECT_FALSE(now.fixed);
    EXPECT_TRUE(fixed_date_source(5869583999LL, now));
    EXPECT_TRUE(fixed_date_source(1070957103, now));  // 2003-12-09 08:05:03 UTC
    char date[32], zone[32];
    set_date_field_to_now(date, zone, now);
    EXPECT_STREQ(date, "2003120908050300");
    EXPECT_STREQ(zone, "0");
}
#endif

TEST(Readers, UntouchedVolumeDialogGivesSpacesAndTheStartTime)
{
    ImageSettings settings;
    init_image_settings(settings);
    DateSource now;
    ASSERT_TRUE(fixed_date_source(1070957103, now));
    ControlStore store;
    open_volume_store(store, now);
    read_volume_dialog(reader_of(store), settings);
    EXPECT_TRUE(settings.joliet);
    const uint8_t* p = settings.descriptors.primary;
    const uint8_t* s = settings.descriptors.supplementary;
    struct Field {
        int offset, width;
    };
    const Field fields[] = {{8, 32},    {40, 32},  {190, 128}, {318, 128}, {446, 128},
                            {574, 128}, {702, 37}, {739, 37},  {776, 37}};
    for (const Field& f : fields) {
        for (int i = 0; i < f.width; ++i) {
            ASSERT_EQ(p[f.offset + i], 0x20) << f.offset;
            ASSERT_EQ(s[f.offset + i], i % 2 ? 0x20 : 0x00) << f.offset;
        }
    }
    EXPECT_EQ(0, std::memcmp(p + 813, "2003120908050300", 16));
    EXPECT_EQ(p[829], 0);
    EXPECT_EQ(0, std::memcmp(p + 830, "2003120908050300", 16));
    EXPECT_EQ(0, std::memcmp(p + 847, "0000000000000000\0", 17));
    EXPECT_EQ(0, std::memcmp(p + 864, "0000000000000000\0", 17));
    EXPECT_EQ(0, std::memcmp(p + 813, s + 813, 4 * 17));
    // Template fields the supplementary inherits from the primary's template.
    EXPECT_EQ(s[0], 2);
    EXPECT_EQ(0, std::memcmp(s + 88, "\x25\x2F\x40", 3));
    EXPECT_EQ(0, std::memcmp(s + 120, p + 120, 12));
    EXPECT_EQ(s[881], 1);
    EXPECT_EQ(p[7], 0);
    EXPECT_EQ(s[7], 0);
}

TEST(Readers, IdentifiersAreCutToTheirFields)
{
    ImageSettings settings;
    init_image_settings(settings);
    ControlStore store;
    open_volume_store(store);
    set_text(store, volume_ids::volume_primary, "CDROM");
    set_text(store, volume_ids::volume_joliet, "CDROM");
    set_text(store, volume_ids::system_primary, "0123456789abcdefghijklmnopqrstuvwxyzABCD");
    set_text(store, volume_ids::system_joliet, "0123456789abcdefghijklmnopqrstuvwxyzABCD");
    set_text(store, volume_ids::copyright_joliet, "0123456789abcdefghijklmnop");
    set_check(store, volume_ids::joliet, false);
    read_volume_dialog(reader_of(store), settings);
    EXPECT_FALSE(settings.joliet);
    const uint8_t* p = settings.descriptors.primary;
    const uint8_t* s = settings.descriptors.supplementary;
    EXPECT_EQ(std::string((const char*)p + 40, 32), "CDROM" + std::string(27, ' '));
    const uint8_t joliet_cdrom[10] = {0, 'C', 0, 'D', 0, 'R', 0, 'O', 0, 'M'};
    EXPECT_EQ(0, std::memcmp(s + 40, joliet_cdrom, 10));
    for (int i = 10; i < 32; ++i)
        EXPECT_EQ(s[40 + i], i % 2 ? 0x20 : 0);
    EXPECT_EQ(std::string((const char*)p + 8, 32), "0123456789abcdefghijklmnopqrstuv");
    EXPECT_EQ(s[8 + 31], 'f');
    // The 37-byte field ends with the high byte of the 19th unit ('i').
    EXPECT_EQ(s[702 + 35], 'h');
    EXPECT_EQ(s[702 + 36], 0x00);
}

TEST(Readers, BootDialogFieldsKeepTheirLowBits)
{
    ImageSettings settings;
    init_image_settings(settings);
    ControlStore store;
    open_boot_store(store);
    read_boot_dialog(reader_of(store), settings);
    EXPECT_FALSE(settings.boot.boot_enabled);
    const uint8_t defaults[8] = {0x88, 0x02, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00};
    EXPECT_EQ(0, std::memcmp(settings.boot_catalog + 32, defaults, 8));
    EXPECT_EQ(settings.boot_catalog[1], 0);
    EXPECT_EQ(settings.boot.boot_image_size, 0u);

    set_text(store, boot_ids::sector_count, "70000");
    set_text(store, boot_ids::system_type, "300");
    set_text(store, boot_ids::load_segment, "1984");
    set_text(store, boot_ids::id_string, "abcdefghijklmnopqrstuvwxyz0123");
    set_selection(store, boot_ids::platform, -1);
    set_selection(store, boot_ids::media, -1);
    read_boot_dialog(reader_of(store), settings);
    EXPECT_EQ(get_le16(settings.boot_catalog + 38), 4464);
    EXPECT_EQ(settings.boot_catalog[36], 44);
    EXPECT_EQ(get_le16(settings.boot_catalog + 34), 0x7C0);
    EXPECT_EQ(std::string((const char*)settings.boot_catalog + 4, 24), "abcdefghijklmnopqrstuvwx");
    EXPECT_EQ(settings.boot_catalog[1], 0);
    EXPECT_EQ(settings.boot_catalog[33], 2);

    set_text(store, boot_ids::id_string, "abcde");
    set_selection(store, boot_ids::platform, 2);
    set_selection(store, boot_ids::media, 0);
    read_boot_dialog(reader_of(store), settings);
    EXPECT_EQ(std::string((const char*)settings.boot_catalog + 4, 24), "abcde" + std::string(19, '\0'));
    EXPECT_EQ(settings.boot_catalog[1], 2);
    EXPECT_EQ(settings.boot_catalog[33], 0);
}

TEST(Readers, DirectoryRecordDialogSetsTheFixedDate)
{
    ImageSettings settings;
    ControlStore store;
    open_dir_record_store(store);
    set_text(store, dir_record_ids::date, "2003120908050345");
    set_text(store, dir_record_ids::zone, "36");
    read_dir_record_dialog(reader_of(store), settings);
    EXPECT_FALSE(settings.dir_record.use_recorded_date);
    const uint8_t expected[7] = {103, 12, 9, 8, 5, 3, 36};
    EXPECT_EQ(0, std::memcmp(settings.dir_record.recorded_date.bytes, expected, 7));
    set_check(store, dir_record_ids::use_date, true);
    read_dir_record_dialog(reader_of(store), settings);
    EXPECT_TRUE(settings.dir_record.use_recorded_date);
}

}  // namespace
