#pragma once

// What one installation run created, for the uninstaller: the placed product files with their size and
// SHA-256, the shortcuts, the folders and the uninstall entry. `save` merges it into the manifest of
// earlier runs.

#include "install_manifest.h"
#include "product.h"

#include <string>
#include <vector>

class InstallLog;

class InstallRecord {
public:
  static constexpr const char *kPath = product::kManifest;

  explicit InstallRecord(std::string path = kPath) : path_(std::move(path)) {}

  // A product file just placed at `path`; one that cannot be read is named in the log and left out.
  void file(const std::string &path, InstallLog &log);
  void shortcut(const std::string &path);
  void uninstall_entry(const std::string &key);
  // Creates the folder with any missing parents, recording each one it created; true when it exists.
  bool create_folder(const std::wstring &path);

  // Whether this run placed a product file at `path` (any letter case).
  bool placed(const std::string &path) const;

  // Merges this run's objects into the manifest file; the outcome goes to the log.
  void save(InstallLog &log);

private:
  std::string path_;
  std::vector<manifest::Entry> entries_;
};
