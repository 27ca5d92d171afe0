#include "interrupt.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#endif

namespace {

std::atomic<bool> *requested = nullptr;

#ifdef _WIN32
BOOL WINAPI on_console_event(DWORD event) {
  requested->store(true);
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT)
    return TRUE;
  // Returning would end the process at once; the main thread ends it once the work is undone.
  Sleep(INFINITE);
  return TRUE;
}
#else
void on_signal(int) {
  requested->store(true);
}
#endif

} // namespace

void stop_on_interrupt(std::atomic<bool> &flag) {
  requested = &flag;
#ifdef _WIN32
  SetConsoleCtrlHandler(on_console_event, TRUE);
#else
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
#endif
}
