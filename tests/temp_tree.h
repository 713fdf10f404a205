// A temporary tree of files for a test, shared by the portable tests and the
// GUI tests of the Windows program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A fresh folder under the test temporary directory, removed afterwards.
// Names are narrow text as the programs under test take them: bytes on POSIX,
// the ANSI code page on Windows. Each maker gives the full path of what it
// made and makes the folders on the way.
struct TempTree {
    std::string root;
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;
    std::string path(const std::string& relative) const;
    std::string file(const std::string& relative, const std::string& content) const;
    // A file of `size` bytes of a pseudo-random sequence chosen by `seed`.
    std::string file_of_size(const std::string& relative, size_t size, uint8_t seed = 0) const;
    std::string folder(const std::string& relative) const;
};
