#include "controls.h"

bool ticked(HWND box) {
  return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::wstring window_text(HWND control) {
  std::wstring value(GetWindowTextLengthW(control) + 1, L'\0');
  value.resize(GetWindowTextW(control, value.data(), static_cast<int>(value.size())));
  return value;
}
