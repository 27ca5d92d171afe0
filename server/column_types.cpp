#include "column_types.h"

#include "text.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

// The numbers in "NAME(a)" or "NAME(a,b)"; -1 for a missing one.
std::pair<long long, long long> type_arguments(std::string_view declared) {
  size_t open = declared.find('(');
  if (open == std::string_view::npos)
    return {-1, -1};
  std::string inside(declared.substr(open + 1));
  char *end = nullptr;
  long long first = std::strtoll(inside.c_str(), &end, 10);
  if (end == inside.c_str())
    return {-1, -1};
  long long second = -1;
  if (const char *comma = std::strchr(end, ','))
    second = std::strtoll(comma + 1, nullptr, 10);
  return {first, second};
}

bool has(std::string_view haystack, std::string_view needle) {
  return haystack.find(needle) != haystack.npos;
}

bool matches(std::string_view s, std::string_view pattern) {
  if (s.size() != pattern.size())
    return false;
  for (size_t i = 0; i < s.size(); ++i)
    if (pattern[i] == '9' ? !std::isdigit(static_cast<unsigned char>(s[i])) : s[i] != pattern[i])
      return false;
  return true;
}

} // namespace

ColumnType column_type_from_declaration(std::string_view declared) {
  std::string type = text::upper_ascii(declared);
  auto [size, scale] = type_arguments(type);
  auto sized = [&](int tipo, long long fallback) { return ColumnType{tipo, size > 0 ? size : fallback}; };
  if (has(type, "BIGINT"))
    return {8, 20};
  if (has(type, "TINYINT"))
    return {1, 4};
  if (has(type, "SMALLINT"))
    return {2, 6};
  if (has(type, "MEDIUMINT"))
    return {9, 9};
  if (has(type, "INT"))
    return {3, 11};
  if (has(type, "BOOL"))
    return {1, 1};
  if (has(type, "DATETIME"))
    return {12, 19};
  if (has(type, "TIMESTAMP"))
    return {7, 19};
  if (has(type, "DATE"))
    return {10, 10};
  if (has(type, "TIME"))
    return {11, 8};
  if (has(type, "DECIMAL") || has(type, "NUMERIC")) {
    long long precision = size > 0 ? size : 10;
    long long places = scale > 0 ? scale : 0;
    return {246, precision + (places > 0 ? 2 : 1), static_cast<int>(places)};
  }
  if (has(type, "DOUBLE") || has(type, "REAL"))
    return {5, 22};
  if (has(type, "FLOAT"))
    return {4, 12};
  if (has(type, "VARCHAR") || has(type, "VARYING"))
    return sized(253, 255);
  if (has(type, "CHAR"))
    return sized(254, 1);
  if (has(type, "TEXT") || has(type, "CLOB") || has(type, "BLOB"))
    return {252, 65535};
  return sized(253, 255);
}

ColumnType column_type_from_values(const std::vector<int> &storage, const std::vector<std::string> &texts) {
  if (storage.empty())
    return {253, 0};
  auto all = [&](int kind) {
    return std::all_of(storage.begin(), storage.end(), [&](int s) { return s == kind; });
  };
  auto all_texts = [&](std::string_view pattern) {
    return std::all_of(texts.begin(), texts.end(), [&](const std::string &t) { return matches(t, pattern); });
  };
  if (all(SQLITE_INTEGER))
    return {8, 21};
  if (std::all_of(storage.begin(), storage.end(),
                  [](int s) { return s == SQLITE_INTEGER || s == SQLITE_FLOAT; }))
    return {5, 23};
  if (all(SQLITE_TEXT)) {
    if (all_texts("9999-99-99 99:99:99"))
      return {12, 19};
    if (all_texts("9999-99-99"))
      return {10, 10};
    if (all_texts("99:99:99"))
      return {11, 8};
  }
  if (std::any_of(storage.begin(), storage.end(), [](int s) { return s == SQLITE_BLOB; }))
    return {252, 65535};
  size_t longest = 0;
  for (const std::string &t : texts)
    longest = std::max(longest, t.size());
  return {253, static_cast<long long>(longest)};
}
