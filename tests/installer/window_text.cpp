#include "window_text.h"

std::wstring text_of(HWND window) {
  std::wstring value(GetWindowTextLengthW(window) + 1, L'\0');
  value.resize(GetWindowTextW(window, value.data(), static_cast<int>(value.size())));
  return value;
}

std::wstring class_of(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}
