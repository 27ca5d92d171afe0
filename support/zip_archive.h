#pragma once

// Reading a ZIP archive. Opening it checks the whole central directory and every local header
// (names, sizes, overlaps, methods) before a caller writes anything; reading an entry inflates its
// data, bounded by its declared size, and checks its CRC-32.

#include "zip_names.h"

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct ZipEntry {
  std::string raw_name; // as the central directory holds it
  EntryPath target;
  uint16_t flags = 0;
  uint16_t method = 0; // 0 stored, 8 deflated
  uint32_t crc = 0;
  uint64_t compressed_size = 0;
  uint64_t size = 0;
  uint64_t header_offset = 0;
  uint64_t data_offset = 0;
  int64_t modified = 0; // seconds since 1970 (UTC)
};

class ZipArchive {
public:
  // Opens and checks the archive; throws `Exception` naming the archive and the fault.
  explicit ZipArchive(const std::string &path);
  ZipArchive(const ZipArchive &) = delete;
  ZipArchive &operator=(const ZipArchive &) = delete;

  const std::vector<ZipEntry> &entries() const { return entries_; }
  // The sum of the entries' declared sizes.
  uint64_t total_size() const { return total_size_; }

  // Passes the entry's data to `sink` piece by piece. Throws `Exception` when the data is damaged,
  // outgrows or falls short of the declared size, or fails its CRC check.
  void read(const ZipEntry &entry, const std::function<void(const char *, size_t)> &sink);

  const std::string &path() const { return path_; }

private:
  std::FILE *open_regular_file(const std::string &path) const;
  [[noreturn]] void fail(const std::string &reason) const;
  [[noreturn]] void fail(const ZipEntry &entry, const std::string &reason) const;
  void seek(uint64_t offset);
  void read_exactly(void *buffer, size_t size);
  void read_at(uint64_t offset, void *buffer, size_t size);

  void read_central_directory();
  ZipEntry read_central_header(const unsigned char *header, size_t available, size_t &record_size);
  void check_local_header(ZipEntry &entry, uint64_t data_limit);
  // Entries whose bytes overlap let a little data count many times (the "overlapping" bombs).
  void check_overlaps();
  void check_paths();
  void read_stored(const ZipEntry &entry, const std::function<void(const char *, size_t)> &sink);
  void read_deflated(const ZipEntry &entry, const std::function<void(const char *, size_t)> &sink);

  std::string path_;
  std::unique_ptr<std::FILE, int (*)(std::FILE *)> file_{nullptr, &std::fclose};
  uint64_t file_size_ = 0;
  std::vector<ZipEntry> entries_;
  uint64_t total_size_ = 0;
  std::vector<char> input_;
  std::vector<char> output_;
};
