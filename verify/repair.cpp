// Repair of raw sectors with the product code of ECMA-130 Annex A.
//
// Bytes 12..2351 of a Mode 1 or Mode 2 Form 1 sector form the ring: 1170
// two-byte words, read as two byte planes. Each P codeword is a column of 24
// bytes (ring bytes c, c + 86, ..., c + 86 * 23) with its two parity bytes at
// c + 2064 and c + 2150: RS(26,24). Each Q codeword is a diagonal of 43 bytes
// (ring byte (86 * (d / 2) + 88 * j + d % 2) mod 2236 for j = 0..42) with its
// two parity bytes at 2236 + d and 2288 + d: RS(45,43). A codeword v[0..L-1]
// holds when S0 = XOR v[k] and S1 = XOR alpha^(L-1-k) v[k] are both zero.
//
// The correction rule. A single wrong byte e at position k gives S0 = e and
// S1 = alpha^(L-1-k) e, so it is found and undone whenever both syndromes are
// non-zero and log(S1 / S0) names a position inside the codeword. Anything
// else (one syndrome zero, or a position beyond the codeword) is two or more
// wrong bytes, and that codeword waits. Each byte of ring bytes 0..2235 lies
// in one P column and one Q diagonal, and a byte that is really wrong upsets
// both, so a correction is backed by the other direction, in this order:
//   1. P and Q passes taking only corrections after which the crossing
//      codeword holds too (a wrong byte alone in both of its codewords);
//   2. when those are stuck, erasures: the bytes where a failing P column
//      crosses a failing Q diagonal are the suspects, and a codeword with
//      exactly two suspects is solved for both: with a = alpha^(L-1-k) of
//      each, e1 + e2 = S0 and a1 e1 + a2 e2 = S1 give
//      e1 = (S1 + a2 S0) / (a1 + a2);
//   3. when those are stuck too, P and Q passes taking any single-byte
//      correction whose crossing codeword fails (the Q parity bytes, in no P
//      column, always).
// and back to 1, until nothing changes (at most max_rounds rounds). When
// then every P codeword holds, the Q parity is written anew from the bytes P
// protects (they are all of them but the Q parity itself).
//
// So every pattern with at most one wrong byte per P column, or per Q
// diagonal, is corrected (so any burst of up to 86 bytes); two wrong bytes in one codeword are mended through the other
// direction when the codewords crossing them hold one each (a burst of
// 87..~130 bytes sometimes); a burst of two whole rows (172 bytes) or more
// leaves two or more wrong bytes in every codeword it touches and is not.
//
// Two or more wrong bytes can look like one wrong byte elsewhere and be
// "corrected" into a third. Nothing is therefore taken on trust: a sector
// counts as repaired only when the corrected sector checks sound as a whole,
// its EDC included (32 bits over the user data and the header for Mode 1,
// over subheader and data for Form 1), all P and Q codewords holding, and its
// header address the expected one. Otherwise its original bytes stay.
//
// The header address is protected by P and Q in Mode 1 only (Form 1 computes
// them with the header as zero), so only there is a damaged address repaired,
// by the parity, never from the sector's position in the file. A damaged sync
// pattern of a data sector is restored: it is a fixed pattern, and for Mode 1
// the EDC covers it. So is the mode byte: a data track's sectors carry its
// mode (Mode 0 apart). For Mode 1 the EDC covers the mode byte too; for Mode 2
// nothing does, so a sector counts as repaired only as Mode 1, Mode 0, Form 1,
// or Form 2 with a recorded EDC: a formless Mode 2 sector has nothing that
// would show the repair right, and a sector of another mode given mode byte 2
// reads as formless. A zero mode byte over data that corrects to zeros was a
// Mode 0 sector, and stays one.

#include "verify/repair.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "platform/endian.h"
#include "sector/mode1.h"

namespace {

constexpr int max_rounds = 16;
constexpr size_t p_length = 26, q_length = 45, p_codewords = 86, q_codewords = 52;
constexpr size_t batch_sectors = 1024;
using mode2::form2_edc_offset;

bool all_zero(const uint8_t* p, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (p[i])
            return false;
    return true;
}

struct CodewordPositions {
    std::array<std::array<uint16_t, p_length>, p_codewords> p{};
    std::array<std::array<uint16_t, q_length>, q_codewords> q{};
};

constexpr CodewordPositions make_positions()
{
    CodewordPositions t{};
    for (size_t c = 0; c < p_codewords; ++c)
        for (size_t j = 0; j < p_length; ++j)
            t.p[c][j] = uint16_t(86 * j + c);
    for (size_t d = 0; d < q_codewords; ++d) {
        for (size_t j = 0; j < 43; ++j)
            t.q[d][j] = uint16_t((86 * (d / 2) + 88 * j + d % 2) % 2236);
        t.q[d][43] = uint16_t(2236 + d);
        t.q[d][44] = uint16_t(2288 + d);
    }
    return t;
}
constexpr CodewordPositions positions = make_positions();

inline uint8_t times_alpha(uint8_t x)
{
    return uint8_t((x << 1) ^ ((x & 0x80) ? 0x1D : 0));
}

template <size_t length>
void syndromes(const uint8_t* ring, const std::array<uint16_t, length>& at, uint8_t& s0, uint8_t& s1)
{
    s0 = 0;
    s1 = 0;
    for (size_t k = 0; k < length; ++k) {
        s0 ^= ring[at[k]];
        s1 = uint8_t(times_alpha(s1) ^ ring[at[k]]);  // Horner: v[k] gets alpha^(length-1-k)
    }
}

// Ring bytes 0..2235 lie in one P column and one Q diagonal each.
constexpr size_t crossed_bytes = 2236;
size_t q_codeword_of(size_t position)
{
    const size_t word = position / 2, row = word / 43, column = word % 43;
    return 2 * ((row + 26 - column % 26) % 26) + position % 2;
}

// Whether the codeword of the other direction through `position` holds.
bool crossing_holds(const uint8_t* ring, size_t position, bool p_direction)
{
    uint8_t s0, s1;
    if (p_direction)
        syndromes(ring, positions.q[q_codeword_of(position)], s0, s1);
    else
        syndromes(ring, positions.p[position % 86], s0, s1);
    return s0 == 0 && s1 == 0;
}

enum class Codeword { holds, corrected, failed };
// How much the other direction must back a single-byte correction.
enum class Backing {
    confirmed,  // the crossing codeword holds once the byte is corrected
    suspected,  // the crossing codeword fails before (bytes outside P: always)
};

// Applies the rule above to one codeword of the ring; `header_fixed` keeps
// corrections out of the (zeroed) Form 1 header.
template <size_t length>
Codeword correct_codeword(uint8_t* ring, const std::array<uint16_t, length>& at, bool p_direction, Backing backing,
                          bool header_fixed)
{
    uint8_t s0, s1;
    syndromes(ring, at, s0, s1);
    if (s0 == 0 && s1 == 0)
        return Codeword::holds;
    if (s0 == 0 || s1 == 0)
        return Codeword::failed;
    const unsigned e = (mode1::gf_log[s1] + 255u - mode1::gf_log[s0]) % 255u;
    if (e >= length)
        return Codeword::failed;
    const uint16_t position = at[length - 1 - e];
    if (header_fixed && position < 4)
        return Codeword::failed;
    if (position >= crossed_bytes) {
        if (backing == Backing::confirmed)
            return Codeword::failed;
    } else if (backing == Backing::suspected) {
        if (crossing_holds(ring, position, p_direction))
            return Codeword::failed;
    } else {
        ring[position] ^= s0;
        if (crossing_holds(ring, position, p_direction))
            return Codeword::corrected;
        ring[position] ^= s0;
        return Codeword::failed;
    }
    ring[position] ^= s0;
    return Codeword::corrected;
}

template <size_t count, size_t length>
bool correct_erasures(uint8_t* ring, const std::array<std::array<uint16_t, length>, count>& codewords,
                      const bool* other_fails, bool p_direction, bool header_fixed)
{
    bool changed = false;
    for (const auto& at : codewords) {
        uint8_t s0, s1;
        syndromes(ring, at, s0, s1);
        if (s0 == 0 && s1 == 0)
            continue;
        size_t suspects[3], found = 0;
        for (size_t k = 0; k < length && found < 3; ++k) {
            const size_t position = at[k];
            if (position >= crossed_bytes || (header_fixed && position < 4))
                continue;
            if (other_fails[p_direction ? q_codeword_of(position) : position % 86])
                suspects[found++] = k;
        }
        if (found != 2)
            continue;
        const uint8_t a1 = mode1::gf_pow_alpha(int(length - 1 - suspects[0]));
        const uint8_t a2 = mode1::gf_pow_alpha(int(length - 1 - suspects[1]));
        const uint8_t e1 = mode1::gf_div(uint8_t(s1 ^ mode1::gf_mul(a2, s0)), uint8_t(a1 ^ a2));
        ring[at[suspects[0]]] ^= e1;
        ring[at[suspects[1]]] ^= uint8_t(s0 ^ e1);
        changed = true;
    }
    return changed;
}

template <size_t count, size_t length>
void note_failing(const uint8_t* ring, const std::array<std::array<uint16_t, length>, count>& codewords, bool* fails)
{
    for (size_t i = 0; i < count; ++i) {
        uint8_t s0, s1;
        syndromes(ring, codewords[i], s0, s1);
        fails[i] = s0 != 0 || s1 != 0;
    }
}

bool erasure_pass(uint8_t* ring, bool header_fixed)
{
    bool p_fails[p_codewords], q_fails[q_codewords];
    note_failing(ring, positions.p, p_fails);
    note_failing(ring, positions.q, q_fails);
    if (correct_erasures(ring, positions.p, q_fails, true, header_fixed))
        return true;
    return correct_erasures(ring, positions.q, p_fails, false, header_fixed);
}

bool single_byte_pass(uint8_t* ring, Backing backing, bool header_fixed)
{
    bool changed = false;
    for (const auto& p : positions.p)
        changed |= correct_codeword(ring, p, true, backing, header_fixed) == Codeword::corrected;
    for (const auto& q : positions.q)
        changed |= correct_codeword(ring, q, false, backing, header_fixed) == Codeword::corrected;
    return changed;
}

void correct_ring(uint8_t* ring, bool header_fixed)
{
    for (int round = 0; round < max_rounds; ++round) {
        if (!single_byte_pass(ring, Backing::confirmed, header_fixed) && !erasure_pass(ring, header_fixed) &&
            !single_byte_pass(ring, Backing::suspected, header_fixed))
            return;
    }
}

bool all_p_hold(const uint8_t* ring)
{
    for (const auto& p : positions.p) {
        uint8_t s0, s1;
        syndromes(ring, p, s0, s1);
        if (s0 != 0 || s1 != 0)
            return false;
    }
    return true;
}

void note_remaining(RawCheckSummary& summary, uint64_t index, const SectorCheck& check)
{
    note_sector(summary.bad, index);
    for (size_t f = 0; f < sector_fault_count; ++f)
        if (check.has(SectorFault(f)))
            note_sector(summary.faults[f], index);
}

}  // namespace

SectorRepair repair_sector(uint8_t* sector, uint32_t expected_number, TrackMode track)
{
    const SectorCheck before = check_sector(sector, expected_number, track);
    if (before.sound())
        return SectorRepair::sound;
    const bool form1 = before.kind == SectorKind::mode2_form1;
    uint8_t work[raw_sector_size];
    std::memcpy(work, sector, raw_sector_size);
    std::memcpy(work, sync_pattern, sizeof sync_pattern);
    const uint8_t mode = work[mode1::header_offset + 3];
    if (before.kind != SectorKind::mode0)
        work[mode1::header_offset + 3] = track == TrackMode::mode2 ? 2 : 1;
    if (before.kind == SectorKind::mode1 || form1) {
        uint8_t header[4];
        std::memcpy(header, work + mode1::header_offset, 4);
        if (form1)
            std::memset(work + mode1::header_offset, 0, 4);
        correct_ring(work + mode1::header_offset, form1);
        // Every byte but the Q parity lies in a P codeword: when they all hold
        // (and the EDC below agrees), Q is written anew from them.
        if (all_p_hold(work + mode1::header_offset))
            mode1::write_parity(work);
        if (form1)
            std::memcpy(work + mode1::header_offset, header, 4);
        // A zero mode byte over data corrected to zeros was a Mode 0 sector.
        if (mode == 0 && all_zero(work + mode1::data_offset, raw_sector_size - mode1::data_offset))
            work[mode1::header_offset + 3] = 0;
    }
    const SectorCheck after = check_sector(work, expected_number, track);
    const bool backed = after.kind == SectorKind::mode1 || after.kind == SectorKind::mode0 ||
                        after.kind == SectorKind::mode2_form1 ||
                        (after.kind == SectorKind::mode2_form2 && get_le32(work + form2_edc_offset) != 0);
    if (!after.sound() || !backed)
        return SectorRepair::unrepairable;
    std::memcpy(sector, work, raw_sector_size);
    return SectorRepair::repaired;
}

ImageRepair repair_image_file(const char* input, platform::File& output, const volatile int32_t* stop,
                              const TrackList* tracks)
{
    ImageRepair result;
    platform::File in = platform::open_for_reading(input);
    uint64_t size = 0;
    if (!in.valid() || !platform::file_size(in, size)) {
        result.error = "cannot open " + std::string(input) + ": " + platform::last_error_text();
        return result;
    }
    const size_t block = batch_sectors * raw_sector_size;
    const std::unique_ptr<uint8_t[]> buffer(new uint8_t[block]);
    RawSectorChecker checker;
    if (tracks)
        checker.tracks = *tracks;
    result.tail_bytes = size % raw_sector_size;
    platform::File copy_source = platform::open_for_reading(input);
    for (uint64_t done = 0; done < size;) {
        if (stop && *stop) {
            result.stopped = true;
            return result;
        }
        const size_t n = size_t(std::min<uint64_t>(block, size - done));
        const int64_t got = platform::read_full(in, buffer.get(), n);
        if (got != int64_t(n)) {
            result.error = "reading " + std::string(input) + " failed: " + platform::short_read_text(got, n);
            return result;
        }
        const size_t count = n / raw_sector_size;
        if (done == 0) {
            if (!(tracks && size >= raw_sector_size) && image_form_of(buffer.get(), n, size) != ImageForm::raw)
                return result;
            result.raw = true;
        }
        start_raw_check(checker, buffer.get(), count, result.sectors);
        bool changed = false;
        for (size_t i = 0; i < count; ++i) {
            uint8_t* s = buffer.get() + i * raw_sector_size;
            const uint64_t index = result.sectors + i;
            if (check_sector_at(checker, s, index).sound())
                continue;
            changed = true;
            const uint32_t expected = expected_address(checker, index);
            const TrackMode mode = track_mode_at(checker.tracks, index);
            if (repair_sector(s, expected, mode) == SectorRepair::repaired) {
                result.repaired.push_back(index);
            } else {
                result.unrepairable.push_back(index);
                note_remaining(result.remaining, index, check_sector(s, expected, mode));
            }
        }
        result.sectors += count;
        // A block without a bad sector is copied by the system where it can
        // (the output is at the same offset as the input, so pages line up).
        int64_t copied = platform::copy_unsupported;
        if (!changed && copy_source.valid() && platform::seek_to(copy_source, done))
            copied = platform::copy_in_system(copy_source, output, n);
        if (copied == platform::copy_unsupported) {
            if (!changed)
                copy_source.close();  // not this way: no further tries
            if (!platform::write_all(output, buffer.get(), n)) {
                result.error = "writing failed: " + platform::last_error_text();
                return result;
            }
        } else if (copied != int64_t(n)) {
            result.error = copied < 0 ? "writing failed: " + platform::last_error_text()
                                      : std::string("the image became shorter while it was read");
            return result;
        }
        done += n;
    }
    result.remaining.sectors = result.sectors;
    result.remaining.tail_bytes = result.tail_bytes;
    return result;
}
