#include "mastering/writer.h"

#include <algorithm>
#include <cstring>

#include "mastering/descriptors.h"
#include "mastering/entries.h"
#include "mastering/layout.h"
#include "mastering/rock_ridge.h"
#include "platform/platform.h"
#include "sector/mode1.h"

namespace {

// One logical sector of the image, as the unsigned count the copy works in.
constexpr uint32_t sector_bytes = uint32_t(sector_size);

// The message pump and the progress run after every 128 sectors. Plain
// sectors are handed to the file system at the same interval; raw ones 512 at
// a time, which makes every write a whole number of 4096-byte pages long and
// keeps it on page boundaries in the file (2352 = 147 x 16): the system then
// fills its cache pages without merging the ends of writes. A stop after the
// pump finds every counted sector in the file once it is closed.
constexpr uint32_t batch_sectors = 128;
constexpr uint32_t raw_batch_sectors = 512;
static_assert(raw_batch_sectors % batch_sectors == 0 && raw_batch_sectors * raw_sector_size % 4096 == 0);
constexpr size_t batch_capacity = size_t(raw_batch_sectors) * raw_sector_size;

// Source data is read 512 sectors at a time.
constexpr uint32_t read_sectors = 512;
// One byte more for the look past the planned end of a file.
constexpr size_t source_buffer_size = size_t(read_sectors) * sector_bytes + 1;

void flush_batch(ImageWriter& writer)
{
    if (writer.batch_bytes == 0)
        return;
    if (!writer.failed && writer.output.valid() &&
        !platform::write_all(writer.output, writer.batch.get(), writer.batch_bytes)) {
        writer.failed = true;
        writer.failure = platform::last_error_text();
    }
    writer.batch_bytes = 0;
}

void count_sectors(ImageWriter& writer, uint32_t sectors)
{
    writer.sectors_written += sectors;
    if (writer.link)
        writer.link->progress.sectors_written = writer.sectors_written;
}

// Runs at every multiple of batch_sectors written sectors: the test point.
void end_of_batch(ImageWriter& writer)
{
    if (writer.sectors == OutputSectors::plain || writer.sectors_written % raw_batch_sectors == 0)
        flush_batch(writer);
    if (!writer.link)
        return;
    BuildLink& link = *writer.link;
    pump(link);
    const uint32_t total = link.progress.total_sectors;
    link.progress.counter = total ? int32_t(uint64_t(writer.sectors_written) * 100 / total) : 0;
    show_progress(link);
    stop_asked(link);
}

}  // namespace

bool open_image(ImageWriter& writer, const char* path, uint32_t total_sectors)
{
    writer.failed = false;
    writer.failure.clear();
    writer.problems.clear();
    writer.batch_bytes = 0;
    if (!writer.batch)
        writer.batch.reset(new uint8_t[batch_capacity]);
    if (!writer.source_buffer)
        writer.source_buffer.reset(new uint8_t[source_buffer_size]);
    writer.output = platform::create_for_writing_once(path);
    if (!writer.output.valid()) {
        writer.failure = platform::last_error_text();
        return false;
    }
    writer.sectors_written = 0;
    count_sectors(writer, 0);
    // The image is the volume space and one zero sector after it; room for
    // all of it is found at once.
    const uint64_t image_bytes =
        (uint64_t(total_sectors) + 1) * (writer.sectors == OutputSectors::raw ? raw_sector_size : sector_bytes);
    writer.reserved_bytes = platform::reserve_space(writer.output, image_bytes) ? image_bytes : 0;
    return true;
}

void write_sector(ImageWriter& writer, const uint8_t* data)
{
    if (writer_stopped(writer))
        return;
    uint8_t* batch = writer.batch.get();
    if (writer.sectors == OutputSectors::raw) {
        encode_mode1_sector(batch + writer.batch_bytes, data, writer.sectors_written);
        writer.batch_bytes += raw_sector_size;
    } else {
        std::memcpy(batch + writer.batch_bytes, data, sector_bytes);
        writer.batch_bytes += sector_bytes;
    }
    count_sectors(writer, 1);
    if (writer.sectors_written % batch_sectors == 0)
        end_of_batch(writer);
}

namespace {

// Plain output only, with the batch empty: one whole batch of sectors goes
// from `data` to the file as it is, saving the copy into the batch; the count
// and the hooks are those of as many write_sector calls.
void write_whole_batch(ImageWriter& writer, const uint8_t* data)
{
    if (!writer.failed && writer.output.valid() &&
        !platform::write_all(writer.output, data, size_t(batch_sectors) * sector_bytes)) {
        writer.failed = true;
        writer.failure = platform::last_error_text();
    }
    count_sectors(writer, batch_sectors);
    end_of_batch(writer);
}

}  // namespace

bool close_image(ImageWriter& writer)
{
    flush_batch(writer);
    // An output that ended early (a stop, a failed write) keeps no room past
    // its end.
    const uint64_t counted =
        uint64_t(writer.sectors_written) * (writer.sectors == OutputSectors::raw ? raw_sector_size : sector_bytes);
    if (writer.reserved_bytes > 0 && (writer.failed || counted < writer.reserved_bytes))
        platform::release_space_past_position(writer.output);
    writer.reserved_bytes = 0;
    writer.output.close();
    return !writer.failed;
}

namespace {

struct SourceCopy {
    ImageWriter& writer;
    const char* path;
    uint64_t size;  // bytes planned for the source
    platform::File file;
    bool reading;
    uint64_t remaining;        // bytes still expected from the source
    uint32_t sectors_left;     // sectors still to write for it
    bool looked_past = false;  // the last read already asked for a byte past the planned size
    bool grew = false;         // ... and got it
};

// Reads and writes `sectors` of the source's sectors; whatever the source no
// longer gives is written as zeros. False when the build was stopped.
bool copy_by_reading(SourceCopy& c, uint32_t sectors)
{
    ImageWriter& writer = c.writer;
    uint8_t* source_buffer = writer.source_buffer.get();
    while (sectors > 0) {
        uint32_t chunk = sectors < read_sectors ? sectors : read_sectors;
        const uint32_t wanted = uint32_t(std::min<uint64_t>(c.remaining, chunk * sector_bytes));
        int64_t got = 0;
        if (c.reading) {
            // The read that ends the planned data asks for one byte more: a
            // file that has grown gives it, and the look after the copy is
            // saved. A shorter answer than the planned rest reads on as usual.
            if (wanted == c.remaining && wanted > 0 && !c.looked_past) {
                got = platform::read_some(c.file, source_buffer, size_t(wanted) + 1);
                if (got >= int64_t(wanted)) {
                    c.looked_past = true;
                    c.grew = got > int64_t(wanted);
                    got = wanted;
                } else if (got >= 0) {
                    const int64_t rest = platform::read_full(c.file, source_buffer + got, size_t(wanted - got));
                    got = rest < 0 ? -1 : got + rest;
                }
            } else {
                got = platform::read_full(c.file, source_buffer, wanted);
            }
            if (got < 0) {
                writer.problems.push_back({ProblemKind::source_unreadable, c.path, platform::last_error_text()});
                c.reading = false;
                got = 0;
            } else if (uint32_t(got) < wanted) {
                writer.problems.push_back({ProblemKind::source_shrunk, c.path, {}});
                c.reading = false;
            }
        }
        std::memset(source_buffer + got, 0, chunk * sector_bytes - size_t(got));
        const uint32_t first = writer.sectors_written;
        if (!writer.patch.empty() && writer.patch_sector >= first && writer.patch_sector - first < chunk)
            std::memcpy(source_buffer + size_t(writer.patch_sector - first) * sector_bytes + writer.patch_offset,
                        writer.patch.data(), writer.patch.size());
        for (uint32_t k = 0; k < chunk;) {
            if (writer_stopped(writer))
                return false;
            if (writer.sectors == OutputSectors::plain && writer.batch_bytes == 0 && chunk - k >= batch_sectors) {
                write_whole_batch(writer, source_buffer + k * sector_bytes);
                k += batch_sectors;
            } else {
                write_sector(writer, source_buffer + k * sector_bytes);
                ++k;
            }
        }
        c.remaining -= wanted;
        c.sectors_left -= chunk;
        sectors -= chunk;
    }
    return true;
}

// Plain output only: moves whole batches of full source sectors into the image
// inside the system, starting on a batch boundary with the batch buffer empty,
// and keeps the count, the flushes and the hooks of write_sector. Stops at the
// first batch the system does not copy whole and leaves both files positioned
// after the last whole sector it counted, for copy_by_reading to go on from.
void copy_in_system(SourceCopy& c)
{
    ImageWriter& writer = c.writer;
    while (c.remaining / sector_bytes >= batch_sectors && !writer_stopped(writer) && !writer.failed) {
        constexpr uint32_t bytes = batch_sectors * sector_bytes;
        const int64_t got = platform::copy_in_system(c.file, writer.output, bytes);
        if (got == platform::copy_unsupported)
            return;
        const uint32_t whole = got > 0 ? uint32_t(got) / sector_bytes : 0;
        count_sectors(writer, whole);
        c.remaining -= whole * sector_bytes;
        c.sectors_left -= whole;
        if (got == int64_t(bytes)) {
            end_of_batch(writer);
            continue;
        }
        // A short copy (the source shrank) or an error: the rest is read, and
        // reading reports what went wrong.
        if (got > 0 && uint32_t(got) % sector_bytes != 0 &&
            !(platform::seek_to(c.file, c.size - c.remaining) &&
              platform::seek_to(writer.output, uint64_t(writer.sectors_written) * sector_bytes))) {
            writer.problems.push_back({ProblemKind::source_unreadable, c.path, platform::last_error_text()});
            c.reading = false;
        }
        return;
    }
}

// Raw output: `context` is the SourceCopy, `data` a piece of its file mapped
// from the system's cache, a whole number of sectors long. The encoder reads
// each sector where it lies. The count of the copy moves only after a sector
// has been encoded whole, so that it says where reading must go on when the
// file ends inside the piece.
bool encode_mapped(const uint8_t* data, size_t n, void* context)
{
    SourceCopy& c = *static_cast<SourceCopy*>(context);
    for (size_t at = 0; at < n; at += sector_bytes) {
        if (writer_stopped(c.writer))
            return false;
        write_sector(c.writer, data + at);
        c.remaining -= sector_bytes;
        c.sectors_left -= 1;
    }
    return true;
}

// `found`: the scan has just found a regular file at the path. Such a file of
// some planned size is opened without asking again what it is (a folder in
// its place fails at the first read). No file of some planned size is asked
// its size, since the look past its end after the copy sees it grown; an
// empty one is not looked past (files of /proc hold content behind a size of
// 0): it is opened as any file and its size tells.
void copy_sectors(ImageWriter& writer, const char* path, uint64_t n, bool found)
{
    if (writer_stopped(writer))
        return;
    SourceCopy c{writer,
                 path,
                 n,
                 found && n > 0 ? platform::open_found_file(path) : platform::open_for_reading(path),
                 false,
                 n,
                 uint32_t(sectors_for_size(n))};
    c.reading = c.file.valid();
    // A source with bytes laid over it is read and written sector by sector.
    const uint32_t start = writer.sectors_written;
    const bool patched =
        !writer.patch.empty() && writer.patch_sector >= start && writer.patch_sector - start < c.sectors_left;
    if (!c.reading && n > 0)
        writer.problems.push_back({ProblemKind::source_unreadable, path, platform::last_error_text()});
    uint64_t size_now = 0;
    const bool grown = c.reading && n == 0 && platform::file_size(c.file, size_now) && size_now > n;
    if (grown)
        writer.problems.push_back({ProblemKind::source_grown, path, {}});

    // Files of at least two batches go through the system where it can copy:
    // read up to the next batch boundary, then whole batches, then the rest.
    if (c.reading && !patched && writer.sectors == OutputSectors::plain &&
        c.remaining / sector_bytes >= 2 * batch_sectors && !writer.failed) {
        const uint32_t lead = (batch_sectors - writer.sectors_written % batch_sectors) % batch_sectors;
        if (!copy_by_reading(c, lead))
            return;
        copy_in_system(c);
    }
    // Raw output of files of at least two batches: every sector but the last
    // is encoded from the mapped file; the last one is read, and its read
    // looks past the planned end as usual. A file that has shrunk to end
    // before that last sector gives it no byte, so a shrink is seen even
    // where no mapped page lay wholly past the new end.
    if (c.reading && !patched && writer.sectors == OutputSectors::raw && c.sectors_left >= 2 * batch_sectors) {
        const uint64_t mapped = uint64_t(c.sectors_left - 1) * sector_bytes;
        if (platform::read_mapped(c.file, mapped, encode_mapped, &c) != platform::MappedRead::not_mapped &&
            !writer_stopped(writer) && !platform::seek_to(c.file, c.size - c.remaining)) {
            writer.problems.push_back({ProblemKind::source_unreadable, c.path, platform::last_error_text()});
            c.reading = false;
        }
        if (writer_stopped(writer))
            return;
    }
    if (!copy_by_reading(c, c.sectors_left))
        return;
    // A file that grew while it was copied has more to give than planned.
    uint8_t more = 0;
    if (c.reading && !grown && n > 0 && (c.looked_past ? c.grew : platform::read_some(c.file, &more, 1) > 0))
        writer.problems.push_back({ProblemKind::source_grown, path, {}});
}

}  // namespace

void copy_file_sectors(ImageWriter& writer, const char* path, uint32_t n)
{
    copy_sectors(writer, path, n, false);
}

void write_file_data(ImageWriter& writer, const EntryTable& table)
{
    if (writer_stopped(writer))
        return;
    for (uint32_t level = 2; level <= table.max_depth; ++level) {
        for (uint32_t i = 0; i < table.count; ++i) {
            const SourceEntry* e = table.entries[i];
            if (e->depth != level || e->directory != 0)
                continue;
            // Rock Ridge: a hard link's data is its first link's; links,
            // devices, FIFOs and sockets hold none (and are never opened).
            if (e->posix && (e->posix->data_owner || !holds_data(*e->posix)))
                continue;
            copy_sectors(writer, e->source_path, file_size(e), true);
        }
    }
    platform::forget_found_folder();
}
