// The program's entry: the command line, one installer at a time, COM on the window's thread as a
// single-threaded apartment, the installer window and its message loop, or a run without a person. The
// exit code tells how the last run ended.
#include "Unit1.h"
#include "application.h"
#include "command_line.h"
#include "network_route.h"
#include "one_installer.h"
#include "run_outcome.h"
#include "text.h"
#include "unattended_run.h"
#include "usage.h"

#include <objbase.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

// How long the window of a /SILENT run stays with its outcome before the program ends (ms).
constexpr unsigned long kOutcomeShown = 3000;

std::vector<std::string> program_arguments() {
  int count = 0;
  wchar_t **arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> result;
  for (int i = 1; arguments && i < count; ++i)
    result.push_back(text::narrow(arguments[i]));
  LocalFree(arguments);
  return result;
}

// Without its window there is no run, in either mode: a deployment tool must read a failure (1603), not
// "closed without a run", and the log must say why.
int report_window_failure(TForm1 &form, RunMode mode) {
  std::string failure = "criar a janela \"Instalador Velacorte\": " + form.creation_failure();
  form.Log.create_folder();
  form.Log.line(failure);
  if (mode == RunMode::Window)
    MessageBoxW(nullptr, text::widen(failure).c_str(), L"", MB_OK | MB_ICONERROR);
  return kExitFailed;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  // A line that is not understood changes nothing on the machine: no folder, no log.
  CommandLine line = parse_command_line(program_arguments());
  if (line.request == CommandLine::Help) {
    show_usage("", !line.no_window);
    return 0;
  }
  if (line.request == CommandLine::Invalid) {
    show_usage(line.error, !line.no_window);
    return kExitInvalidParameter;
  }
  const InstallOptions &options = line.options;
  std::wstring log_path = options.log_path.empty() ? InstallLog::kPath : text::widen(options.log_path);
  if (options.proxy == "DIRECT")
    fix_network_route({"", "", "/PROXY=DIRECT"});
  else if (!options.proxy.empty())
    fix_network_route({options.proxy, "", "/PROXY="});

  OneInstaller only;
  if (!only.first()) {
    if (options.mode == RunMode::Window)
      MessageBoxW(nullptr, text::widen(OneInstaller::kRefusal).c_str(), L"", MB_OK | MB_ICONEXCLAMATION);
    else
      InstallLog(log_path).line(std::string("iniciar: ") + OneInstaller::kRefusal);
    return exit_code(RunEnding::AlreadyRunning);
  }
  CoInitialize(nullptr);
  int code;
  {
    TForm1 Form1(instance, log_path);
    if (!Form1.creation_failure().empty()) {
      code = report_window_failure(Form1, options.mode);
    } else if (options.mode == RunMode::Window) {
      Form1.Show(show);
      application::run();
      code = exit_code(last_ending());
    } else {
      if (options.mode == RunMode::Silent)
        Form1.Show(SW_SHOWNORMAL);
      code = run_unattended(Form1, options);
      // Whoever watches the machine (over UltraVNC, say) gets to read the outcome.
      if (options.mode == RunMode::Silent)
        application::wait_processing_messages(kOutcomeShown);
    }
  }
  CoUninitialize();
  return code;
}
