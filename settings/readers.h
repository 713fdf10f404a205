// The readers of the three settings windows. Each runs at every build start
// against a store of control values and writes the build settings and the
// descriptor images.
#pragma once

#include "settings/control_store.h"

void read_volume_dialog(const ControlReader& dialog);
void read_boot_dialog(const ControlReader& dialog);
void read_dir_record_dialog(const ControlReader& dialog);

// Fills a store with what each window holds when it has just opened: the
// template texts and the opening steps (dates preset to now, Joliet checked,
// first platform and third media selected). The boot store's combo boxes hold
// positions only; the command line needs no item texts.
void open_volume_store(ControlStore& store);
void open_boot_store(ControlStore& store);
void open_dir_record_store(ControlStore& store);
