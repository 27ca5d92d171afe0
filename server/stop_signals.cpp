#include "stop_signals.h"

#include <csignal>
#include <pthread.h>
#include <unistd.h>

namespace {

sigset_t stop_signal_set() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  return signals;
}

} // namespace

void block_stop_signals() {
  sigset_t signals = stop_signal_set();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

StopSignalWatcher::StopSignalWatcher(std::chrono::milliseconds grace, std::function<void()> overdue) {
  thread_ = std::thread([this, grace, overdue = std::move(overdue)] {
    sigset_t signals = stop_signal_set();
    int signal = 0;
    sigwait(&signals, &signal);
    std::function<void()> stop;
    {
      std::lock_guard lock(mutex_);
      if (ending_)
        return;
      deadline_ = std::thread([this, grace, overdue] {
        std::unique_lock lock(mutex_);
        if (changed_.wait_for(lock, grace, [this] { return ending_; }))
          return;
        overdue();
        _exit(0);
      });
      signalled_ = true;
      stop = stop_;
      stop_running_ = true;
    }
    // Outside the lock: a stop may wait for a database server, and the deadline must still run.
    if (stop)
      stop();
    {
      std::lock_guard lock(mutex_);
      stop_running_ = false;
    }
    changed_.notify_all();
  });
}

void StopSignalWatcher::on_stop(std::function<void()> stop) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !stop_running_; });
  stop_ = std::move(stop);
  // A signal that came before there was anything to stop stops it now.
  if (signalled_ && stop_)
    stop_();
}

StopSignalWatcher::~StopSignalWatcher() {
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  changed_.notify_all();
  pthread_kill(thread_.native_handle(), SIGTERM);
  thread_.join();
  if (deadline_.joinable())
    deadline_.join();
}
