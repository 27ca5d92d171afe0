#pragma once

// The file operations that unpacking needs, over POSIX or Win32. Paths are UTF-8 with '/' or the
// platform's separator. Failures throw `Exception` naming the path.

#include <cstddef>
#include <cstdint>
#include <string>

enum class PathKind { missing, file, folder };
PathKind path_kind(const std::string &path);

// The bytes that this program may still write on the folder's disk; UINT64_MAX when unknown.
uint64_t free_space(const std::string &folder);

// Creates one folder; its parent must exist.
void make_folder(const std::string &path);
// Removes an empty folder; quiet when it cannot.
void remove_empty_folder(const std::string &path) noexcept;
void remove_file(const std::string &path) noexcept;
// Puts `from` in the place of `to` in one step, replacing a file that is there.
void replace_file(const std::string &from, const std::string &to);

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
  void close();

private:
  std::string path_;
#ifdef _WIN32
  void *handle_ = nullptr;
#else
  int descriptor_ = -1;
#endif
};
