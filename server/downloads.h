#pragma once

// What the download host serves: the files under its folder, whole or as one byte range.

#include <cstdint>
#include <filesystem>
#include <string>

// The regular file `relative` names under `root`, or empty when the name holds a NUL, leaves the folder
// (by "..", an absolute path or a symbolic link to somewhere outside) or names no regular file.
std::filesystem::path download_file(const std::filesystem::path &root, const std::string &relative);

struct ByteRange {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

enum class RangeAnswer { whole, part, refused };

// Reads a Range header for a file of `size` bytes. No header: the whole file. One satisfiable range of
// bytes: that part, in `range`. Several ranges, one outside the file or another unit: refused (416),
// so that no request costs more than one pass over the file.
RangeAnswer read_range(const std::string &header, std::uint64_t size, ByteRange &range);
