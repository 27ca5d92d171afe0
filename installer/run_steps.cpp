#include "run_steps.h"

#include "ProcessoAtivo.h"
#include "Unit1.h"
#include "text.h"
#include "unzip.h"

#include <commctrl.h>
#include <shellapi.h>

namespace run {

bool ticked(HWND box) {
  return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::wstring installation_type(const TForm1 &form) {
  std::wstring value(GetWindowTextLengthW(form.ComboBox1) + 1, L'\0');
  value.resize(GetWindowTextW(form.ComboBox1, value.data(), static_cast<int>(value.size())));
  return value;
}

void advance_total(TForm1 &form) {
  SendMessageW(form.pbTotal, PBM_DELTAPOS, 1, 0);
}

bool download_with_retries(const std::function<bool()> &attempt, const wchar_t *question, UINT icon) {
  for (int failures = 0;;) {
    if (attempt())
      return true;
    if (++failures > 2) {
      if (MessageBoxW(nullptr, question, L"", MB_YESNOCANCEL | icon) != IDYES)
        return false;
      failures = 0;
    }
  }
}

void unpack_or_discard(const std::string &archive, const std::string &folder) {
  try {
    extract_zip(archive, folder);
  } catch (...) {
    DeleteFileW(text::widen(archive).c_str());
    throw;
  }
}

void start_program(const std::wstring &file, const std::wstring &parameters, const std::wstring &folder,
                   int show) {
  ShellExecuteW(nullptr, L"open", file.c_str(), parameters.c_str(), folder.c_str(), show);
}

void wait_while_running(const std::string &nome) {
  while (ProcessoAtivo(nome))
    Sleep(5000);
}

} // namespace run
