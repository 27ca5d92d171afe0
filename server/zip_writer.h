#pragma once

// Writes ZIP archives (deflated entries, names in UTF-8) for the download host's sample files.

#include <string>
#include <utility>
#include <vector>

struct ZipEntry {
  std::string name; // relative path with "/" separators
  std::string bytes;
};

// The whole archive as bytes.
std::string zip_archive(const std::vector<ZipEntry> &entries);
