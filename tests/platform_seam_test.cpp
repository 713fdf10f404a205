// Names crossing the POSIX seam in CP932 mode: the file system's UTF-8 names
// reach the core as CP932 bytes, and CP932 paths open the UTF-8 files.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "test_support.h"

namespace {

TEST(PlatformSeam, Cp932NamesAreConvertedBothWays)
{
    TempTree tree;
    tree.file("\xE8\xA1\xA8\xE7\xA4\xBA.txt", "hyouji");  // 表示.txt in UTF-8
    CodePageScope scope("CP932");
    ASSERT_TRUE(scope.active());
    std::vector<std::string> names;
    ASSERT_TRUE(platform::list_directory(tree.root.c_str(), [&](const char* n) {
        if (n[0] != '.')
            names.push_back(n);
    }));
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0], "\x95\x5C\x8E\xA6.txt");  // 表示.txt in CP932: its first trail byte is '\\'
    std::string path = platform::text_from_system(tree.root.c_str()) + "/" + names[0];
    platform::FileInfo info;
    ASSERT_TRUE(platform::find_file(path.c_str(), info));
    EXPECT_EQ(info.size, 6u);
    platform::File file = platform::open_for_reading(path.c_str());
    ASSERT_TRUE(file.valid());
    char data[8] = {};
    EXPECT_EQ(platform::read_full(file, data, 6), 6);
    EXPECT_EQ(std::string(data), "hyouji");
    EXPECT_EQ(platform::text_to_system("\x95\x5C\x8E\xA6"), "\xE8\xA1\xA8\xE7\xA4\xBA");
}

TEST(PlatformSeam, SameCodePageLeavesTextAlone)
{
    CodePageScope scope("UTF-8");
    const char* text = "\xE8\xA1\xA8 plain \xFF";
    EXPECT_EQ(platform::text_to_system(text), text);
    EXPECT_EQ(platform::text_from_system(text), text);
}

}  // namespace

#endif
