#include "stop_signals.h"

#include <csignal>
#include <pthread.h>

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

StopSignalWatcher::StopSignalWatcher(std::function<void()> on_stop) {
  thread_ = std::thread([this, on_stop = std::move(on_stop)] {
    sigset_t signals = stop_signal_set();
    int signal = 0;
    sigwait(&signals, &signal);
    if (!ending_)
      on_stop();
  });
}

StopSignalWatcher::~StopSignalWatcher() {
  ending_ = true;
  pthread_kill(thread_.native_handle(), SIGTERM);
  thread_.join();
}
