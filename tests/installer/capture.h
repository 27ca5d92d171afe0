#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A picture of a window as it shows on the screen, 32-bit BGRX pixels, rows from the top.
struct Capture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  // The pixel at (x, y) as a COLORREF.
  COLORREF at(int x, int y) const;
  // Saves the picture as a PNG file through WIC; false when it cannot.
  bool save_png(const std::wstring &path) const;
};

// Captures the client area of `window`.
Capture capture_client(HWND window);
// Captures what the screen shows where `window` lies, frame and windows in front of it included; works
// for a window of another process.
Capture capture_screen_area(HWND window);
