#pragma once

#include <windows.h>

// Registers the classes of the window and of its panels, once per program.
void register_window_classes(HINSTANCE instance, WNDPROC form_procedure);
// The window's frame for its client area, centred on the screen.
RECT centred_window_rect(DWORD style);
