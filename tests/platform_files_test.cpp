// Finding, listing, reading and writing files through the platform layer.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#endif

#include "platform/platform.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

// A fresh folder per test.
class PlatformFiles : public testing::Test {
protected:
    std::string path(const std::string& name) const { return tree_.root + platform::path_separator + name; }
    void make_file(const std::string& name, const std::string& content) const { tree_.file(name, content); }

    TempTree tree_;
    const std::string folder_ = tree_.root;
};

struct Expected {
    std::string path;
    bool directory, hidden, special;
    uint64_t size;
};

void expect_found(const Expected& e)
{
    platform::FileInfo info;
    ASSERT_TRUE(platform::find_file(e.path.c_str(), info)) << e.path;
    EXPECT_EQ((info.attributes & platform::attribute_directory) != 0, e.directory) << e.path;
    EXPECT_EQ((info.attributes & platform::attribute_hidden) != 0, e.hidden) << e.path;
    EXPECT_EQ(info.special, e.special) << e.path;
    EXPECT_EQ(info.size, e.size) << e.path;
}

TEST_F(PlatformFiles, FindFile)
{
    make_file("data.bin", std::string(5000, 'x'));
    fs::create_directory(path("sub"));
    expect_found({path("data.bin"), false, false, false, 5000});
    expect_found({path("sub"), true, false, false, 0});
    platform::FileInfo info;
    EXPECT_FALSE(platform::find_file(path("missing").c_str(), info));
}

TEST_F(PlatformFiles, WriteReplaceReadSeek)
{
    make_file("out.bin", "a longer old content");
    {
        platform::File file = platform::create_for_writing(path("out.bin").c_str());
        ASSERT_TRUE(file.valid()) << platform::last_error_text();
        ASSERT_TRUE(platform::write_all(file, "0123456789", 10));
    }
    platform::File other = platform::open_for_reading(path("out.bin").c_str());
    platform::File file = platform::open_for_reading(path("out.bin").c_str());
    file = std::move(other);  // the shared move-assignment closes one, keeps the other
    ASSERT_TRUE(file.valid() && !other.valid());
    uint64_t size = 0;
    ASSERT_TRUE(platform::file_size(file, size));
    EXPECT_EQ(size, 10u) << "the old content is gone";
    ASSERT_TRUE(platform::seek_to(file, 6));
    char buffer[16] = {};
    EXPECT_EQ(platform::read_full(file, buffer, sizeof buffer), 4);
    EXPECT_STREQ(buffer, "6789");
    EXPECT_EQ(platform::read_some(file, buffer, sizeof buffer), 0);

    EXPECT_FALSE(platform::open_for_reading(path("missing").c_str()).valid());
    EXPECT_FALSE(platform::last_error_text().empty());
    platform::File none;
    EXPECT_FALSE(platform::write_all(none, "x", 1));
}

#ifndef _WIN32
TEST_F(PlatformFiles, PosixHiddenSpecialAndLinkedEntries)
{
    make_file(".profile", "x");
    fs::create_directory(path(".git"));
    make_file("target", "12345");
    ASSERT_EQ(mkfifo(path("pipe").c_str(), 0600), 0);
    ASSERT_EQ(symlink("target", path("link").c_str()), 0);
    ASSERT_EQ(symlink(folder_.c_str(), path("loop").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", path("dangling").c_str()), 0);
    expect_found({path(".profile"), false, true, false, 1});
    expect_found({path(".git"), true, true, false, 0});
    expect_found({path(".git") + "/..", true, false, false, 0});  // ".." is no dot-name
    expect_found({path("pipe"), false, false, true, 0});
    expect_found({"/dev/null", false, false, true, 0});
    expect_found({path("link"), false, false, false, 5});
    platform::FileInfo folder, loop, dangling;
    ASSERT_TRUE(platform::find_file(folder_.c_str(), folder));
    ASSERT_TRUE(platform::find_file(path("loop").c_str(), loop));
    EXPECT_TRUE(loop.object == folder.object && loop.volume == folder.volume) << "a loop is recognisable";
    EXPECT_FALSE(platform::find_file(path("dangling").c_str(), dangling));
}

TEST_F(PlatformFiles, PosixLastWriteTimeIsAFileTime)
{
    make_file("dated", "x");
    const struct {
        int64_t seconds;
        long microseconds;
        uint64_t file_time;
    } cases[] = {
        {0, 0, 116'444'736'000'000'000ull},
        {1'070'971'200, 123'456, 127'154'448'001'234'560ull},
        {-11'644'473'601, 0, 0},  // before 1601: held at the start
    };
    for (const auto& c : cases) {
        const timeval times[2] = {{c.seconds, c.microseconds}, {c.seconds, c.microseconds}};
        struct stat st {};
        // The file system may refuse or clamp a date before 1970; later ones must take.
        if (utimes(path("dated").c_str(), times) != 0 || stat(path("dated").c_str(), &st) != 0 ||
            st.st_mtim.tv_sec != c.seconds) {
            ASSERT_LT(c.seconds, 0) << "the file system did not keep " << c.seconds;
            continue;
        }
        platform::FileInfo info;
        ASSERT_TRUE(platform::find_file(path("dated").c_str(), info));
        EXPECT_EQ(info.last_write, c.file_time) << c.seconds;
    }
}

TEST_F(PlatformFiles, PosixListingIsInByteOrder)
{
    for (const char* name : {"b", "\xC3\xA9", "B", "a b", "a", "_x", "\x7F"})
        make_file(name, "");
    std::vector<std::string> names;
    EXPECT_TRUE(platform::list_directory(folder_.c_str(), [&](const char* name) { names.emplace_back(name); }));
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "B", "_x", "a", "a b", "b", "\x7F", "\xC3\xA9"}));
    EXPECT_FALSE(platform::list_directory(path("missing").c_str(), [](const char*) {}));

    // The listing with attributes: the same order without "." and "..", each
    // item as find_file sees it (a dot-name hidden), a dangling link not found.
    make_file(".hidden", "");
    make_file("a", "four");
    ASSERT_EQ(symlink("nowhere", path("dangling").c_str()), 0);
    std::vector<platform::FoundName> items;
    ASSERT_TRUE(platform::list_directory_found(folder_.c_str(), items));
    std::vector<std::string> found_names;
    for (const platform::FoundName& item : items) {
        found_names.push_back(item.name);
        platform::FileInfo info;
        EXPECT_EQ(item.found, platform::find_file(path(item.name).c_str(), info)) << item.name;
        EXPECT_TRUE(std::tie(item.info.attributes, item.info.size, item.info.last_write, item.info.object) ==
                    std::tie(info.attributes, info.size, info.last_write, info.object))
            << item.name;
    }
    EXPECT_EQ(found_names,
              (std::vector<std::string>{".hidden", "B", "_x", "a", "a b", "b", "dangling", "\x7F", "\xC3\xA9"}));
    EXPECT_TRUE(items[0].info.attributes & platform::attribute_hidden);
    EXPECT_FALSE(items[6].found);
    EXPECT_FALSE(platform::list_directory_found(path("missing").c_str(), items));
}

TEST_F(PlatformFiles, PosixFailuresAndSpecialFiles)
{
    platform::File full = platform::create_for_writing("/dev/full");
    if (full.valid()) {
        const std::vector<char> block(64 * 1024, 'x');
        EXPECT_FALSE(platform::write_all(full, block.data(), block.size()));
        EXPECT_NE(platform::last_error_text().find("space"), std::string::npos) << platform::last_error_text();
    }
    EXPECT_FALSE(platform::open_for_reading(folder_.c_str()).valid()) << "a folder is no file";
    EXPECT_NE(platform::last_error_text().find("directory"), std::string::npos) << platform::last_error_text();
    ASSERT_EQ(mkfifo(path("pipe").c_str(), 0600), 0);
    platform::File pipe = platform::open_for_reading(path("pipe").c_str());  // must not wait for a writer
    ASSERT_TRUE(pipe.valid());
    char byte;
    EXPECT_EQ(platform::read_some(pipe, &byte, 1), 0);
}
#endif

}  // namespace
