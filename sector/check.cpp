// A sound Mode 1 sector is recognised by encoding its user data again at the
// address it should carry, on the encoder's fastest path, and comparing all
// 2352 bytes; only a sector that differs is taken apart field by field to
// name what is wrong. Other forms are checked field by field from the start.

#include "sector/check.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/endian.h"
#include "platform/platform.h"
#include "sector/mode1.h"

namespace {

using mode2::form1_edc_offset, mode2::form2_edc_offset, mode2::subheader_offset, mode2::submode_form2;

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
    return mode1::edc_update(0, s + from, edc_at - from) == get_le32(s + edc_at);
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
    const SectorKind kind = mode2_form_of(s);
    if (kind == SectorKind::mode2_formless)
        return {kind, faults};  // 2336 bytes without a subheader: nothing to check
    if (!copies_agree)
        faults |= bit(SectorFault::subheader);
    if (kind == SectorKind::mode2_form1) {
        if (!edc_holds(s, subheader_offset, form1_edc_offset))
            faults |= bit(SectorFault::edc);
        faults |= parity_faults(s, true);
    } else if (get_le32(s + form2_edc_offset) != 0 && !edc_holds(s, subheader_offset, form2_edc_offset)) {
        faults |= bit(SectorFault::edc);
    }
    return {kind, faults};
}

}  // namespace

SectorKind mode2_form_of(const uint8_t* s)
{
    const uint8_t* sub = s + subheader_offset;
    size_t copy_differences = 0;
    for (size_t i = 0; i < 4; ++i)
        copy_differences += sub[i] != sub[4 + i];
    // Copies that differ in one or two bytes but agree on the form are a
    // damaged subheader; more is a formless sector's user data.
    if (copy_differences <= 2 && ((sub[2] ^ sub[6]) & submode_form2) == 0)
        return (sub[2] & submode_form2) ? SectorKind::mode2_form2 : SectorKind::mode2_form1;
    if (edc_holds(s, subheader_offset, form1_edc_offset))
        return SectorKind::mode2_form1;
    if (get_le32(s + form2_edc_offset) != 0 && edc_holds(s, subheader_offset, form2_edc_offset))
        return SectorKind::mode2_form2;
    return SectorKind::mode2_formless;
}

const char* track_mode_name(TrackMode mode)
{
    switch (mode) {
    case TrackMode::mode1: return "Mode 1";
    case TrackMode::mode2: return "Mode 2";
    case TrackMode::audio: return "audio";
    }
    return "?";
}

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

SectorCheck check_sector(const uint8_t* s, uint32_t expected_number, TrackMode track)
{
    if (track == TrackMode::audio)
        return {SectorKind::audio, 0};
    uint32_t faults = sync_differences(s) ? bit(SectorFault::sync) : 0;
    uint32_t number = 0;
    if (!header_sector_number(s + mode1::header_offset, number) || number != expected_number % address_period)
        faults |= bit(SectorFault::address);
    const uint8_t mode = s[mode1::header_offset + 3];
    // Mode 0 stands in a track of either mode (ECMA-130 14.3), its sync or
    // its header intact; a zero mode byte over data, or a sector zeroed
    // whole, is a damaged sector of the track's mode.
    const bool framed = !(faults & bit(SectorFault::sync)) || !(faults & bit(SectorFault::address));
    if (mode == 0 && framed && all_zero(s + mode1::data_offset, raw_sector_size - mode1::data_offset))
        return {SectorKind::mode0, faults};
    if (track == TrackMode::mode2) {
        if (mode != 2)
            faults |= bit(SectorFault::mode);
        return check_mode2(s, faults);
    }
    // Mode 1: its EDC and parity cover the mode byte and the header too.
    if (mode != 1)
        faults |= bit(SectorFault::mode);
    if (!edc_holds(s, 0, mode1::edc_offset))
        faults |= bit(SectorFault::edc);
    if (!all_zero(s + mode1::zero_offset, mode1::p_offset - mode1::zero_offset))
        faults |= bit(SectorFault::zero_field);
    faults |= parity_faults(s, false);
    return {SectorKind::mode1, faults};
}

TrackMode image_data_mode(const uint8_t* sectors, size_t count)
{
    size_t mode1_count = 0, mode2_count = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* s = sectors + i * raw_sector_size;
        if (sync_differences(s) != 0)
            continue;
        mode1_count += s[mode1::header_offset + 3] == 1;
        mode2_count += s[mode1::header_offset + 3] == 2;
    }
    return mode2_count > mode1_count ? TrackMode::mode2 : TrackMode::mode1;
}

TrackMode track_mode_at(const TrackList& tracks, uint64_t index)
{
    const auto after = std::upper_bound(tracks.begin(), tracks.end(), index,
                                        [](uint64_t i, const ImageTrack& t) { return i < t.first; });
    return after == tracks.begin() ? TrackMode::mode1 : (after - 1)->mode;
}

bool address_base(const uint8_t* sectors, size_t count, uint64_t first_index, const TrackList& tracks, uint32_t& base)
{
    bool found_header = false;
    base = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* s = sectors + i * raw_sector_size;
        const uint64_t index = first_index + i;
        const TrackMode mode = track_mode_at(tracks, index);
        uint32_t number;
        if (mode == TrackMode::audio || sync_differences(s) != 0 ||
            !header_sector_number(s + mode1::header_offset, number))
            continue;
        const uint32_t candidate = uint32_t((number + address_period - index % address_period) % address_period);
        if (check_sector(s, number, mode).sound()) {
            base = candidate;
            return true;
        }
        if (!found_header) {
            found_header = true;
            base = candidate;
        }
    }
    return found_header;
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

uint32_t expected_address(const RawSectorChecker& checker, uint64_t index)
{
    return uint32_t((checker.base + index % address_period) % address_period);
}

SectorCheck check_sector_at(const RawSectorChecker& checker, const uint8_t* s, uint64_t index)
{
    const uint32_t expected = expected_address(checker, index);
    const TrackMode mode = track_mode_at(checker.tracks, index);
    if (mode == TrackMode::mode1 && s[mode1::header_offset + 3] == 1) {
        uint8_t encoded[raw_sector_size];
        encode_mode1_sector(encoded, s + mode1::data_offset, expected);
        if (std::memcmp(encoded, s, raw_sector_size) == 0)
            return {SectorKind::mode1, 0};
    }
    return check_sector(s, expected, mode);
}

void start_raw_check(RawSectorChecker& checker, const uint8_t* sectors, size_t count, uint64_t first_index)
{
    if (checker.tracks.empty())
        checker.tracks.push_back({0, image_data_mode(sectors, count)});
    if (!checker.have_base)
        checker.have_base = address_base(sectors, count, first_index, checker.tracks, checker.base);
}

void check_raw_sectors(RawSectorChecker& checker, const uint8_t* sectors, size_t count)
{
    if (count > 0)
        start_raw_check(checker, sectors, count, checker.summary.sectors);
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

bool looks_raw(const uint8_t* head, size_t head_size, uint64_t file_size)
{
    if (file_size < raw_sector_size || head_size < sizeof sync_pattern)
        return false;
    if (sync_differences(head) <= 2)
        return true;
    size_t looked = 0, found = 0;
    for (size_t k = 1; k < form_probe_sectors; ++k) {
        const uint64_t at = uint64_t(k) * raw_sector_size;
        if (at + sizeof sync_pattern > head_size || at + raw_sector_size > file_size)
            break;
        ++looked;
        found += std::memcmp(head + at, sync_pattern, sizeof sync_pattern) == 0;
    }
    return found > 0 && 2 * found >= looked;
}

ImageForm image_form_of(const uint8_t* head, size_t head_size, uint64_t file_size)
{
    if (looks_raw(head, head_size, file_size))
        return ImageForm::raw;
    if (file_size > 0 && file_size % user_data_size == 0)
        return ImageForm::plain;
    return ImageForm::unknown;
}
