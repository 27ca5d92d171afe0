#include "ProcessoAtivo.h"

#include "text.h"

#include <windows.h>

#include <tlhelp32.h>

#ifndef _WIN64
static_assert(sizeof(PROCESSENTRY32W) == 556, "the process record of 32-bit Windows is 556 bytes");
#endif

bool ProcessoAtivo(std::string_view nome) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE)
    return false;

  const std::string wanted = text::upper_ascii(nome);
  bool found = false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL ok = Process32FirstW(snapshot, &entry); ok && !found; ok = Process32NextW(snapshot, &entry)) {
    std::wstring_view exe(entry.szExeFile, wcsnlen(entry.szExeFile, MAX_PATH));
    size_t cut = exe.find_last_of(L"\\:");
    std::wstring_view last = cut == std::wstring_view::npos ? exe : exe.substr(cut + 1);
    found = text::upper_ascii(text::narrow(last)) == wanted || text::upper_ascii(text::narrow(exe)) == wanted;
  }
  CloseHandle(snapshot);
  return found;
}
