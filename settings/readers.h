// The readers of the three settings windows. Each runs at every build start
// against a store of control values and writes the build's settings and
// descriptor images.
#pragma once

#include <cstddef>

#include "mastering/descriptors.h"
#include "settings/control_store.h"
#include "settings/date_field.h"

void read_volume_dialog(const ControlReader& dialog, ImageSettings& settings);
void read_boot_dialog(const ControlReader& dialog, ImageSettings& settings);
void read_dir_record_dialog(const ControlReader& dialog, ImageSettings& settings);
// The settings of one build: the templates, then the three windows read in
// that order (volume, boot, directory record).
[[nodiscard]] ImageSettings read_image_settings(const ControlReader& volume, const ControlReader& boot,
                                                const ControlReader& dir_record);

// An identifier longer than its field is cut where the field ends, at a
// character boundary: a character that would be cut in half is left out and
// its room padded as the field is. These give how many bytes of `text` (in
// the code page of names) a field keeps: the primary descriptor's field of
// `width` bytes, the Joliet descriptor's of width / 2 UCS-2 units (a
// surrogate pair whole or not at all), the boot catalog's ID string.
size_t identifier_bytes_kept(const char* text, size_t width);
size_t joliet_identifier_bytes_kept(const char* text, size_t width);
// The width in bytes of the descriptor field of an identifier's control (its
// primary or its Joliet one); 0 for any other control.
size_t identifier_field_width(int id);

// Fills a store with what each window holds when it has just opened: the
// template texts and the opening steps (dates preset to now, Joliet checked,
// first platform and third media selected). The boot store's combo boxes hold
// positions only; the command line needs no item texts.
void open_volume_store(ControlStore& store, const DateSource& now = {});
void open_boot_store(ControlStore& store);
void open_dir_record_store(ControlStore& store, const DateSource& now = {});
