#include "unzip_files.h"

#include "Exception.h"

#ifdef _WIN32
#include "text.h"
#include <algorithm>
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
std::wstring native(const std::string &path) {
  std::wstring wide = text::widen(path);
  for (wchar_t &c : wide)
    if (c == L'/')
      c = L'\\';
  return wide;
}

[[noreturn]] void fail(const std::string &what, const std::string &path) {
  DWORD error = GetLastError();
  throw Exception(what + " \"" + path + "\" (Windows error " + std::to_string(error) + ")");
}
#else
[[noreturn]] void fail(const std::string &what, const std::string &path) {
  int error = errno;
  throw Exception(what + " \"" + path + "\" (" + std::strerror(error) + ")");
}
#endif

} // namespace

#ifdef _WIN32

PathKind path_kind(const std::string &path) {
  DWORD attributes = GetFileAttributesW(native(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return PathKind::missing;
  return attributes & FILE_ATTRIBUTE_DIRECTORY ? PathKind::folder : PathKind::file;
}

uint64_t free_space(const std::string &folder) {
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExW(native(folder).c_str(), &available, nullptr, nullptr))
    return UINT64_MAX;
  return available.QuadPart;
}

void make_folder(const std::string &path) {
  if (!CreateDirectoryW(native(path).c_str(), nullptr))
    fail("cannot create the folder", path);
}

void remove_empty_folder(const std::string &path) noexcept {
  RemoveDirectoryW(native(path).c_str());
}

void remove_file(const std::string &path) noexcept {
  DeleteFileW(native(path).c_str());
}

void replace_file(const std::string &from, const std::string &to) {
  if (!MoveFileExW(native(from).c_str(), native(to).c_str(), MOVEFILE_REPLACE_EXISTING))
    fail("cannot put in place the file", to);
}

NewFile::~NewFile() {
  if (handle_)
    CloseHandle(handle_);
}

bool NewFile::create(const std::string &path) {
  path_ = path;
  HANDLE handle = CreateFileW(native(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS)
      return false;
    fail("cannot create the file", path);
  }
  handle_ = handle;
  return true;
}

void NewFile::write(const char *data, size_t size) {
  while (size > 0) {
    DWORD piece = static_cast<DWORD>(std::min<size_t>(size, 1 << 30));
    DWORD written = 0;
    if (!WriteFile(handle_, data, piece, &written, nullptr) || written == 0)
      fail("cannot write the file", path_);
    data += written;
    size -= written;
  }
}

void NewFile::close() {
  HANDLE handle = handle_;
  handle_ = nullptr;
  if (!CloseHandle(handle))
    fail("cannot write the file", path_);
}

#else

PathKind path_kind(const std::string &path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0)
    return PathKind::missing;
  return S_ISDIR(status.st_mode) ? PathKind::folder : PathKind::file;
}

uint64_t free_space(const std::string &folder) {
  struct statvfs status;
  if (statvfs(folder.c_str(), &status) != 0)
    return UINT64_MAX;
  return static_cast<uint64_t>(status.f_bavail) * status.f_frsize;
}

void make_folder(const std::string &path) {
  if (mkdir(path.c_str(), 0777) != 0)
    fail("cannot create the folder", path);
}

void remove_empty_folder(const std::string &path) noexcept {
  rmdir(path.c_str());
}

void remove_file(const std::string &path) noexcept {
  unlink(path.c_str());
}

void replace_file(const std::string &from, const std::string &to) {
  if (rename(from.c_str(), to.c_str()) != 0)
    fail("cannot put in place the file", to);
}

NewFile::~NewFile() {
  if (descriptor_ >= 0)
    ::close(descriptor_);
}

bool NewFile::create(const std::string &path) {
  path_ = path;
  int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (descriptor < 0) {
    if (errno == EEXIST)
      return false;
    fail("cannot create the file", path);
  }
  descriptor_ = descriptor;
  return true;
}

void NewFile::write(const char *data, size_t size) {
  while (size > 0) {
    ssize_t written = ::write(descriptor_, data, size);
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      fail("cannot write the file", path_);
    data += written;
    size -= static_cast<size_t>(written);
  }
}

void NewFile::close() {
  int descriptor = descriptor_;
  descriptor_ = -1;
  if (::close(descriptor) != 0)
    fail("cannot write the file", path_);
}

#endif
