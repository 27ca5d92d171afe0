#pragma once

// SIGINT and SIGTERM, taken by one watching thread: every other thread keeps them blocked, so a stop
// signal is never lost in a thread that does not look for it.

#include <atomic>
#include <functional>
#include <thread>

// Blocks both signals in the calling thread and in the threads it starts later; called first in main.
void block_stop_signals();

class StopSignalWatcher {
public:
  // `on_stop` runs on the watching thread when the first signal arrives, also one that arrived before.
  explicit StopSignalWatcher(std::function<void()> on_stop);
  // Ends the watch; `on_stop` does not run for a signal that arrives after this.
  ~StopSignalWatcher();
  StopSignalWatcher(const StopSignalWatcher &) = delete;
  StopSignalWatcher &operator=(const StopSignalWatcher &) = delete;

private:
  std::atomic<bool> ending_{false};
  std::thread thread_;
};
