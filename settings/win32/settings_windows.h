// The three modeless settings windows: volume descriptors (PVDSVD), boot
// record and catalog (BRBC), directory record (DR). Their controls are the
// only store of the settings; closing a window only hides it.
#pragma once

#include <windows.h>

INT_PTR CALLBACK volume_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK boot_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK dir_record_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Opening steps, run once when the main window creates the windows.
void open_volume_dialog(HWND dialog);
void open_boot_dialog(HWND dialog);
void open_dir_record_dialog(HWND dialog);

// Button 141: the open-file dialog; the chosen path goes into edit 142.
void choose_boot_image(HWND dialog);
// Each dropped path goes into edit 142 in turn; the last one stays.
void drop_boot_image(HWND dialog, HDROP drop);
