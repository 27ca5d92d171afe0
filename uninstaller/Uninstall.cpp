// The uninstaller's entry: the operator's confirmation, one installer or uninstaller at a time, the
// removal and its closing message. Exit codes are the installer's: 0 done, 1602 the operator said No,
// 1603 refused, 1618 another installer running.
#include "install_log.h"
#include "messages.h"
#include "one_installer.h"
#include "removal.h"
#include "text.h"

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

namespace {

// "/SILENT" or "/VERYSILENT", in any letter case: no question and no message, the outcome in the log
// and the exit code.
bool unattended() {
  int count = 0;
  wchar_t **arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  bool found = false;
  for (int i = 1; arguments && i < count; ++i) {
    std::string argument = text::upper_ascii(text::narrow(arguments[i]));
    found = found || argument == "/SILENT" || argument == "/VERYSILENT";
  }
  LocalFree(arguments);
  return found;
}

void tell(bool silent, const std::string &said, UINT icon) {
  if (!silent)
    MessageBoxW(nullptr, text::widen(said).c_str(), message::kTitle, MB_OK | icon);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const bool silent = unattended();
  OneInstaller only;
  if (!only.first()) {
    tell(silent, OneInstaller::kRefusal, MB_ICONEXCLAMATION);
    return 1618;
  }
  InstallLog log;
  if (!silent &&
      MessageBoxW(nullptr, message::kConfirmRemoval, message::kTitle, MB_YESNO | MB_ICONQUESTION) != IDYES) {
    log.line("desinstalar: o operador respondeu Não");
    return 1602;
  }
  CoInitialize(nullptr);
  uninstall::Outcome outcome = uninstall::remove_product(log);
  CoUninitialize();
  if (!outcome.running.empty()) {
    tell(silent, message::kRunningBefore + outcome.running + message::kRunningAfter, MB_ICONEXCLAMATION);
    return 1603;
  }
  log.line("desinstalar: fim, " + std::to_string(outcome.kept.size()) + " objetos mantidos");
  tell(silent, uninstall::report_text(outcome.kept, text::narrow(log.path())), MB_ICONINFORMATION);
  return 0;
}
