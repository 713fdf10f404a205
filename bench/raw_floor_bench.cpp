// The least work any raw build of some files has to do, as the floor under
// its CPU time: every source sector taken from the system's cache (mapped, in
// the pieces the build maps), its 2048 bytes put in the user-data field of a
// 2352-byte slot (the raw layout interleaves, so the data cannot pass through
// untouched), and the slots written 512 at a time into a file whose room was
// set aside first, through the build's own platform calls. Nothing is
// encoded: the other 304 bytes of each slot keep whatever they held.
//
//   raw_floor_bench OUTPUT FILE...    prints the CPU seconds (user + system)
//                                     of that work; OUTPUT stays (removing it
//                                     would count the freeing of its cache)

#include <sys/resource.h>

#include <cstdio>
#include <cstring>

#include "platform/cd_sector.h"
#include "platform/platform.h"

namespace {

constexpr size_t slots_per_write = 512;
uint8_t slots[slots_per_write * raw_sector_size];
size_t filled = 0;
platform::File output;
bool failed = false;

void write_slots()
{
    if (filled > 0 && !platform::write_all(output, slots, filled * raw_sector_size))
        failed = true;
    filled = 0;
}

bool place(const uint8_t* data, size_t n, void*)
{
    for (size_t at = 0; at + user_data_size <= n; at += user_data_size) {
        std::memcpy(slots + filled * raw_sector_size + 16, data + at, user_data_size);
        if (++filled == slots_per_write)
            write_slots();
    }
    return true;
}

double cpu_seconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: raw_floor_bench OUTPUT FILE...\n");
        return 2;
    }
    const double start = cpu_seconds();
    uint64_t total = 0;
    for (int i = 2; i < argc; ++i) {
        platform::File source = platform::open_for_reading(argv[i]);
        uint64_t size = 0;
        if (!source.valid() || !platform::file_size(source, size)) {
            std::fprintf(stderr, "raw_floor_bench: cannot read %s\n", argv[i]);
            return 1;
        }
        total += (size + user_data_size - 1) / user_data_size * raw_sector_size;
    }
    output = platform::create_for_writing(argv[1]);
    if (!output.valid()) {
        std::fprintf(stderr, "raw_floor_bench: cannot write %s\n", argv[1]);
        return 1;
    }
    (void)platform::reserve_space(output, total);
    for (int i = 2; i < argc && !failed; ++i) {
        platform::File source = platform::open_for_reading(argv[i]);
        uint64_t size = 0;
        if (!platform::file_size(source, size) ||
            platform::read_mapped(source, size / user_data_size * user_data_size, place, nullptr) !=
                platform::MappedRead::whole) {
            std::fprintf(stderr, "raw_floor_bench: cannot map %s\n", argv[i]);
            failed = true;
        }
    }
    write_slots();
    output.close();
    const double used = cpu_seconds() - start;
    if (failed) {
        std::fprintf(stderr, "raw_floor_bench: the output could not be written\n");
        return 1;
    }
    std::printf("%.6f\n", used);
    return 0;
}
