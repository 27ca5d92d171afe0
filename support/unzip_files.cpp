#include "unzip_files.h"

#include "Exception.h"

#include <cstdio>

#ifdef _WIN32
#include "text.h"
#include <algorithm>
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#endif

bool (*replace_file_refused)(const std::string &from, const std::string &to) = nullptr;

#ifdef _WIN32
std::wstring native_path(const std::string &path) {
  std::wstring wide = text::widen(path);
  for (wchar_t &c : wide)
    if (c == L'/')
      c = L'\\';
  return wide;
}
#endif

namespace {

#ifdef _WIN32

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

constexpr size_t read_piece = 256 * 1024;

[[noreturn]] void refuse(const std::string &what, const std::string &path) {
  throw Exception(what + " \"" + path + "\" (refused)");
}

} // namespace

#ifdef _WIN32

PathKind path_kind(const std::string &path) {
  DWORD attributes = GetFileAttributesW(native_path(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return PathKind::missing;
  return attributes & FILE_ATTRIBUTE_DIRECTORY ? PathKind::folder : PathKind::file;
}

bool is_link(const std::string &path) {
  DWORD attributes = GetFileAttributesW(native_path(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::vector<std::string> folder_names(const std::string &folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((native_path(folder) + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return names;
  do {
    std::wstring name = found.cFileName;
    if (name != L"." && name != L"..")
      names.push_back(text::narrow(name));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

bool read_file(const std::string &path, const std::function<void(const char *, size_t)> &sink) {
  HANDLE handle = CreateFileW(native_path(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE)
    return false;
  std::vector<char> buffer(read_piece);
  DWORD got = 0;
  bool ok;
  while ((ok = ReadFile(handle, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) && got > 0)
    sink(buffer.data(), got);
  CloseHandle(handle);
  return ok;
}

std::string folder_identity(const std::string &folder) {
  HANDLE handle = CreateFileW(native_path(folder).c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE)
    fail("cannot read the identity of the folder", folder);
  BY_HANDLE_FILE_INFORMATION information;
  bool read = GetFileInformationByHandle(handle, &information);
  CloseHandle(handle);
  if (!read)
    fail("cannot read the identity of the folder", folder);
  char identity[40];
  std::snprintf(identity, sizeof identity, "%08lx-%08lx%08lx", information.dwVolumeSerialNumber,
                information.nFileIndexHigh, information.nFileIndexLow);
  return identity;
}

uint64_t free_space(const std::string &folder) {
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExW(native_path(folder).c_str(), &available, nullptr, nullptr))
    return UINT64_MAX;
  return available.QuadPart;
}

void make_folder(const std::string &path) {
  if (!CreateDirectoryW(native_path(path).c_str(), nullptr))
    fail("cannot create the folder", path);
}

void remove_empty_folder(const std::string &path) noexcept {
  RemoveDirectoryW(native_path(path).c_str());
}

bool remove_file(const std::string &path) noexcept {
  std::wstring wide = native_path(path);
  if (DeleteFileW(wide.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND)
    return true;
  // A read-only file moved aside goes too: the archive's copy has replaced it.
  return GetLastError() == ERROR_ACCESS_DENIED && SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL) &&
         DeleteFileW(wide.c_str());
}

namespace {
void move_file(const std::string &from, const std::string &to, const std::string &what,
               const std::string &named) {
  if (replace_file_refused && replace_file_refused(from, to))
    refuse(what, named);
  if (!MoveFileExW(native_path(from).c_str(), native_path(to).c_str(), MOVEFILE_REPLACE_EXISTING))
    fail(what, named);
}
} // namespace

NewFile::~NewFile() {
  if (handle_)
    CloseHandle(handle_);
}

bool NewFile::create(const std::string &path) {
  path_ = path;
  HANDLE handle = CreateFileW(native_path(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
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

void NewFile::set_modified(int64_t time) {
  // FILETIME counts 100-nanosecond steps from 1601.
  uint64_t ticks = static_cast<uint64_t>(time + 11644473600LL) * 10000000ULL;
  FILETIME when{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  SetFileTime(handle_, nullptr, nullptr, &when);
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

bool is_link(const std::string &path) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

std::vector<std::string> folder_names(const std::string &folder) {
  std::vector<std::string> names;
  DIR *listing = opendir(folder.c_str());
  if (!listing)
    return names;
  while (const dirent *item = readdir(listing)) {
    std::string name = item->d_name;
    if (name != "." && name != "..")
      names.push_back(name);
  }
  closedir(listing);
  return names;
}

bool read_file(const std::string &path, const std::function<void(const char *, size_t)> &sink) {
  int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (descriptor < 0)
    return false;
  std::vector<char> buffer(read_piece);
  ssize_t got;
  while ((got = ::read(descriptor, buffer.data(), buffer.size())) != 0) {
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0)
      break;
    sink(buffer.data(), static_cast<size_t>(got));
  }
  ::close(descriptor);
  return got == 0;
}

std::string folder_identity(const std::string &folder) {
  struct stat status;
  if (stat(folder.c_str(), &status) != 0)
    fail("cannot read the identity of the folder", folder);
  return std::to_string(status.st_dev) + "-" + std::to_string(status.st_ino);
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

bool remove_file(const std::string &path) noexcept {
  return unlink(path.c_str()) == 0 || errno == ENOENT;
}

namespace {
void move_file(const std::string &from, const std::string &to, const std::string &what,
               const std::string &named) {
  if (replace_file_refused && replace_file_refused(from, to))
    refuse(what, named);
  if (rename(from.c_str(), to.c_str()) != 0)
    fail(what, named);
}
} // namespace

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

void NewFile::set_modified(int64_t time) {
  timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(time), 0}};
  futimens(descriptor_, times);
}

void NewFile::close() {
  int descriptor = descriptor_;
  descriptor_ = -1;
  if (::close(descriptor) != 0)
    fail("cannot write the file", path_);
}

#endif

void replace_file(const std::string &from, const std::string &to) {
  move_file(from, to, "cannot put in place the file", to);
}

void move_aside(const std::string &path, const std::string &aside) {
  move_file(path, aside, "cannot move aside the file", path);
}
