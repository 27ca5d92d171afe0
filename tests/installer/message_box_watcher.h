#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

// Watches, on a thread of its own, for a message box of this process; records its title, text, icon and
// buttons, then presses `answer`. Stops watching after 10 seconds, or at `stop`.
class MessageBoxWatcher {
public:
  explicit MessageBoxWatcher(int answer = IDOK);
  ~MessageBoxWatcher();
  // Waits for the watching thread; afterwards the fields below hold what was seen.
  void wait();
  // Stops watching (a box that shows up later goes unseen) and waits.
  void stop();

  bool seen = false;
  std::wstring title;
  std::wstring text;
  HICON icon = nullptr;
  HWND owner = nullptr;
  int buttons = 0; // visible push buttons

private:
  void watch(int answer);
  std::atomic<bool> stopping{false};
  std::thread thread;
};
