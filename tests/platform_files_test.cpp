// Finding, listing, reading and writing files through the platform layer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#endif

#include "platform/platform.h"

namespace {

namespace fs = std::filesystem;

// A fresh folder per test below the test framework's temporary folder.
class PlatformFiles : public testing::Test {
protected:
    void SetUp() override {
        const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
        folder_ = testing::TempDir() + "tw_platform_" + info->name();
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    std::string path(const std::string& name) const { return folder_ + platform::path_separator + name; }
    void make_file(const std::string& name, const std::string& content) const {
        std::ofstream(path(name), std::ios::binary) << content;
    }
    std::string read_back(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::string folder_;
};

std::vector<std::string> listing(const std::string& folder) {
    std::vector<std::string> names;
    EXPECT_TRUE(platform::list_directory(folder.c_str(), [&](const char* name) {
        if (name[0] != '.') names.emplace_back(name);
    }));
    return names;
}

TEST_F(PlatformFiles, FindFileReportsSizeAndKind) {
    make_file("data.bin", std::string(5000, 'x'));
    make_file("empty", "");
    fs::create_directory(path("sub"));
    const struct {
        const char* name;
        bool found;
        bool directory;
        uint64_t size;
    } cases[] = {
        {"data.bin", true, false, 5000},
        {"empty", true, false, 0},
        {"sub", true, true, 0},
        {"missing", false, false, 0},
    };
    for (const auto& c : cases) {
        platform::FileInfo info;
        ASSERT_EQ(platform::find_file(path(c.name).c_str(), info), c.found) << c.name;
        if (!c.found) continue;
        EXPECT_EQ((info.attributes & platform::attribute_directory) != 0, c.directory) << c.name;
        EXPECT_EQ(info.attributes & platform::attribute_hidden, 0u) << c.name;
        EXPECT_EQ(info.size, c.size) << c.name;
        EXPECT_FALSE(info.special) << c.name;
    }
}

TEST_F(PlatformFiles, ListDirectoryNamesEveryEntry) {
    for (const char* name : {"b.txt", "a.txt", "C.TXT"}) make_file(name, "1");
    fs::create_directory(path("dir"));
    std::vector<std::string> names = listing(folder_);
#ifdef _WIN32
    std::sort(names.begin(), names.end());  // the order is the file system's
#endif
    EXPECT_EQ(names, (std::vector<std::string>{"C.TXT", "a.txt", "b.txt", "dir"}));
    EXPECT_FALSE(platform::list_directory(path("missing").c_str(), [](const char*) {}));
}

TEST_F(PlatformFiles, WriteReadSeekAndSize) {
    const std::string name = path("out.bin");
    {
        platform::File file = platform::create_for_writing(name.c_str());
        ASSERT_TRUE(file.valid()) << platform::last_error_text();
        ASSERT_TRUE(platform::write_all(file, "0123456789", 10));
    }
    platform::File file = platform::open_for_reading(name.c_str());
    ASSERT_TRUE(file.valid()) << platform::last_error_text();
    uint64_t size = 0;
    ASSERT_TRUE(platform::file_size(file, size));
    EXPECT_EQ(size, 10u);
    ASSERT_TRUE(platform::seek_to(file, 6));
    char buffer[16] = {};
    EXPECT_EQ(platform::read_full(file, buffer, sizeof buffer), 4);
    EXPECT_STREQ(buffer, "6789");
    EXPECT_EQ(platform::read_some(file, buffer, sizeof buffer), 0) << "at the end";
    EXPECT_FALSE(platform::seek_to(file, UINT64_MAX));
}

TEST_F(PlatformFiles, CreateForWritingReplacesAnExistingFile) {
    make_file("old.txt", "a long old content");
    {
        platform::File file = platform::create_for_writing(path("old.txt").c_str());
        ASSERT_TRUE(file.valid());
        ASSERT_TRUE(platform::write_all(file, "new", 3));
    }
    EXPECT_EQ(read_back("old.txt"), "new");
}

TEST_F(PlatformFiles, FailuresAreReportedWithAReason) {
    platform::File missing = platform::open_for_reading(path("missing").c_str());
    EXPECT_FALSE(missing.valid());
    EXPECT_FALSE(platform::last_error_text().empty());

    platform::File in_missing_folder = platform::create_for_writing(path("no/such/file").c_str());
    EXPECT_FALSE(in_missing_folder.valid());

    platform::File none;
    EXPECT_FALSE(platform::write_all(none, "x", 1));
    char byte;
    EXPECT_EQ(platform::read_some(none, &byte, 1), -1);
}

TEST_F(PlatformFiles, MoveHandsTheHandleOver) {
    make_file("f", "abc");
    platform::File a = platform::open_for_reading(path("f").c_str());
    ASSERT_TRUE(a.valid());
    platform::File b = platform::open_for_reading(path("f").c_str());
    b = std::move(a);  // b's own handle is closed, a's moves over
    EXPECT_FALSE(a.valid());
    ASSERT_TRUE(b.valid());
    b = std::move(b);
    ASSERT_TRUE(b.valid()) << "self-assignment keeps the handle";
    char buffer[4] = {};
    EXPECT_EQ(platform::read_full(b, buffer, 3), 3);
    EXPECT_STREQ(buffer, "abc");
}

#ifndef _WIN32
TEST_F(PlatformFiles, PosixHiddenAndSpecialEntries) {
    make_file(".profile", "x");
    fs::create_directory(path(".git"));
    make_file("plain", "x");
    ASSERT_EQ(mkfifo(path("pipe").c_str(), 0600), 0);
    const struct {
        std::string path;
        bool hidden;
        bool directory;
        bool special;
    } cases[] = {
        {path(".profile"), true, false, false},
        {path(".git"), true, true, false},
        {path("plain"), false, false, false},
        {path("pipe"), false, false, true},
        {path(".git") + "/..", false, true, false},  // ".." names the folder above
        {"/dev/null", false, false, true},
    };
    for (const auto& c : cases) {
        platform::FileInfo info;
        ASSERT_TRUE(platform::find_file(c.path.c_str(), info)) << c.path;
        EXPECT_EQ((info.attributes & platform::attribute_hidden) != 0, c.hidden) << c.path;
        EXPECT_EQ((info.attributes & platform::attribute_directory) != 0, c.directory) << c.path;
        EXPECT_EQ(info.special, c.special) << c.path;
    }
}

TEST_F(PlatformFiles, PosixSymbolicLinksAreFollowed) {
    make_file("target", "12345");
    ASSERT_EQ(symlink("target", path("link").c_str()), 0);
    ASSERT_EQ(symlink(folder_.c_str(), path("loop").c_str()), 0);
    platform::FileInfo target, link, folder, loop;
    ASSERT_TRUE(platform::find_file(path("target").c_str(), target));
    ASSERT_TRUE(platform::find_file(path("link").c_str(), link));
    EXPECT_EQ(link.size, 5u);
    EXPECT_EQ(link.object, target.object);
    EXPECT_EQ(link.volume, target.volume);
    ASSERT_TRUE(platform::find_file(folder_.c_str(), folder));
    ASSERT_TRUE(platform::find_file(path("loop").c_str(), loop));
    EXPECT_NE(loop.attributes & platform::attribute_directory, 0u);
    EXPECT_EQ(loop.object, folder.object) << "a link back to an ancestor is recognisable";
    platform::FileInfo dangling;
    ASSERT_EQ(symlink("nowhere", path("dangling").c_str()), 0);
    EXPECT_FALSE(platform::find_file(path("dangling").c_str(), dangling));
}

TEST_F(PlatformFiles, PosixLastWriteTimeIsAFileTime) {
    make_file("dated", "x");
    const struct {
        int64_t seconds;
        long microseconds;
        uint64_t file_time;
    } cases[] = {
        {0, 0, 116'444'736'000'000'000ull},
        {1'070'971'200, 123'456, 127'154'448'001'234'560ull},
        {-11'644'473'600, 0, 0},  // 1601-01-01 itself
        {-11'644'473'601, 0, 0},  // before 1601: held at the start
    };
    for (const auto& c : cases) {
        const timeval times[2] = {{static_cast<time_t>(c.seconds), c.microseconds},
                                  {static_cast<time_t>(c.seconds), c.microseconds}};
        // The file system may refuse or clamp a date outside its range.
        struct stat st {};
        if (utimes(path("dated").c_str(), times) != 0 || stat(path("dated").c_str(), &st) != 0 ||
            st.st_mtim.tv_sec != c.seconds)
            continue;
        platform::FileInfo info;
        ASSERT_TRUE(platform::find_file(path("dated").c_str(), info));
        EXPECT_EQ(info.last_write, c.file_time) << c.seconds;
    }
}

TEST_F(PlatformFiles, PosixListingIsInByteOrder) {
    for (const char* name : {"b", "\xC3\xA9", "B", "a b", "a", "_x", "\x7F"}) make_file(name, "");
    EXPECT_EQ(listing(folder_), (std::vector<std::string>{"B", "_x", "a", "a b", "b", "\x7F", "\xC3\xA9"}));
    std::vector<std::string> all;
    platform::list_directory(folder_.c_str(), [&](const char* name) { all.emplace_back(name); });
    EXPECT_EQ(all.size(), 9u) << "the seven names plus . and ..";
}

TEST_F(PlatformFiles, PosixWriteToAFullDeviceFails) {
    platform::File full = platform::create_for_writing("/dev/full");
    if (!full.valid()) GTEST_SKIP() << "no /dev/full here";
    const std::vector<char> block(64 * 1024, 'x');
    EXPECT_FALSE(platform::write_all(full, block.data(), block.size()));
    EXPECT_NE(platform::last_error_text().find("space"), std::string::npos) << platform::last_error_text();
}

TEST_F(PlatformFiles, PosixOpenRefusesFoldersAndDoesNotHangOnFifos) {
    platform::File folder = platform::open_for_reading(folder_.c_str());
    EXPECT_FALSE(folder.valid());
    EXPECT_NE(platform::last_error_text().find("directory"), std::string::npos) << platform::last_error_text();
    ASSERT_EQ(mkfifo(path("pipe").c_str(), 0600), 0);
    platform::File pipe = platform::open_for_reading(path("pipe").c_str());
    ASSERT_TRUE(pipe.valid());
    char byte;
    EXPECT_EQ(platform::read_some(pipe, &byte, 1), 0) << "no writer: the end at once";
}
#endif

}  // namespace
