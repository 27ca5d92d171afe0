// Parameter substitution into the statement.

#include "reply_text.h"

#include "TextList.h"
#include "text.h"

namespace reply_text {
namespace {

// A placeholder ends where the name ends only if no name character follows; bytes of non-ASCII
// characters count as letters, as Portuguese names hold accented letters.
bool continues_name(char c) {
  auto u = static_cast<unsigned char>(c);
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || u >= 0x80;
}

std::string sql_literal(std::string_view value) {
  std::string literal = "'";
  for (char c : text::trim_controls(value)) {
    literal += c;
    if (c == '\'')
      literal += '\'';
  }
  return literal + "'";
}

std::string replace_placeholder(const std::string &sql, std::string_view name, const std::string &literal) {
  std::string out;
  size_t copied = 0;
  for (size_t at = sql.find(':'); at != std::string::npos; at = sql.find(':', at + 1)) {
    size_t end = at + 1 + name.size();
    if (end > sql.size() || (end < sql.size() && continues_name(sql[end])) ||
        compare_ignoring_case(std::string_view(sql).substr(at + 1, name.size()), name) != 0)
      continue;
    out.append(sql, copied, at - copied);
    out += literal;
    copied = end;
    at = end - 1;
  }
  out.append(sql, copied);
  return out;
}

} // namespace

std::string substitute_parameters(std::string sql, const std::vector<std::string> &entries) {
  for (const std::string &entry : entries) {
    size_t equals = entry.find('=');
    std::string_view name = std::string_view(entry).substr(0, equals);
    if (name.empty() || equals == std::string::npos)
      continue;
    sql = replace_placeholder(sql, name, sql_literal(std::string_view(entry).substr(equals + 1)));
  }
  return sql;
}

} // namespace reply_text
