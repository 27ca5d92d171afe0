#include "running_program.h"

#include "case_fold.h"
#include "text.h"

#include <windows.h>

#include <tlhelp32.h>

std::optional<std::string> running_program(const std::vector<std::string> &programs) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE)
    return std::nullopt;
  std::optional<std::string> found;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
       more = Process32NextW(snapshot, &entry)) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
    if (!process)
      continue;
    wchar_t image[MAX_PATH * 2];
    DWORD size = MAX_PATH * 2;
    if (QueryFullProcessImageNameW(process, 0, image, &size)) {
      std::string started_from = text::fold_case(text::narrow(std::wstring_view(image, size)));
      for (const std::string &program : programs)
        if (text::fold_case(program) == started_from)
          found = program;
    }
    CloseHandle(process);
  }
  CloseHandle(snapshot);
  return found;
}
