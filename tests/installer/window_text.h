#pragma once

#include <windows.h>

#include <string>

// A window's text and class name, as the tests read them back.
std::wstring text_of(HWND window);
std::wstring class_of(HWND window);
