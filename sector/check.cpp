// A sound Mode 1 sector is recognised by encoding its user data again at the
// address it should carry, on the encoder's fastest path, and comparing all
// 2352 bytes; only a sector that differs is taken apart field by field to
// name what is wrong. Other forms are checked field by field from the start.

#include "sector/check.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/platform.h"
#include "sector/mode1.h"

namespace {

constexpr uint8_t sync_pattern[12] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

// Mode 2 layout: subheader copies at 16 and 20, Form 1 EDC at 2072 over
// 16..2071, Form 2 EDC at 2348 over 16..2347 (zero when none was recorded).
constexpr size_t subheader_offset = 16, form1_edc_offset = 2072, form2_edc_offset = 2348;
constexpr uint8_t submode_form2 = 0x20;

constexpr size_t batch_sectors = 1024;

uint32_t load32le(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool all_zero(const uint8_t* p, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (p[i])
            return false;
    return true;
}

size_t sync_differences(const uint8_t* s)
{
    size_t n = 0;
    for (size_t i = 0; i < sizeof sync_pattern; ++i)
        n += s[i] != sync_pattern[i];
    return n;
}

bool edc_holds(const uint8_t* s, size_t from, size_t edc_at)
{
    return mode1::edc_update(0, s + from, edc_at - from) == load32le(s + edc_at);
}

// P and Q of bytes 12..2247 recomputed and compared with the stored ones;
// for Mode 2 the header counts as zero.
uint32_t parity_faults(const uint8_t* s, bool header_as_zero)
{
    uint8_t copy[raw_sector_size];
    std::memcpy(copy, s, raw_sector_size);
    if (header_as_zero)
        std::memset(copy + mode1::header_offset, 0, 4);
    mode1::write_parity(copy);
    uint32_t faults = 0;
    if (std::memcmp(copy + mode1::p_offset, s + mode1::p_offset, mode1::q_offset - mode1::p_offset) != 0)
        faults |= 1u << unsigned(SectorFault::p_parity);
    if (std::memcmp(copy + mode1::q_offset, s + mode1::q_offset, raw_sector_size - mode1::q_offset) != 0)
        faults |= 1u << unsigned(SectorFault::q_parity);
    return faults;
}

constexpr uint32_t bit(SectorFault fault)
{
    return 1u << unsigned(fault);
}

SectorCheck check_mode2(const uint8_t* s, uint32_t faults)
{
    const uint8_t* sub = s + subheader_offset;
    const bool copies_agree = std::memcmp(sub, sub + 4, 4) == 0;
    size_t copy_differences = 0;
    for (size_t i = 0; i < 4; ++i)
        copy_differences += sub[i] != sub[4 + i];
    // Copies that differ in one or two bytes but agree on the form are a
    // damaged subheader; more is a formless sector's user data.
    SectorKind kind;
    if (copy_differences <= 2 && ((sub[2] ^ sub[6]) & submode_form2) == 0)
        kind = (sub[2] & submode_form2) ? SectorKind::mode2_form2 : SectorKind::mode2_form1;
    else if (edc_holds(s, subheader_offset, form1_edc_offset))
        kind = SectorKind::mode2_form1;
    else if (load32le(s + form2_edc_offset) != 0 && edc_holds(s, subheader_offset, form2_edc_offset))
        kind = SectorKind::mode2_form2;
    else
        return {SectorKind::mode2_formless, faults};  // 2336 bytes without a subheader: nothing to check
    if (!copies_agree)
        faults |= bit(SectorFault::subheader);
    if (kind == SectorKind::mode2_form1) {
        if (!edc_holds(s, subheader_offset, form1_edc_offset))
            faults |= bit(SectorFault::edc);
        faults |= parity_faults(s, true);
    } else if (load32le(s + form2_edc_offset) != 0 && !edc_holds(s, subheader_offset, form2_edc_offset)) {
        faults |= bit(SectorFault::edc);
    }
    return {kind, faults};
}

}  // namespace

const char* sector_kind_name(SectorKind kind)
{
    switch (kind) {
    case SectorKind::mode1: return "Mode 1";
    case SectorKind::mode2_form1: return "Mode 2 Form 1";
    case SectorKind::mode2_form2: return "Mode 2 Form 2";
    case SectorKind::mode2_formless: return "Mode 2 formless";
    case SectorKind::mode0: return "Mode 0";
    case SectorKind::audio: return "audio";
    }
    return "?";
}

const char* sector_fault_name(SectorFault fault)
{
    switch (fault) {
    case SectorFault::sync: return "sync";
    case SectorFault::address: return "header address";
    case SectorFault::mode: return "mode byte";
    case SectorFault::subheader: return "subheader";
    case SectorFault::edc: return "EDC";
    case SectorFault::zero_field: return "zero field";
    case SectorFault::p_parity: return "P parity";
    case SectorFault::q_parity: return "Q parity";
    }
    return "?";
}

bool header_sector_number(const uint8_t* header, uint32_t& number)
{
    const unsigned m = header[0], s = header[1], f = header[2];
    if ((m & 15) > 9 || (s & 15) > 9 || (f & 15) > 9 || s >= 0x60 || f >= 0x75)
        return false;
    const uint32_t address =
        ((m >> 4) * 10 + (m & 15)) * 4500 + ((s >> 4) * 10 + (s & 15)) * 75 + (f >> 4) * 10 + (f & 15);
    number = (address + address_period - 150) % address_period;
    return true;
}

SectorCheck check_sector(const uint8_t* s, uint32_t expected_number)
{
    const size_t differences = sync_differences(s);
    const uint8_t mode = s[mode1::header_offset + 3];
    uint32_t number = 0;
    const bool address_holds =
        header_sector_number(s + mode1::header_offset, number) && number == expected_number % address_period;
    // A damaged sync still leaves a data sector when its header is the
    // expected one: audio samples match an address and mode by chance once
    // in 2^30.
    if (differences > 0 && (mode > 2 || (differences > 2 && !address_holds)))
        return {SectorKind::audio, 0};
    uint32_t faults = differences ? bit(SectorFault::sync) : 0;
    if (!address_holds)
        faults |= bit(SectorFault::address);
    if (mode == 0) {
        if (!all_zero(s + mode1::data_offset, raw_sector_size - mode1::data_offset))
            faults |= bit(SectorFault::zero_field);
        return {SectorKind::mode0, faults};
    }
    if (mode == 2)
        return check_mode2(s, faults);
    // Mode 1, or a mode byte that is neither: checked as Mode 1, whose EDC
    // and parity cover the mode byte too.
    if (mode != 1)
        faults |= bit(SectorFault::mode);
    if (!edc_holds(s, 0, mode1::edc_offset))
        faults |= bit(SectorFault::edc);
    if (!all_zero(s + mode1::zero_offset, mode1::p_offset - mode1::zero_offset))
        faults |= bit(SectorFault::zero_field);
    faults |= parity_faults(s, false);
    return {SectorKind::mode1, faults};
}

uint32_t address_base(const uint8_t* sectors, size_t count)
{
    bool found_header = false;
    uint32_t first_header_base = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* s = sectors + i * raw_sector_size;
        uint32_t number;
        if (sync_differences(s) != 0 || !header_sector_number(s + mode1::header_offset, number))
            continue;
        const uint32_t base = uint32_t((number + address_period - i % address_period) % address_period);
        if (check_sector(s, number).sound())
            return base;
        if (!found_header) {
            found_header = true;
            first_header_base = base;
        }
    }
    return first_header_base;
}

void note_sector(SectorList& list, uint64_t sector)
{
    if (list.count < listed_sectors)
        list.first[list.count] = sector;
    ++list.count;
}

std::string sector_list_text(const SectorList& list)
{
    std::string text;
    const uint64_t shown = std::min<uint64_t>(list.count, listed_sectors);
    for (uint64_t i = 0; i < shown; ++i)
        text += (i ? ", " : "") + std::to_string(list.first[i]);
    if (list.count > shown)
        text += ", ...";
    return text;
}

SectorCheck check_sector_at(const RawSectorChecker& checker, const uint8_t* s, uint64_t index)
{
    const uint32_t expected = uint32_t((checker.base + index % address_period) % address_period);
    if (s[mode1::header_offset + 3] == 1) {
        uint8_t encoded[raw_sector_size];
        encode_mode1_sector(encoded, s + mode1::data_offset, expected);
        if (std::memcmp(encoded, s, raw_sector_size) == 0)
            return {SectorKind::mode1, 0};
    }
    return check_sector(s, expected);
}

void check_raw_sectors(RawSectorChecker& checker, const uint8_t* sectors, size_t count)
{
    if (!checker.have_base && count > 0) {
        checker.base = address_base(sectors, count);
        checker.have_base = true;
    }
    RawCheckSummary& summary = checker.summary;
    for (size_t i = 0; i < count; ++i) {
        const uint64_t index = summary.sectors + i;
        const SectorCheck check = check_sector_at(checker, sectors + i * raw_sector_size, index);
        ++summary.kinds[size_t(check.kind)];
        if (check.sound())
            continue;
        note_sector(summary.bad, index);
        for (size_t f = 0; f < sector_fault_count; ++f)
            if (check.has(SectorFault(f)))
                note_sector(summary.faults[f], index);
    }
    summary.sectors += count;
}

std::string raw_check_text(const RawCheckSummary& summary)
{
    std::string text = "sectors: " + std::to_string(summary.sectors);
    std::string kinds;
    for (size_t k = 0; k < sector_kind_count; ++k) {
        if (summary.kinds[k] == 0)
            continue;
        kinds += (kinds.empty() ? "" : ", ") + std::string(sector_kind_name(SectorKind(k))) + " " +
                 std::to_string(summary.kinds[k]);
        if (SectorKind(k) == SectorKind::audio || SectorKind(k) == SectorKind::mode2_formless)
            kinds += " (not checked)";
    }
    if (!kinds.empty())
        text += " (" + kinds + ")";
    text += "\n";
    if (summary.bad.count == 0) {
        text += "bad sectors: none\n";
    } else {
        text += "bad sectors: " + std::to_string(summary.bad.count) + " (" + sector_list_text(summary.bad) + ")\n";
        for (size_t f = 0; f < sector_fault_count; ++f)
            if (summary.faults[f].count)
                text += "  " + std::string(sector_fault_name(SectorFault(f))) + ": " +
                        std::to_string(summary.faults[f].count) + " (" + sector_list_text(summary.faults[f]) + ")\n";
    }
    if (summary.tail_bytes)
        text += "the last " + std::to_string(summary.tail_bytes) + " bytes are less than one sector\n";
    return text;
}

ImageForm image_form_of(const uint8_t* head, size_t head_size, uint64_t file_size)
{
    if (head_size >= sizeof sync_pattern && file_size >= raw_sector_size &&
        std::memcmp(head, sync_pattern, sizeof sync_pattern) == 0)
        return ImageForm::raw;
    if (file_size > 0 && file_size % user_data_size == 0)
        return ImageForm::plain;
    return ImageForm::unknown;
}

ImageFileCheck check_image_file(const char* path, bool with_hashes, const volatile int32_t* stop)
{
    ImageFileCheck result;
    platform::File in = platform::open_for_reading(path);
    if (!in.valid() || !platform::file_size(in, result.size)) {
        result.error = "cannot open: " + platform::last_error_text();
        return result;
    }
    const size_t block = batch_sectors * raw_sector_size;
    const std::unique_ptr<uint8_t[]> buffer(new uint8_t[block]);
    RawSectorChecker checker;
    FileHashes hashes;
    bool first = true;
    for (uint64_t done = 0; done < result.size;) {
        if (stop && *stop) {
            result.stopped = true;
            return result;
        }
        const size_t n = size_t(std::min<uint64_t>(block, result.size - done));
        const int64_t got = platform::read_full(in, buffer.get(), n);
        if (got != int64_t(n)) {
            result.error = "reading failed at byte " + std::to_string(done) + ": " + platform::short_read_text(got, n);
            return result;
        }
        if (first) {
            result.form = image_form_of(buffer.get(), n, result.size);
            first = false;
        }
        if (with_hashes)
            hashes_update(hashes, buffer.get(), n);
        if (result.form == ImageForm::raw)
            check_raw_sectors(checker, buffer.get(), n / raw_sector_size);
        done += n;
    }
    if (result.form == ImageForm::raw) {
        result.sectors = checker.summary;
        result.sectors.tail_bytes = result.size % raw_sector_size;
    }
    if (with_hashes) {
        result.hashes = hashes_finish(hashes);
        result.hashed = true;
    }
    return result;
}

bool check_raw_image_file(const char* path, std::string& report)
{
    const ImageFileCheck check = check_image_file(path, false);
    if (!check.error.empty()) {
        report = check.error + "\n";
        return false;
    }
    if (check.form != ImageForm::raw) {
        report = "not an image of 2352-byte sectors: it does not start with a sync pattern\n";
        return false;
    }
    report = raw_check_text(check.sectors);
    return check.sectors.clean();
}
