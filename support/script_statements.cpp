#include "script_statements.h"

#include "text.h"

std::vector<std::string> script_statements(const std::string &script) {
  std::vector<std::string> statements;
  std::string current;
  char quote = 0;
  for (char c : script) {
    if (quote) {
      if (c == quote)
        quote = 0;
    } else if (c == '\'' || c == '"' || c == '`') {
      quote = c;
    } else if (c == ';') {
      if (!text::trim_controls(current).empty())
        statements.push_back(current);
      current.clear();
      continue;
    }
    current += c;
  }
  if (!text::trim_controls(current).empty())
    statements.push_back(current);
  return statements;
}
