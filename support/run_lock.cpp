#include "run_lock.h"

#include "Exception.h"
#include "unzip_files.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef _WIN32

namespace {
HANDLE open_unshared(const std::string &path, DWORD disposition) {
  return CreateFileW(native_path(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                     disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}
} // namespace

bool RunLock::create(const std::string &path) {
  HANDLE handle = open_unshared(path, CREATE_NEW);
  if (handle == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS)
      return false;
    throw Exception("cannot create the lock \"" + path + "\" (Windows error " +
                    std::to_string(GetLastError()) + ")");
  }
  path_ = path;
  made_ = true;
  handle_ = handle;
  return true;
}

bool RunLock::claim(const std::string &path) {
  HANDLE handle = open_unshared(path, OPEN_ALWAYS);
  if (handle == INVALID_HANDLE_VALUE)
    return false;
  path_ = path;
  made_ = GetLastError() != ERROR_ALREADY_EXISTS;
  handle_ = handle;
  return true;
}

void RunLock::let_go(bool remove) noexcept {
  if (!handle_)
    return;
  FILE_DISPOSITION_INFO disposition{TRUE};
  if (remove)
    SetFileInformationByHandle(handle_, FileDispositionInfo, &disposition, sizeof disposition);
  CloseHandle(handle_);
  handle_ = nullptr;
}

#else

namespace {
bool same_file(int descriptor, const std::string &path) {
  struct stat held, named;
  return fstat(descriptor, &held) == 0 && S_ISREG(held.st_mode) && lstat(path.c_str(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

constexpr int open_flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
} // namespace

bool RunLock::create(const std::string &path) {
  int descriptor = open(path.c_str(), open_flags | O_CREAT | O_EXCL, 0666);
  if (descriptor < 0) {
    if (errno == EEXIST)
      return false;
    throw Exception("cannot create the lock \"" + path + "\" (" + std::strerror(errno) + ")");
  }
  if (hold(path, descriptor, true))
    return true;
  // Another run may take a lock file the moment it is there, before it is locked: it then removes
  // it, and this run takes another name.
  if (errno == EWOULDBLOCK)
    return false;
  int error = errno;
  unlink(path.c_str());
  throw Exception("cannot take the lock \"" + path + "\" (" + std::strerror(error) + ")");
}

bool RunLock::claim(const std::string &path) {
  bool made = false;
  int descriptor = open(path.c_str(), open_flags);
  if (descriptor < 0 && errno == ENOENT) {
    descriptor = open(path.c_str(), open_flags | O_CREAT | O_EXCL, 0666);
    made = true;
  }
  if (descriptor < 0)
    return false;
  return hold(path, descriptor, made);
}

// A file that another process removed or replaced between the open and the lock counts as held
// (EWOULDBLOCK): the run that held it may have removed it as it ended.
bool RunLock::hold(const std::string &path, int descriptor, bool made) {
  bool locked = flock(descriptor, LOCK_EX | LOCK_NB) == 0;
  int error = locked ? EWOULDBLOCK : errno;
  if (!locked || !same_file(descriptor, path)) {
    ::close(descriptor);
    errno = error;
    return false;
  }
  path_ = path;
  made_ = made;
  descriptor_ = descriptor;
  return true;
}

void RunLock::let_go(bool remove) noexcept {
  if (descriptor_ < 0)
    return;
  if (remove)
    unlink(path_.c_str());
  ::close(descriptor_);
  descriptor_ = -1;
}

#endif
