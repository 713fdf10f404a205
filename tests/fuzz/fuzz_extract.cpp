// Extraction of an image of any directory content: a fixed volume whose
// root's "." record opens with SP (so Rock Ridge names, links and CL fields
// are read), the rest of the root directory and the sectors behind it from
// the input. Each input is extracted into a fresh folder inside a scratch
// folder; afterwards the scratch folder must hold that folder and nothing
// else, whatever names, links or relocations the input made up.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "format/ecma119.h"
#include "format/rock_ridge.h"
#include "platform/endian.h"
#include "verify/extract.h"
#include "verify/image_files.h"
#include "verify/image_reader.h"

namespace {

constexpr uint32_t root_sector = 18, root_sectors = 2, image_sectors = 40;

uint32_t put_record(uint8_t* p, uint32_t extent, uint32_t size, const char* id, uint32_t n)
{
    namespace at = directory_record_offset;
    put_both32(p + at::extent, extent);
    put_both32(p + at::data_length, size);
    p[at::file_flags] = 0x02;
    put_both16(p + at::volume_sequence_number, 1);
    p[at::identifier_length] = uint8_t(n);
    std::memcpy(p + at::identifier, id, n);
    p[at::length] = uint8_t(directory_record_length(n));
    return directory_record_length(n);
}

// Removes everything below the folder `fd` (which it closes), never
// following a link, and making each folder searchable first.
void empty_folder(int fd)
{
    DIR* d = fdopendir(fd);
    if (!d) {
        close(fd);
        return;
    }
    std::vector<std::string> names;
    while (dirent* e = readdir(d))
        if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, ".."))
            names.push_back(e->d_name);
    for (const std::string& name : names) {
        struct stat st {};
        if (fstatat(dirfd(d), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
            fchmodat(dirfd(d), name.c_str(), 0700, 0);
            const int inner = openat(dirfd(d), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
            if (inner >= 0)
                empty_folder(inner);
            unlinkat(dirfd(d), name.c_str(), AT_REMOVEDIR);
        } else {
            unlinkat(dirfd(d), name.c_str(), 0);
        }
    }
    closedir(d);
}

std::vector<std::string> names_in(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d))
            if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, ".."))
                names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

const std::string& scratch()
{
    static const std::string folder = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/fuzz_extract.XXXXXX";
        if (!mkdtemp(pattern.data()))
            std::abort();
        static std::string removed_at_exit;
        removed_at_exit = pattern;
        std::atexit([] { rmdir(removed_at_exit.c_str()); });
        return pattern;
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> image(size_t(image_sectors) * 2048, 0);
    uint8_t* pvd = &image[16 * 2048];
    pvd[0] = 1;
    std::memcpy(pvd + 1, "CD001", 5);
    pvd[6] = 1;
    put_both32(pvd + 80, image_sectors);
    put_both16(pvd + 120, 1);
    put_both16(pvd + 124, 1);
    put_both16(pvd + 128, 2048);
    put_record(pvd + 156, root_sector, root_sectors * 2048, "\0", 1);
    uint8_t* terminator = &image[17 * 2048];
    terminator[0] = 255;
    std::memcpy(terminator + 1, "CD001", 5);
    terminator[6] = 1;
    uint8_t* root = &image[root_sector * 2048];
    uint32_t n = put_record(root, root_sector, root_sectors * 2048, "\0", 1);
    const uint8_t sp[] = {'S', 'P', 7, 1, susp::sp_check_first, susp::sp_check_second, 0};
    std::memcpy(root + n, sp, sizeof sp);
    root[0] = uint8_t(n + sizeof sp);
    uint8_t* p = root + root[0];
    p += put_record(p, root_sector, root_sectors * 2048, "\1", 1);
    const size_t offset = size_t(p - image.data());
    std::memcpy(p, data, std::min(size, image.size() - offset));

    ImageSource source;
    use_image_bytes(image.data(), image.size(), source);
    const ImageReading reading = read_image(source);
    ImageFiles files;
    std::string why;
    if (!image_files(reading, TreeChoice::automatic, files, why))
        return 0;
    const std::string& parent = scratch();
    const std::string into = parent + "/x";
    ExtractOptions options;
    options.boot = true;
    (void)extract_image(source, reading, files, into.c_str(), options, [](const std::string&) {});
    const std::vector<std::string> names = names_in(parent);
    if (names.size() != 1 || names[0] != "x") {
        for (const std::string& name : names)
            std::fprintf(stderr, "outside the extraction folder: %s\n", name.c_str());
        std::abort();
    }
    const int fd = open(into.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (fd >= 0)
        empty_folder(fd);
    rmdir(into.c_str());
    return 0;
}
