// The program's entry: one installer at a time, COM on the window's thread as a single-threaded
// apartment, the installer window and its message loop. The exit code tells how the last run ended.
#include "Unit1.h"
#include "application.h"
#include "one_installer.h"
#include "run_outcome.h"

#include <objbase.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  OneInstaller only;
  if (!only.first()) {
    MessageBoxW(nullptr, L"O instalador já está em execução.", L"", MB_OK | MB_ICONEXCLAMATION);
    return exit_code(RunEnding::AlreadyRunning);
  }
  CoInitialize(nullptr);
  {
    TForm1 Form1(instance);
    Form1.Show(show);
    application::run();
  }
  CoUninitialize();
  return exit_code(last_ending());
}
