#pragma once

// SIGINT and SIGTERM, taken by one watching thread: every other thread keeps them blocked, so a stop
// signal is never lost in a thread that does not look for it. A process that has not ended within its
// grace time after the signal (a statement that no cancel reaches, a database server that stopped
// answering) is ended there.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Blocks both signals in the calling thread and in the threads it starts later; called first in main.
void block_stop_signals();

class StopSignalWatcher {
public:
  // `on_stop` runs on the watching thread when the first signal arrives, also one that arrived before.
  // If the watcher is not destroyed within `grace` of it, `overdue` runs and the process exits with 0.
  StopSignalWatcher(std::chrono::milliseconds grace, std::function<void()> overdue);
  // Ends the watch; no stop runs for a signal that arrives after this.
  ~StopSignalWatcher();
  StopSignalWatcher(const StopSignalWatcher &) = delete;
  StopSignalWatcher &operator=(const StopSignalWatcher &) = delete;

  // What a stop does from now on (at once when the signal came already); the empty function until
  // set. Set it empty again before what it stops is destroyed: this waits for a stop that runs.
  void on_stop(std::function<void()> stop);

private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool ending_ = false;
  bool signalled_ = false;
  bool stop_running_ = false;
  std::function<void()> stop_;
  std::thread thread_;
  std::thread deadline_; // from the signal on: ends the process when the grace time is up
};
