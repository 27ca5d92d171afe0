#include "downloads.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <system_error>

namespace {

bool inside(const std::filesystem::path &folder, const std::filesystem::path &path) {
  auto [end_of_folder, rest] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
  return end_of_folder == folder.end();
}

// Digits to a number; false when there are none or they overflow.
bool read_number(const std::string &text, std::uint64_t &number) {
  if (text.empty())
    return false;
  number = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c)) || number > (UINT64_MAX - 9) / 10)
      return false;
    number = number * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return true;
}

std::string without_blanks(const std::string &text) {
  std::string out;
  for (char c : text)
    if (c != ' ' && c != '\t')
      out += c;
  return out;
}

} // namespace

std::filesystem::path download_file(const std::filesystem::path &root, const std::string &relative) {
  if (root.empty() || relative.find('\0') != std::string::npos)
    return {};
  std::filesystem::path wanted = std::filesystem::path(relative).lexically_normal();
  if (wanted.empty() || wanted.is_absolute() || *wanted.begin() == "..")
    return {};
  std::error_code error;
  std::filesystem::path folder = std::filesystem::canonical(root, error);
  if (error)
    return {};
  std::filesystem::path full = std::filesystem::canonical(folder / wanted, error);
  if (error || !inside(folder, full) || !std::filesystem::is_regular_file(full, error))
    return {};
  return full;
}

RangeAnswer read_range(const std::string &header, std::uint64_t size, ByteRange &range) {
  std::string value = without_blanks(header);
  if (value.empty())
    return RangeAnswer::whole;
  if (value.compare(0, 6, "bytes=") != 0)
    return RangeAnswer::refused;
  std::string wanted = value.substr(6);
  size_t dash = wanted.find('-');
  if (wanted.find(',') != std::string::npos || dash == std::string::npos)
    return RangeAnswer::refused;
  std::string first_text = wanted.substr(0, dash), last_text = wanted.substr(dash + 1);
  std::uint64_t first = 0, last = 0;
  if (first_text.empty()) { // the last `last` bytes
    if (!read_number(last_text, last) || last == 0 || size == 0)
      return RangeAnswer::refused;
    range.length = last < size ? last : size;
    range.offset = size - range.length;
    return RangeAnswer::part;
  }
  if (!read_number(first_text, first) || first >= size)
    return RangeAnswer::refused;
  if (last_text.empty()) {
    last = size - 1;
  } else if (!read_number(last_text, last) || last < first) {
    return RangeAnswer::refused;
  }
  if (last >= size)
    last = size - 1;
  range.offset = first;
  range.length = last - first + 1;
  return RangeAnswer::part;
}
