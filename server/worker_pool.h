#pragma once

// The workers that serve client connections, with a bounded queue of connections waiting for one.
// A connection that finds the queue full is not queued: its job runs at once on the accepting thread
// with busy_now() true, and is expected to answer 503 and close without reading.

#include <httplib.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class WorkerPool : public httplib::TaskQueue {
public:
  WorkerPool(std::size_t workers, std::size_t queue_limit);

  void enqueue(std::function<void()> job) override;
  // Runs what is queued, then ends the workers.
  void shutdown() override;

  // Whether the job running on this thread was refused a place in the queue.
  static bool busy_now();

private:
  void work();

  std::size_t queue_limit_;
  std::mutex mutex_;
  std::condition_variable queued_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> jobs_;
  std::size_t idle_ = 0; // workers waiting for a job
  bool ending_ = false;
  std::vector<std::thread> threads_;
};
