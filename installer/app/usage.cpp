#include "usage.h"

#include "command_line.h"
#include "text.h"
#include "windows_owners.h"

#include <windows.h>

namespace {

// A GUI program has a standard stream when it was redirected, or when the console of the program that
// started it can be attached.
void write_to_stream(DWORD stream, const std::string &message) {
  HANDLE handle = GetStdHandle(stream);
  DWORD written = 0;
  if (handle && handle != INVALID_HANDLE_VALUE) {
    WriteFile(handle, message.data(), static_cast<DWORD>(message.size()), &written, nullptr);
    return;
  }
  if (!AttachConsole(ATTACH_PARENT_PROCESS))
    return;
  {
    win::File console(
        CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    std::wstring wide = text::widen(message);
    if (console)
      WriteConsoleW(console.get(), wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
  }
  FreeConsole();
}

} // namespace

void show_usage(const std::string &error, bool box) {
  std::string message =
      (error.empty() ? "" : "Linha de comando inválida: " + error + "\r\n\r\n") + usage_text();
  write_to_stream(error.empty() ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE, message);
  if (box)
    MessageBoxW(nullptr, text::widen(message).c_str(), L"",
                MB_OK | (error.empty() ? MB_ICONINFORMATION : MB_ICONERROR));
}
