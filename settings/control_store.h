// A store of control values: text by control id, check state and selected
// position. The settings readers read only through a ControlReader, so the
// same reader serves the Win32 dialogs (which read their live controls) and
// the command line (which fills a ControlStore with the dialogs' template
// values and opening steps, then applies the options).
#pragma once

#include <cstddef>
#include <map>
#include <string>

struct ControlReader {
    const void* context = nullptr;
    // Copies the control's text into buffer (at most capacity - 1 bytes, always
    // terminated).
    void (*get_text)(const void* context, int id, char* buffer, size_t capacity) = nullptr;
    bool (*get_check)(const void* context, int id) = nullptr;
    // The selected position of a list or combo box, -1 when nothing is selected.
    int (*get_selection)(const void* context, int id) = nullptr;
};

struct ControlStore {
    std::map<int, std::string> texts;
    std::map<int, bool> checks;
    std::map<int, int> selections;
};

void set_text(ControlStore& store, int id, const std::string& text);
void set_check(ControlStore& store, int id, bool checked);
void set_selection(ControlStore& store, int id, int position);
ControlReader reader_of(const ControlStore& store);

// Reads a control's text into a zero-filled buffer of `capacity` bytes.
void read_text(const ControlReader& reader, int id, char* buffer, size_t capacity);
