#include "message_box_watcher.h"
#include "window_text.h"

namespace {

struct Search {
  DWORD process;
  HWND found = nullptr;
};

BOOL CALLBACK find_box(HWND window, LPARAM data) {
  auto *search = reinterpret_cast<Search *>(data);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  wchar_t kind[16] = {};
  GetClassNameW(window, kind, 16);
  if (process == search->process && IsWindowVisible(window) && std::wstring(kind) == L"#32770") {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK count_button(HWND child, LPARAM data) {
  wchar_t kind[16] = {};
  GetClassNameW(child, kind, 16);
  if (IsWindowVisible(child) && _wcsicmp(kind, L"Button") == 0)
    ++*reinterpret_cast<int *>(data);
  return TRUE;
}

} // namespace

MessageBoxWatcher::MessageBoxWatcher(int answer) : thread([this, answer] { watch(answer); }) {}

MessageBoxWatcher::~MessageBoxWatcher() {
  wait();
}

void MessageBoxWatcher::wait() {
  if (thread.joinable())
    thread.join();
}

void MessageBoxWatcher::stop() {
  stopping = true;
  wait();
}

void MessageBoxWatcher::watch(int answer) {
  for (int tries = 0; tries < 500 && !stopping; ++tries) {
    Search search{GetCurrentProcessId()};
    EnumWindows(find_box, reinterpret_cast<LPARAM>(&search));
    if (search.found) {
      Sleep(50); // let the box finish its set-up
      HWND box = search.found;
      seen = true;
      title = text_of(box);
      owner = GetWindow(box, GW_OWNER);
      text = text_of(GetDlgItem(box, 0xFFFF));
      icon = reinterpret_cast<HICON>(SendDlgItemMessageW(box, 0x0440, STM_GETICON, 0, 0));
      EnumChildWindows(box, count_button, reinterpret_cast<LPARAM>(&buttons));
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(box, answer)));
      return;
    }
    Sleep(20);
  }
}
