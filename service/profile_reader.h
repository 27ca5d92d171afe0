#pragma once

#include <string>
#include <string_view>

// Reads an INI file as the Windows profile functions do: section and key names match without regard
// to ASCII case, blanks around names and values are dropped, one pair of surrounding quotes (single
// or double) on a value is dropped, the first matching section and key win. A missing file reads as
// empty.
class ProfileReader {
public:
  explicit ProfileReader(const std::string &path);

  std::string value(std::string_view section, std::string_view key) const;

private:
  std::string content_;
};
