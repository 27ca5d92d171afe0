#include "profile_reader.h"

#include "text.h"

#include <fstream>
#include <sstream>

namespace {

std::string_view trim_blanks(std::string_view s) {
  size_t begin = s.find_first_not_of(" \t");
  if (begin == std::string_view::npos)
    return {};
  size_t end = s.find_last_not_of(" \t\r");
  return s.substr(begin, end - begin + 1);
}

bool same_name(std::string_view a, std::string_view b) {
  return text::lower_ascii(a) == text::lower_ascii(b);
}

} // namespace

ProfileReader::ProfileReader(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  content_ = buffer.str();
  // A UTF-8 byte-order mark at the start belongs to no section name.
  if (content_.starts_with("\xEF\xBB\xBF"))
    content_.erase(0, 3);
}

std::string ProfileReader::value(std::string_view section, std::string_view key) const {
  std::string_view rest = content_;
  bool in_section = false;
  while (!rest.empty()) {
    size_t eol = rest.find('\n');
    std::string_view line = trim_blanks(rest.substr(0, eol));
    rest = eol == std::string_view::npos ? std::string_view() : rest.substr(eol + 1);
    if (line.starts_with('[')) {
      size_t close = line.find(']');
      std::string_view name =
          trim_blanks(line.substr(1, close == std::string_view::npos ? line.npos : close - 1));
      in_section = same_name(name, section);
      continue;
    }
    if (!in_section || line.starts_with(';'))
      continue;
    size_t equals = line.find('=');
    if (equals == std::string_view::npos || !same_name(trim_blanks(line.substr(0, equals)), key))
      continue;
    std::string_view found = trim_blanks(line.substr(equals + 1));
    if (found.size() >= 2 && (found.front() == '"' || found.front() == '\'') && found.back() == found.front())
      found = found.substr(1, found.size() - 2);
    return std::string(found);
  }
  return {};
}
