#include "process_list.h"

#include "windows_owners.h"

#include <tlhelp32.h>

#ifndef _WIN64
static_assert(sizeof(PROCESSENTRY32W) == 556, "the process record of 32-bit Windows is 556 bytes");
#endif

bool for_each_process(const std::function<bool(DWORD id, std::wstring_view exe)> &visit) {
  win::File snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot)
    return false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL ok = Process32FirstW(snapshot.get(), &entry); ok; ok = Process32NextW(snapshot.get(), &entry))
    if (!visit(entry.th32ProcessID, std::wstring_view(entry.szExeFile, wcsnlen(entry.szExeFile, MAX_PATH))))
      break;
  return true;
}
