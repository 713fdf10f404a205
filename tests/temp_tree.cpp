#include "temp_tree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "platform/platform.h"

#ifdef _WIN32
#include <direct.h>
#endif

namespace fs = std::filesystem;

namespace {

// Makes the folder and the folders above it that are missing.
void make_folders(const std::string& full)
{
#ifdef _WIN32
    // std::filesystem would read a narrow name in another code page than the
    // ANSI one; the walk steps over double-byte characters, whose trail byte
    // may be the backslash code.
    for (const char* p = full.c_str(); *p; p = platform::char_next(p))
        if ((*p == '\\' || *p == '/') && p != full.c_str())
            (void)_mkdir(std::string(full.c_str(), p).c_str());  // an existing folder fails: fine
    (void)_mkdir(full.c_str());
#else
    fs::create_directories(full);
#endif
}

std::string parent_of(const std::string& full)
{
#ifdef _WIN32
    size_t last = 0;
    for (const char* p = full.c_str(); *p; p = platform::char_next(p))
        if (*p == '\\' || *p == '/')
            last = size_t(p - full.c_str());
    return full.substr(0, last);
#else
    return full.substr(0, full.rfind('/'));
#endif
}

}  // namespace

TempTree::TempTree()
{
    static int serial = 0;
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "_" + info->name() : "tree";
    // A number of this run keeps test programs running side by side apart.
    static const std::string run = std::to_string(std::random_device{}() % 1000000);
    root = (fs::path(testing::TempDir()) / ("tw_" + name + "_" + run + "_" + std::to_string(++serial))).string();
    fs::remove_all(root);
    fs::create_directories(root);
}

TempTree::~TempTree()
{
    std::error_code ignored;
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(root, ignored);
}

std::string TempTree::path(const std::string& relative) const
{
    return root + platform::path_separator + relative;
}

std::string TempTree::file(const std::string& relative, const std::string& content) const
{
    const std::string full = path(relative);
    make_folders(parent_of(full));
    std::ofstream out(full, std::ios::binary);
    out << content;
    EXPECT_TRUE(out.good()) << "cannot write " << full;
    return full;
}

std::string TempTree::file_of_size(const std::string& relative, size_t size, uint8_t seed) const
{
    std::string content(size, '\0');
    std::mt19937 rng(seed);
    for (char& c : content)
        c = char(rng());
    return file(relative, content);
}

std::string TempTree::folder(const std::string& relative) const
{
    const std::string full = path(relative);
    make_folders(full);
    return full;
}
