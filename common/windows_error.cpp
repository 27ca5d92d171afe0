#include "windows_error.h"

#include "text.h"

std::string windows_error_text(DWORD error) {
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
    return "em uso";
  wchar_t *buffer = nullptr;
  DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                    FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, error, 0, reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
  std::wstring message(buffer ? buffer : L"", length);
  LocalFree(buffer);
  while (!message.empty() && (message.back() <= L' ' || message.back() == L'.'))
    message.pop_back();
  std::string code = "erro " + std::to_string(error);
  return message.empty() ? code : text::narrow(message) + " (" + code + ")";
}
