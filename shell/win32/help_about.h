// The modal Help and About windows with their opening counters.
#pragma once

#include <windows.h>

#include <cstdint>

// Both start at 2 and count every opening; the picture shows when the new
// count is a multiple of 4 (the 2nd, 6th, 10th... opening).
extern int32_t help_open_count;
extern int32_t about_open_count;

void run_help_window(HWND owner);
void run_about_window(HWND owner);

INT_PTR CALLBACK help_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK about_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void init_help_window(HWND window);
void init_about_window(HWND window);
