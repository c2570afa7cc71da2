// What the Windows platform's files share.
#pragma once
#include <windows.h>

namespace koru::win32 {

// The program's instance, from the entry point.
extern HINSTANCE Instance;
// The main window, or null before it exists and after it is gone.
extern HWND MainWindow;

// Registers the main window's class: false when Windows refuses.
bool RegisterWindowClass();

}  // namespace koru::win32
