#pragma once

#include <string>

// The lock file that marks a run of the extraction at work in its folder. The system lets a lock go
// when its process ends, however it ends, so a run whose lock can be taken has ended: whatever it
// left belongs to nobody, whatever its process ID was. POSIX uses flock; Windows a file opened
// without sharing.
class RunLock {
public:
  RunLock() = default;
  // Lets the lock go, removing the file only when this lock made it.
  ~RunLock() { let_go(made_); }
  RunLock(const RunLock &) = delete;
  RunLock &operator=(const RunLock &) = delete;

  // Creates the lock file `path` and holds it; false when a file of that name is there already, or
  // another run took it first.
  bool create(const std::string &path);
  // Holds the lock file `path` of another run, creating it when it is gone; false while a live
  // process holds it, or when it cannot be opened.
  bool claim(const std::string &path);
  // Removes the lock file and lets the lock go.
  void release() noexcept { let_go(true); }

private:
  void let_go(bool remove) noexcept;

  std::string path_;
  bool made_ = false;
#ifdef _WIN32
  void *handle_ = nullptr;
#else
  // Locks the open file and keeps it; false, with errno, when it cannot.
  bool hold(const std::string &path, int descriptor, bool made);
  int descriptor_ = -1;
#endif
};
