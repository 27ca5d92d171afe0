#pragma once

// What the run reads of the window's controls.

#include <windows.h>

#include <string>

// Whether a check box is ticked.
bool ticked(HWND box);
// A control's text: a box's caption, the type box's choice, a label.
std::wstring window_text(HWND control);
