#include "verify/image_check.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include "platform/endian.h"
#include "platform/platform.h"
#include "sector/mode1.h"

namespace {

// The file is read this many sectors at a time.
constexpr size_t batch_sectors = 1024;

}  // namespace

ImageFileCheck check_image_file(const char* path, bool with_hashes, const volatile int32_t* stop,
                                const TrackList* tracks)
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
    if (tracks)
        checker.tracks = *tracks;
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
            result.form =
                tracks && result.size >= raw_sector_size ? ImageForm::raw : image_form_of(buffer.get(), n, result.size);
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
        report = "not an image of 2352-byte sectors: no sync pattern at its first sector starts\n";
        return false;
    }
    report = raw_check_text(check.sectors);
    return check.sectors.clean();
}
