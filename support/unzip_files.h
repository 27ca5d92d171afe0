#pragma once

// The file operations that unpacking needs, over POSIX or Win32. Paths are UTF-8 with '/' or the
// platform's separator. Failures throw `Exception` naming the path.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum class PathKind { missing, file, folder };
// What the path leads to, following links.
PathKind path_kind(const std::string &path);
// Whether the path itself is a symbolic link, or on Windows any reparse point (a junction too).
bool is_link(const std::string &path);
// The names in a folder, without "." and ".."; empty when it cannot be read.
std::vector<std::string> folder_names(const std::string &folder);
// Passes the file's bytes to `sink` piece by piece; false when it cannot be read.
bool read_file(const std::string &path, const std::function<void(const char *, size_t)> &sink);

// What tells the folder from every other one on the machine, however its path is spelt; throws
// `Exception` when it cannot be read.
std::string folder_identity(const std::string &folder);

#ifdef _WIN32
// The path as Win32 takes it: UTF-16, with the platform's separator.
std::wstring native_path(const std::string &path);
#endif

// The bytes that this program may still write on the folder's disk; UINT64_MAX when unknown.
uint64_t free_space(const std::string &folder);

// Creates one folder; its parent must exist.
void make_folder(const std::string &path);
// Removes an empty folder; quiet when it cannot.
void remove_empty_folder(const std::string &path) noexcept;
// False when the file is still there afterwards.
bool remove_file(const std::string &path) noexcept;
// Puts `from` in the place of `to` in one step, replacing a file that is there.
void replace_file(const std::string &from, const std::string &to);
// Moves the file `path` to the free name `aside`, keeping it for a restore.
void move_aside(const std::string &path, const std::string &aside);
// Tests set this to make a move fail as a file in use makes it fail on Windows.
extern bool (*replace_file_refused)(const std::string &from, const std::string &to);

// A file that this program creates anew and writes from start to end.
class NewFile {
public:
  NewFile() = default;
  ~NewFile();
  NewFile(const NewFile &) = delete;
  NewFile &operator=(const NewFile &) = delete;

  // False when a file or folder of that name is there already.
  bool create(const std::string &path);
  void write(const char *data, size_t size);
  // Sets the time of last change, in seconds since 1970 (UTC).
  void set_modified(int64_t time);
  void close();

private:
  std::string path_;
#ifdef _WIN32
  void *handle_ = nullptr;
#else
  int descriptor_ = -1;
#endif
};
