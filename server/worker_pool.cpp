#include "worker_pool.h"

namespace {
thread_local bool refused_a_place = false;
}

WorkerPool::WorkerPool(std::size_t workers, std::size_t queue_limit) : queue_limit_(queue_limit) {
  for (std::size_t i = 0; i < workers; ++i)
    threads_.emplace_back([this] { work(); });
  // Connections that arrive at once are counted against idle workers, so wait until they all are.
  std::unique_lock lock(mutex_);
  ready_.wait(lock, [&] { return idle_ == workers; });
}

void WorkerPool::enqueue(std::function<void()> job) {
  {
    std::lock_guard lock(mutex_);
    // Jobs that idle workers are about to take are not waiting.
    if (jobs_.size() < idle_ + queue_limit_) {
      jobs_.push_back(std::move(job));
      queued_.notify_one();
      return;
    }
  }
  refused_a_place = true;
  job();
  refused_a_place = false;
}

void WorkerPool::shutdown() {
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  queued_.notify_all();
  for (std::thread &thread : threads_)
    thread.join();
}

bool WorkerPool::busy_now() {
  return refused_a_place;
}

void WorkerPool::work() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock lock(mutex_);
      ++idle_;
      ready_.notify_one();
      queued_.wait(lock, [this] { return ending_ || !jobs_.empty(); });
      --idle_;
      if (jobs_.empty())
        return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job();
  }
}
