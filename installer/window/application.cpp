#include "application.h"

#include "text.h"

#include <windows.h>

#include <algorithm>

namespace application {

namespace {
bool end_requested = false;
}

void run() {
  MSG message;
  while (!end_requested && GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  end_requested = true;
}

void terminate() {
  end_requested = true;
  PostQuitMessage(0);
}

bool terminated() {
  return end_requested;
}

void process_messages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      end_requested = true;
      break;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void wait_processing_messages(unsigned long milliseconds) {
  for (ULONGLONG start = GetTickCount64(), waited = 0; waited < milliseconds;
       waited = GetTickCount64() - start) {
    DWORD slice = static_cast<DWORD>(std::min<ULONGLONG>(kMessageInterval, milliseconds - waited));
    MsgWaitForMultipleObjects(0, nullptr, FALSE, slice, QS_ALLINPUT);
    process_messages();
  }
}

void show_failure(const std::string &text, const std::string &note) {
  std::wstring message = text::widen(text);
  if (!message.empty() && message.back() > L'.')
    message += L'.';
  if (!note.empty())
    message += L"\r\n\r\n" + text::widen(note);
  MessageBoxW(GetActiveWindow(), message.c_str(), text::widen(title()).c_str(), MB_ICONERROR | MB_OK);
}

std::string title() {
  std::wstring path(MAX_PATH, L'\0');
  DWORD length;
  while ((length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) == path.size())
    path.resize(path.size() * 2);
  path.resize(length);
  std::wstring name = path.substr(path.find_last_of(L"\\/:") + 1);
  size_t dot = name.rfind(L'.');
  return text::narrow(dot == std::wstring::npos ? name : name.substr(0, dot));
}

} // namespace application
