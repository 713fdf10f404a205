#include "settings/readers.h"

#include <cstring>

#include "mastering/descriptors.h"
#include "platform/endian.h"
#include "mastering/text.h"
#include "platform/platform.h"
#include "settings/date_field.h"
#include "settings/dialog_ids.h"

namespace {

constexpr size_t text_capacity = 512;  // at most 511 bytes of text

// Walks to the first zero byte (looking at no more than length bytes), then
// writes spaces up to position length - 1 and a zero byte at position length.
void pad_with_spaces(char* buffer, size_t length)
{
    size_t i = 0;
    while (i < length && buffer[i] != 0)
        ++i;
    for (; i < length; ++i)
        buffer[i] = ' ';
    buffer[length] = 0;
}

struct IdentifierRow {
    int primary_id, joliet_id, offset, width;
};

constexpr IdentifierRow identifier_rows[] = {
    {volume_ids::system_primary, volume_ids::system_joliet, descriptor_offset::system_id, 32},
    {volume_ids::volume_primary, volume_ids::volume_joliet, descriptor_offset::volume_id, 32},
    {volume_ids::volume_set_primary, volume_ids::volume_set_joliet, descriptor_offset::volume_set_id, 128},
    {volume_ids::publisher_primary, volume_ids::publisher_joliet, descriptor_offset::publisher_id, 128},
    {volume_ids::preparer_primary, volume_ids::preparer_joliet, descriptor_offset::preparer_id, 128},
    {volume_ids::application_primary, volume_ids::application_joliet, descriptor_offset::application_id, 128},
    {volume_ids::copyright_primary, volume_ids::copyright_joliet, descriptor_offset::copyright_file_id, 37},
    {volume_ids::abstract_primary, volume_ids::abstract_joliet, descriptor_offset::abstract_file_id, 37},
    {volume_ids::bibliographic_primary, volume_ids::bibliographic_joliet, descriptor_offset::bibliographic_file_id, 37},
};

struct DateRow {
    int date_id, zone_id, offset;
};

constexpr DateRow date_rows[] = {
    {volume_ids::creation_date, volume_ids::creation_zone, descriptor_offset::creation_date},
    {volume_ids::modification_date, volume_ids::modification_zone, descriptor_offset::modification_date},
    {volume_ids::expiration_date, volume_ids::expiration_zone, descriptor_offset::expiration_date},
    {volume_ids::effective_date, volume_ids::effective_zone, descriptor_offset::effective_date},
};

bool checked(const ControlReader& reader, int id)
{
    return reader.get_check && reader.get_check(reader.context, id);
}

int selection(const ControlReader& reader, int id)
{
    return reader.get_selection ? reader.get_selection(reader.context, id) : -1;
}

}  // namespace

size_t identifier_bytes_kept(const char* text, size_t width)
{
    size_t kept = 0;
    for (const char* p = text; *p;) {
        const char* next = platform::char_next(p);
        if (size_t(next - text) > width)
            break;
        kept = size_t(next - text);
        p = next;
    }
    return kept;
}

size_t joliet_identifier_bytes_kept(const char* text, size_t width)
{
    size_t units = 0, kept = 0;
    for (const char* p = text; *p;) {
        const char* next = platform::char_next(p);
        char one[16] = {};
        std::memcpy(one, p, size_t(next - p) < sizeof one - 1 ? size_t(next - p) : sizeof one - 1);
        uint16_t converted[8];
        units += to_ucs2be(converted, one, 8) - 1;
        if (units > width / 2)
            break;
        kept = size_t(next - text);
        p = next;
    }
    return kept;
}

size_t identifier_field_width(int id)
{
    for (const IdentifierRow& row : identifier_rows)
        if (id == row.primary_id || id == row.joliet_id)
            return size_t(row.width);
    return 0;
}

void read_volume_dialog(const ControlReader& dialog, ImageSettings& settings)
{
    VolumeDescriptorSet& volume_descriptors = settings.descriptors;
    settings.joliet = checked(dialog, volume_ids::joliet);
    char text[text_capacity];
    uint16_t units[text_capacity];
    for (const IdentifierRow& row : identifier_rows) {
        read_text(dialog, row.primary_id, text, sizeof text);
        pad_with_spaces(text, 510);
        // A multibyte character that the field's end would cut gives way to spaces.
        const size_t kept = identifier_bytes_kept(text, size_t(row.width));
        std::memset(text + kept, ' ', size_t(row.width) - kept);
        std::memcpy(volume_descriptors.primary + row.offset, text, size_t(row.width));

        read_text(dialog, row.joliet_id, text, sizeof text);
        pad_with_spaces(text, 510);
        std::memset(units, 0, sizeof units);
        to_ucs2be(units, text, text_capacity);
        // The first 256 code units, of which the field takes its width in
        // bytes. The first half of a surrogate pair that the field's end
        // would cut gives way to a space, and so does the unit of which a
        // field of odd width (the file identifiers) would take one byte.
        const size_t last = size_t(row.width) / 2 - 1;
        const uint16_t unit = ucs2be_value(units[last]);
        if (unit >= 0xD800 && unit <= 0xDBFF)
            units[last] = ucs2be_unit(' ');
        if (row.width % 2 != 0)
            units[last + 1] = ucs2be_unit(' ');
        std::memcpy(volume_descriptors.supplementary + row.offset, units, size_t(row.width));
    }
    char zone[text_capacity];
    for (const DateRow& row : date_rows) {
        read_text(dialog, row.date_id, text, sizeof text);
        read_text(dialog, row.zone_id, zone, sizeof zone);
        VolumeDate date = parse_volume_date(text, zone);
        std::memcpy(volume_descriptors.primary + row.offset, date.bytes, 17);
        std::memcpy(volume_descriptors.supplementary + row.offset, date.bytes, 17);
    }
}

void read_boot_dialog(const ControlReader& dialog, ImageSettings& settings)
{
    BootSettings& boot_settings = settings.boot;
    uint8_t* boot_catalog = settings.boot_catalog;
    boot_settings.boot_enabled = checked(dialog, boot_ids::enabled);
    int platform_id = selection(dialog, boot_ids::platform);
    boot_catalog[catalog_offset::platform_id] = uint8_t(platform_id < 0 ? 0 : platform_id);

    char text[text_capacity];
    read_text(dialog, boot_ids::id_string, text, sizeof text);
    // Zero bytes follow the text, also where a multibyte character would be cut.
    const size_t kept = identifier_bytes_kept(text, catalog_offset::id_string_length);
    std::memset(text + kept, 0, catalog_offset::id_string_length - kept);
    std::memcpy(boot_catalog + catalog_offset::id_string, text, catalog_offset::id_string_length);

    int media = selection(dialog, boot_ids::media);
    boot_catalog[catalog_offset::media_type] = uint8_t(media < 0 ? 2 : media);

    read_text(dialog, boot_ids::load_segment, text, sizeof text);
    put_le16(boot_catalog + catalog_offset::load_segment, uint16_t(text_to_integer(text)));
    read_text(dialog, boot_ids::system_type, text, sizeof text);
    boot_catalog[catalog_offset::system_type] = uint8_t(text_to_integer(text));
    read_text(dialog, boot_ids::sector_count, text, sizeof text);
    put_le16(boot_catalog + catalog_offset::sector_count, uint16_t(text_to_integer(text)));

    // One byte more than the path holds tells a longer text from one that fits.
    char path[sizeof boot_settings.boot_image_path + 1];
    read_text(dialog, boot_ids::image_path, path, sizeof path);
    boot_settings.boot_image_path_too_long = std::strlen(path) >= sizeof boot_settings.boot_image_path;
    path[sizeof boot_settings.boot_image_path - 1] = 0;
    std::memcpy(boot_settings.boot_image_path, path, sizeof boot_settings.boot_image_path);
    platform::FileInfo info;
    uint64_t size = 0;
    if (boot_settings.boot_image_path[0] && !boot_settings.boot_image_path_too_long &&
        platform::find_file(boot_settings.boot_image_path, info) && !(info.attributes & platform::attribute_directory))
        size = info.size;
    boot_settings.boot_image_full_size = size;
    boot_settings.boot_image_size = uint32_t(size);
    boot_settings.boot_image_sectors = uint32_t((uint64_t(boot_settings.boot_image_size) + 2047) / 2048);
}

void read_dir_record_dialog(const ControlReader& dialog, ImageSettings& settings)
{
    DirRecordSettings& dir_record_settings = settings.dir_record;
    dir_record_settings.use_recorded_date = checked(dialog, dir_record_ids::use_date);
    char date[text_capacity], zone[text_capacity];
    read_text(dialog, dir_record_ids::date, date, sizeof date);
    read_text(dialog, dir_record_ids::zone, zone, sizeof zone);
    dir_record_settings.recorded_date = parse_record_date(date, zone);
}

ImageSettings read_image_settings(const ControlReader& volume, const ControlReader& boot,
                                  const ControlReader& dir_record)
{
    ImageSettings settings;
    init_image_settings(settings);
    read_volume_dialog(volume, settings);
    read_boot_dialog(boot, settings);
    read_dir_record_dialog(dir_record, settings);
    return settings;
}

void open_volume_store(ControlStore& store, const DateSource& now)
{
    store = ControlStore{};
    set_check(store, volume_ids::joliet, true);
    for (const IdentifierRow& row : identifier_rows) {
        set_text(store, row.primary_id, "");
        set_text(store, row.joliet_id, "");
    }
    for (const DateRow& row : date_rows) {
        set_text(store, row.date_id, "0000000000000000");
        set_text(store, row.zone_id, "0");
    }
    char date[32], zone[32];
    set_date_field_to_now(date, zone, now);
    set_text(store, volume_ids::creation_date, date);
    set_text(store, volume_ids::creation_zone, zone);
    set_date_field_to_now(date, zone, now);
    set_text(store, volume_ids::modification_date, date);
    set_text(store, volume_ids::modification_zone, zone);
}

void open_boot_store(ControlStore& store)
{
    store = ControlStore{};
    set_check(store, boot_ids::enabled, false);
    set_selection(store, boot_ids::platform, 0);
    set_text(store, boot_ids::id_string, "");
    set_selection(store, boot_ids::media, 2);
    set_text(store, boot_ids::load_segment, "0");
    set_text(store, boot_ids::system_type, "0");
    set_text(store, boot_ids::sector_count, "1");
    set_text(store, boot_ids::image_path, "");
}

void open_dir_record_store(ControlStore& store, const DateSource& now)
{
    store = ControlStore{};
    set_check(store, dir_record_ids::use_date, false);
    char date[32], zone[32];
    set_date_field_to_now(date, zone, now);
    set_text(store, dir_record_ids::date, date);
    set_text(store, dir_record_ids::zone, zone);
}
