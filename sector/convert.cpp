#include "sector/convert.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "platform/endian.h"
#include "platform/platform.h"
#include "sector/mode1.h"

namespace {

// Sectors moved per read and write.
constexpr size_t batch_sectors = 512;

struct ConversionBuffers {
    uint8_t plain[batch_sectors * user_data_size];
    uint8_t raw[batch_sectors * raw_sector_size];
};

enum class Form { plain, raw, neither };

Form form_of(const uint8_t* first)
{
    static constexpr uint8_t plain_start[4] = {0x00, 0x00, 0x00, 0x00};
    if (std::memcmp(first, sync_pattern, 4) == 0)
        return Form::raw;
    if (std::memcmp(first, plain_start, 4) == 0)
        return Form::plain;
    return Form::neither;
}

// True when both names lead to the same existing object.
bool same_object(const char* a, const char* b)
{
    if (std::strcmp(a, b) == 0)
        return true;
    platform::FileInfo x, y;
    if (!platform::find_file(a, x) || !platform::find_file(b, y))
        return false;
    return (x.volume != 0 || x.object != 0) && x.volume == y.volume && x.object == y.object;
}

// Headers repeat every 720,000 sectors (the minute is kept modulo 160), so
// counting modulo that period numbers sectors past 2^32 on without a jump.
constexpr uint64_t header_period = 720000;

ConversionResult plain_to_raw(platform::File& in, platform::File& out, uint64_t sectors, ConversionBuffers& b,
                              const volatile int32_t* stop, std::string& why)
{
    for (uint64_t done = 0; done < sectors;) {
        if (stop && *stop)
            return ConversionResult::stopped;
        const size_t n = size_t(sectors - done < batch_sectors ? sectors - done : batch_sectors);
        const size_t bytes = n * user_data_size;
        const int64_t got = platform::read_full(in, b.plain, bytes);
        if (got != int64_t(bytes)) {
            why = platform::short_read_text(got, bytes);
            return ConversionResult::read_failed;
        }
        for (size_t i = 0; i < n; ++i)
            encode_mode1_sector(b.raw + i * raw_sector_size, b.plain + i * user_data_size,
                                uint32_t((done + i) % header_period));
        if (!platform::write_all(out, b.raw, n * raw_sector_size))
            return ConversionResult::write_failed;
        done += n;
    }
    return ConversionResult::plain_to_raw;
}

uint32_t stored_edc(const uint8_t* s)
{
    return get_le32(s + mode1::edc_offset);
}

bool all_zero(const uint8_t* p, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (p[i])
            return false;
    return true;
}

using mode2::form1_data_offset, mode2::form1_edc_offset;

// The user data of one raw sector of the image, and what is wrong with it.
void take_checked_sector(const uint8_t* s, uint8_t* plain, uint64_t index, uint32_t expected, RawConversionCheck& c)
{
    uint32_t number = 0;
    bool placed = std::memcmp(s, sync_pattern, sizeof sync_pattern) == 0 &&
                  header_sector_number(s + mode1::header_offset, number) && number == expected;
    const uint8_t mode = s[mode1::header_offset + 3];
    if (mode == 0 && all_zero(s + mode1::data_offset, raw_sector_size - mode1::data_offset)) {
        std::memset(plain, 0, user_data_size);  // Mode 0: zeros stand in either mode
    } else if (c.mode == TrackMode::mode1) {
        placed = placed && mode == 1;
        if (mode1_edc_and_copy(s, plain) != stored_edc(s))
            note_sector(c.bad_edc, index);
    } else {
        placed = placed && mode == 2;
        std::memcpy(plain, s + form1_data_offset, user_data_size);
        const SectorKind form = mode2_form_of(s);
        if (form != SectorKind::mode2_form1)
            note_sector(c.no_user_data, index);
        else if (mode1::edc_update(0, s + mode1::data_offset, form1_edc_offset - mode1::data_offset) !=
                 get_le32(s + form1_edc_offset))
            note_sector(c.bad_edc, index);
    }
    if (!placed)
        note_sector(c.foreign, index);
}

ConversionResult raw_to_plain(platform::File& in, platform::File& out, uint64_t sectors, ConversionBuffers& b,
                              const volatile int32_t* stop, RawConversionCheck* check, std::string& why)
{
    uint32_t base = 0;
    bool have_base = false;
    for (uint64_t done = 0; done < sectors;) {
        if (stop && *stop)
            return ConversionResult::stopped;
        const size_t n = size_t(sectors - done < batch_sectors ? sectors - done : batch_sectors);
        const size_t bytes = n * raw_sector_size;
        const int64_t got = platform::read_full(in, b.raw, bytes);
        if (got != int64_t(bytes)) {
            why = platform::short_read_text(got, bytes);
            return ConversionResult::read_failed;
        }
        if (check && done == 0)
            check->mode = image_data_mode(b.raw, n);
        if (check && !have_base)
            have_base = address_base(b.raw, n, done, TrackList{{0, check->mode}}, base);
        for (size_t i = 0; i < n; ++i) {
            const uint8_t* sector = b.raw + i * raw_sector_size;
            uint8_t* plain = b.plain + i * user_data_size;
            if (!check)
                std::memcpy(plain, sector + mode1::data_offset, user_data_size);
            else
                take_checked_sector(sector, plain, done + i,
                                    uint32_t((base + (done + i) % header_period) % header_period), *check);
        }
        if (!platform::write_all(out, b.plain, n * user_data_size))
            return ConversionResult::write_failed;
        done += n;
    }
    return ConversionResult::raw_to_plain;
}

}  // namespace

ConversionResult conversion_direction(const uint8_t* head, size_t head_size, uint64_t file_size)
{
    if (head_size < 4 || file_size < 4)
        return ConversionResult::too_short;
    const Form form = form_of(head);
    if (form == Form::neither)
        return file_size < user_data_size ? ConversionResult::too_short : ConversionResult::unknown_form;
    const uint64_t sector_size = form == Form::raw ? raw_sector_size : user_data_size;
    if (file_size < sector_size)
        return ConversionResult::too_short;
    return form == Form::raw ? ConversionResult::raw_to_plain : ConversionResult::plain_to_raw;
}

ConversionResult checked_conversion_direction(const uint8_t* head, size_t head_size, uint64_t file_size)
{
    if (looks_raw(head, head_size, file_size))
        return ConversionResult::raw_to_plain;
    const ConversionResult by_start = conversion_direction(head, head_size, file_size);
    return by_start == ConversionResult::raw_to_plain ? ConversionResult::unknown_form : by_start;
}

ConversionResult convert_image(const char* input_path, const char* output_path, uint64_t* dropped_tail,
                               const volatile int32_t* stop, RawConversionCheck* check, std::string* read_problem)
{
    if (dropped_tail)
        *dropped_tail = 0;
    platform::File in = platform::open_for_reading(input_path);
    if (!in.valid())
        return ConversionResult::cannot_open_input;
    uint64_t size = 0;
    if (!platform::file_size(in, size))
        return ConversionResult::read_failed;

    // The first four bytes decide, or with `check` the first sector starts.
    const size_t head_size = size_t(std::min<uint64_t>(size, check ? form_probe_bytes : 4));
    const std::unique_ptr<uint8_t[]> head(new uint8_t[std::max<size_t>(head_size, 4)]());
    if (size >= 4) {
        const int64_t got = platform::read_full(in, head.get(), head_size);
        if (got != int64_t(head_size)) {
            if (read_problem)
                *read_problem = platform::short_read_text(got, head_size);
            return ConversionResult::read_failed;
        }
    }
    const ConversionResult direction =
        check ? checked_conversion_direction(head.get(), head_size, size) : conversion_direction(head.get(), 4, size);
    if (direction != ConversionResult::raw_to_plain && direction != ConversionResult::plain_to_raw)
        return direction;
    const bool from_raw = direction == ConversionResult::raw_to_plain;
    const uint64_t sector_size = from_raw ? raw_sector_size : user_data_size;
    const uint64_t sectors = size / sector_size;
    if (dropped_tail)
        *dropped_tail = size % sector_size;
    if (same_object(input_path, output_path))
        return ConversionResult::output_is_input;
    if (!platform::seek_to(in, 0))
        return ConversionResult::read_failed;

    platform::File out = platform::create_for_writing_once(output_path);
    if (!out.valid())
        return ConversionResult::cannot_create_output;
    // Room for the whole output set aside first spares the file system
    // finding blocks write by write; what a cut-short conversion did not use
    // is given back.
    const bool reserved = platform::reserve_space(out, sectors * (from_raw ? user_data_size : raw_sector_size));
    const std::unique_ptr<ConversionBuffers> buffers(new ConversionBuffers);
    std::string why;
    const ConversionResult result = from_raw ? raw_to_plain(in, out, sectors, *buffers, stop, check, why)
                                             : plain_to_raw(in, out, sectors, *buffers, stop, why);
    if (result == ConversionResult::read_failed && read_problem)
        *read_problem = why;
    if (reserved && result != direction)
        platform::release_space_past_position(out);
    out.close();
    return result;
}

bool make_converted_name(const char* input_path, char* out)
{
    static constexpr char suffix[] = ".iso";
    const size_t length = std::strlen(input_path);
    if (length + sizeof suffix > converted_name_capacity) {
        out[0] = '\0';
        return false;
    }
    std::memcpy(out, input_path, length);
    std::memcpy(out + length, suffix, sizeof suffix);
    return true;
}

const char* conversion_result_text(ConversionResult result)
{
    switch (result) {
    case ConversionResult::raw_to_plain: return "converted 2352-byte sectors to 2048-byte sectors";
    case ConversionResult::plain_to_raw: return "converted 2048-byte sectors to 2352-byte sectors";
    case ConversionResult::unknown_form:
        return "not converted: the file starts with neither 00 00 00 00 (2048-byte sectors) "
               "nor 00 FF FF FF (2352-byte sectors)";
    case ConversionResult::too_short: return "not converted: the file is shorter than one sector";
    case ConversionResult::cannot_open_input: return "not converted: the file cannot be opened";
    case ConversionResult::cannot_create_output: return "not converted: the output file cannot be created";
    case ConversionResult::output_name_too_long: return "not converted: the output name would be longer than 511 bytes";
    case ConversionResult::read_failed: return "conversion stopped: reading the file failed";
    case ConversionResult::write_failed: return "conversion stopped: writing the output file failed";
    case ConversionResult::output_is_input: return "not converted: the output would replace the input";
    case ConversionResult::stopped: return "conversion stopped";
    }
    return "unknown result";
}
