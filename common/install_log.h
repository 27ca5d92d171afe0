#pragma once

// The install log: what each run did, for support to read afterwards. Every event is one UTF-8 line,
// "YYYY-MM-DD hh:mm:ss.mmm " and the event's text, appended to the log file. The file's folder may not
// exist yet when a run starts: lines are held in memory until it does. Past `kRotationSize` the file
// is renamed with ".1" appended (one old generation) and a new one begun.

#include "product.h"
#include "text.h"
#include "windows_owners.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class InstallLog {
public:
  static inline const std::wstring kPath = text::widen(product::kInstallLog);
  static constexpr uint64_t kRotationSize = 1024 * 1024;

  explicit InstallLog(std::wstring path = kPath);
  InstallLog(const InstallLog &) = delete;
  InstallLog &operator=(const InstallLog &) = delete;

  // Line breaks in `event` become blanks; hidden texts and any Authorization header are left out.
  void line(const std::string &event);
  // A text that must never reach the file (the token's SENHA): written as "****".
  void hide(const std::string &secret);
  // Creates the file's folder (one level) when it is missing: for a program that ends before any run
  // made it, whose reason must still reach the file.
  void create_folder();
  const std::wstring &path() const { return path_; }

private:
  bool open();
  void write(const std::string &text);
  void rotate();
  std::string cleaned(std::string event) const;

  std::wstring path_;
  std::vector<std::string> pending_;
  std::vector<std::string> secrets_;
  win::File file_;
  uint64_t size_ = 0;
};
