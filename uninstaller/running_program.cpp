#include "running_program.h"

#include "case_fold.h"
#include "process_list.h"
#include "text.h"
#include "windows_owners.h"

std::optional<std::string> running_program(const std::vector<std::string> &programs) {
  std::optional<std::string> found;
  for_each_process([&](DWORD id, std::wstring_view) {
    win::Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
    if (!process)
      return true;
    wchar_t image[MAX_PATH * 2];
    DWORD size = MAX_PATH * 2;
    if (QueryFullProcessImageNameW(process.get(), 0, image, &size)) {
      std::string started_from = text::fold_case(text::narrow(std::wstring_view(image, size)));
      for (const std::string &program : programs)
        if (text::fold_case(program) == started_from)
          found = program;
    }
    return !found;
  });
  return found;
}
