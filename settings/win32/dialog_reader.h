// A ControlReader over a live dialog window, so that the shared settings
// readers read the real controls.
#pragma once

#include <windows.h>

#include "settings/control_store.h"

ControlReader dialog_reader(HWND dialog);
