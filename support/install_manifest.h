#pragma once

// The install manifest: what the installer created, for the uninstaller to remove. One JSON object a line
// (JSON Lines), each with the format's version:
//
//   {"version":1,"kind":"file","path":"c:\\Velacorte\\Velacorte.exe","size":1234,"sha256":"9f86..."}
//   {"version":1,"kind":"shortcut","path":"C:\\Users\\caixa\\Desktop\\Velacorte.lnk"}
//   {"version":1,"kind":"folder","path":"C:\\Velacorte\\NFE2"}
//   {"version":1,"kind":"uninstall_entry","path":"HKEY_LOCAL_MACHINE\\Software\\...\\Uninstall\\Velacorte"}
//
// Paths are UTF-8. The file is read by a program that cannot trust it: a line that does not read is
// skipped with its reason, and nothing read here decides by itself what may be removed.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace manifest {

inline constexpr int kVersion = 1;
// A longer line is not read: no path of the product comes near it.
inline constexpr size_t kLineLimit = 8192;

enum class Kind { File, Shortcut, Folder, UninstallEntry };

struct Entry {
  Kind kind = Kind::File;
  std::string path;
  // Files only: the size in bytes and the SHA-256 of the placed content, 64 lower-case hex digits.
  uint64_t size = 0;
  std::string sha256;

  bool operator==(const Entry &) const = default;
};

struct SkippedLine {
  size_t number; // from 1
  std::string reason;
};

struct Contents {
  std::vector<Entry> entries;
  std::vector<SkippedLine> skipped;
};

// One line, without its line break.
std::string to_line(const Entry &entry);
// The entry of one line, or the reason it does not read.
struct LineReading {
  bool ok = false;
  Entry entry;
  std::string reason;
};
LineReading read_line(std::string_view line);

// Every line of a manifest's text; a last line without its line break (a cut write) is read as any other.
Contents parse(std::string_view text);
std::string to_text(const std::vector<Entry> &entries);

// The entries of earlier runs followed by this run's; an object recorded again (same kind, same path in
// any letter case) keeps its first place and takes this run's data.
std::vector<Entry> merged(const std::vector<Entry> &earlier, const std::vector<Entry> &now);

// The manifest file at `path` (UTF-8). `found` is false when there is no file; a file that cannot be
// read is reported in `skipped` as line 0.
struct FileReading {
  bool found = false;
  Contents contents;
};
FileReading read_file(const std::string &path);

// Writes the entries to `path` through a temporary file beside it ("NAME.tmp") that replaces the file
// in one rename, so that a cut run leaves either the old manifest or the new one. The reason when it
// could not, naming the operation and the file; the empty text on success.
std::string write_file(const std::string &path, const std::vector<Entry> &entries);

const char *kind_name(Kind kind);

} // namespace manifest
