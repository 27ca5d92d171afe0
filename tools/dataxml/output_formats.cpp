#include "output_formats.h"

#include "base64.h"
#include "json_text.h"
#include "text.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string hex_byte(unsigned char b, const char *prefix) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%s%02x", prefix, b);
  return buffer;
}

} // namespace

// C0 controls, DEL and C1 controls (U+0080 to U+009F, in UTF-8 C2 80 to C2 9F).
std::string terminal_safe(const std::string &value) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    const auto b = static_cast<unsigned char>(value[i]);
    const auto next = i + 1 < value.size() ? static_cast<unsigned char>(value[i + 1]) : 0;
    if (b == '\t')
      out += "\\t";
    else if (b == '\n')
      out += "\\n";
    else if (b == '\r')
      out += "\\r";
    else if (b < 0x20 || b == 0x7F)
      out += hex_byte(b, "\\x");
    else if (b == 0xC2 && next >= 0x80 && next <= 0x9F)
      out += hex_byte(next, "\\u00"), ++i;
    else
      out += value[i];
  }
  return out;
}

namespace {

// Characters as a terminal lays them out, one column each.
size_t width(const std::string &s) {
  return static_cast<size_t>(std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

std::string table_text(const Cell &cell, const std::string &null_text) {
  switch (cell.kind) {
  case Cell::Kind::null:
    return null_text;
  case Cell::Kind::binary:
    return "<blob " + std::to_string(cell.bytes.size()) + " bytes>";
  case Cell::Kind::text:
    break;
  }
  return terminal_safe(cell.bytes);
}

std::string tsv_text(const std::string &value) {
  std::string out;
  for (char c : value) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\t')
      out += "\\t";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else
      out += c;
  }
  return out;
}

std::string csv_text(const std::string &value) {
  if (value.find_first_of(",\"\r\n") == std::string::npos)
    return value;
  std::string out = "\"";
  for (char c : value) {
    if (c == '"')
      out += '"';
    out += c;
  }
  return out + "\"";
}

// A number as JSON writes one: an optional minus, digits without leading zeros, an optional
// fraction and exponent. Anything else the service sends for a number stays a string.
bool json_number(const std::string &s) {
  size_t i = 0;
  auto digits = [&] {
    size_t start = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
      ++i;
    return i - start;
  };
  if (i < s.size() && s[i] == '-')
    ++i;
  size_t first = i;
  size_t whole = digits();
  if (whole == 0 || (whole > 1 && s[first] == '0'))
    return false;
  if (i < s.size() && s[i] == '.') {
    ++i;
    if (digits() == 0)
      return false;
  }
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
      ++i;
    if (digits() == 0)
      return false;
  }
  return i == s.size();
}

template <typename Field>
void write_separated(std::ostream &out, const ResultTable &table, char separator, const char *line_end,
                     Field field) {
  for (size_t c = 0; c < table.names.size(); ++c)
    out << (c ? std::string(1, separator) : "") << field(Cell{Cell::Kind::text, table.names[c]});
  out << line_end;
  for (const auto &row : table.rows) {
    for (size_t c = 0; c < row.size(); ++c)
      out << (c ? std::string(1, separator) : "") << field(row[c]);
    out << line_end;
  }
}

} // namespace

void write_table(std::ostream &out, const ResultTable &table, const std::string &null_text) {
  std::vector<std::vector<std::string>> lines(1);
  for (const std::string &name : table.names)
    lines[0].push_back(terminal_safe(name));
  for (const auto &row : table.rows) {
    std::vector<std::string> &line = lines.emplace_back();
    for (const Cell &cell : row)
      line.push_back(table_text(cell, null_text));
  }
  std::vector<size_t> widths(table.names.size(), 0);
  for (const auto &line : lines)
    for (size_t c = 0; c < line.size(); ++c)
      widths[c] = std::max(widths[c], width(line[c]));
  for (const auto &line : lines) {
    std::string text;
    for (size_t c = 0; c < line.size(); ++c) {
      if (c > 0)
        text += "  ";
      text += line[c];
      if (c + 1 < line.size())
        text.append(widths[c] - width(line[c]), ' ');
    }
    out << text << '\n';
  }
}

void write_tsv(std::ostream &out, const ResultTable &table, const std::string &null_text) {
  write_separated(out, table, '\t', "\n", [&](const Cell &cell) {
    if (cell.kind == Cell::Kind::null)
      return tsv_text(null_text);
    if (cell.kind == Cell::Kind::binary) {
      std::string hex = "\\\\x";
      for (unsigned char b : cell.bytes)
        hex += hex_byte(b, "");
      return hex;
    }
    return tsv_text(cell.bytes);
  });
}

void write_csv(std::ostream &out, const ResultTable &table, const std::string &null_text) {
  write_separated(out, table, ',', "\r\n", [&](const Cell &cell) {
    return csv_text(cell.kind == Cell::Kind::null ? null_text : cell.bytes);
  });
}

void write_json(std::ostream &out, const ResultTable &table) {
  out << '[';
  for (size_t r = 0; r < table.rows.size(); ++r) {
    out << (r ? ",\n" : "\n") << '{';
    for (size_t c = 0; c < table.names.size(); ++c) {
      const Cell &cell = table.rows[r][c];
      out << (c ? "," : "") << json::quoted(table.names[c]) << ':';
      if (cell.kind == Cell::Kind::null)
        out << "null";
      else if (cell.kind == Cell::Kind::binary)
        out << json::quoted(base64::encode(cell.bytes));
      else if (table.numeric[c] && json_number(cell.bytes))
        out << cell.bytes;
      else
        out << json::quoted(cell.bytes);
    }
    out << '}';
  }
  out << (table.rows.empty() ? "]\n" : "\n]\n");
}
