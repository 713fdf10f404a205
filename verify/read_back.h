// Reading a finished image back and comparing every file of both trees, and
// the boot image, with the source it was built from.
#pragma once

#include <string>
#include <vector>

#include "mastering/problems.h"
#include "sector/check.h"

// The sector check of a raw image made on the way of the comparison.
struct RawStreamCheck {
    RawSectorChecker checker;
    bool complete = false;  // every sector was checked (else check the file on its own)
};

// Compares the image at `image_path` with the files of its build (the
// outcome's `files`, `folders` and `joliet`). Returns one line per difference, naming
// the file by its path in the image: structure faults of the image, records
// that do not match the build, and data that differs from its source now.
// Each file's data is read once, in the order of the image, however many
// records point at it.
// With `raw`, a raw image also has every sector checked in the same pass: the
// sectors the comparison reads as they pass, the ones between and after it
// read on the way.
// Every file and folder must also lie at its own place in each tree (the
// build's identifiers on the way from the root), the file's record giving
// the sectors that hold its own source's bytes: a record at another place,
// or one that points at another file's data, is named.
[[nodiscard]] std::vector<std::string> compare_with_sources(const char* image_path, const BuildOutcome& build,
                                                            RawStreamCheck* raw = nullptr);
