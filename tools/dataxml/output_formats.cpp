#include "output_formats.h"

#include "base64.h"
#include "json_text.h"

#include <algorithm>
#include <array>

namespace {

void append_hex_byte(std::string &out, unsigned char b, const char *prefix) {
  static const char digits[] = "0123456789abcdef";
  out += prefix;
  out += digits[b >> 4];
  out += digits[b & 15];
}

// The bytes that may start what the terminal must not see: C0 controls, DEL, and the lead byte of the
// C1 controls.
constexpr std::array<bool, 256> make_escape_starts() {
  std::array<bool, 256> table{};
  for (int b = 0; b < 0x20; ++b)
    table[b] = true;
  table[0x7F] = table[0xC2] = true;
  return table;
}
constexpr std::array<bool, 256> escape_starts = make_escape_starts();

bool shows_as_it_is(std::string_view value) {
  return std::none_of(value.begin(), value.end(),
                      [](char c) { return escape_starts[static_cast<unsigned char>(c)]; });
}

// Characters as a terminal lays them out, one column each.
size_t width(std::string_view s) {
  return static_cast<size_t>(std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

// C0 controls, DEL and C1 controls (U+0080 to U+009F, in UTF-8 C2 80 to C2 9F).
void append_terminal_safe(std::string &out, std::string_view value) {
  if (shows_as_it_is(value)) {
    out += value;
    return;
  }
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
      append_hex_byte(out, b, "\\x");
    else if (b == 0xC2 && next >= 0x80 && next <= 0x9F)
      append_hex_byte(out, next, "\\u00"), ++i;
    else
      out += value[i];
  }
}

void append_table_text(std::string &out, const Cell &cell, const std::string &null_text) {
  switch (cell.kind) {
  case Cell::Kind::null:
    out += null_text;
    return;
  case Cell::Kind::binary:
    out += "<blob " + std::to_string(cell.bytes.size()) + " bytes>";
    return;
  case Cell::Kind::unreadable:
    out += "<ilegível>";
    return;
  case Cell::Kind::text:
    append_terminal_safe(out, cell.bytes);
    return;
  }
}

void append_tsv_text(std::string &out, std::string_view value) {
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
}

void append_tsv_cell(std::string &out, const Cell &cell, const std::string &null_text) {
  if (cell.kind == Cell::Kind::null || cell.kind == Cell::Kind::unreadable)
    return append_tsv_text(out, null_text);
  if (cell.kind == Cell::Kind::binary) {
    out += "\\\\x";
    for (unsigned char b : cell.bytes)
      append_hex_byte(out, b, "");
    return;
  }
  append_tsv_text(out, cell.bytes);
}

void append_csv_text(std::string &out, std::string_view value) {
  if (std::none_of(value.begin(), value.end(),
                   [](char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; })) {
    out += value;
    return;
  }
  out += '"';
  for (char c : value) {
    if (c == '"')
      out += '"';
    out += c;
  }
  out += '"';
}

// A number as JSON writes one: an optional minus, digits without leading zeros, an optional
// fraction and exponent. Anything else the service sends for a number stays a string.
bool json_number(std::string_view s) {
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

// The header line and the rows, `field` appending each cell; header names go as text cells.
template <typename Field>
void write_separated(Output &out, const ResultTable &table, char separator, const char *line_end,
                     Field field) {
  const size_t columns = table.names.size();
  for (size_t c = 0; c < columns; ++c) {
    if (c > 0)
      out.text += separator;
    field(out.text, Cell{Cell::Kind::text, table.names[c]});
  }
  out.text += line_end;
  for (size_t r = 0; r < table.row_count(); ++r) {
    for (size_t c = 0; c < columns; ++c) {
      if (c > 0)
        out.text += separator;
      field(out.text, table.cell(r, c));
    }
    out.text += line_end;
    out.row_done();
  }
}

} // namespace

std::string terminal_safe(std::string_view value) {
  std::string out;
  append_terminal_safe(out, value);
  return out;
}

void write_table(Output &out, const ResultTable &table, const std::string &null_text) {
  const size_t columns = table.names.size();
  std::string shown;
  auto shown_width = [&](const Cell &cell) {
    if (cell.kind == Cell::Kind::text && shows_as_it_is(cell.bytes))
      return width(cell.bytes);
    shown.clear();
    append_table_text(shown, cell, null_text);
    return width(shown);
  };
  std::vector<size_t> widths(columns);
  for (size_t c = 0; c < columns; ++c)
    widths[c] = shown_width(Cell{Cell::Kind::text, table.names[c]});
  for (size_t r = 0; r < table.row_count(); ++r)
    for (size_t c = 0; c < columns; ++c)
      widths[c] = std::max(widths[c], shown_width(table.cell(r, c)));
  auto line = [&](auto cell_at) {
    for (size_t c = 0; c < columns; ++c) {
      if (c > 0)
        out.text += "  ";
      const size_t start = out.text.size();
      append_table_text(out.text, cell_at(c), null_text);
      if (c + 1 < columns)
        out.text.append(widths[c] - width(std::string_view(out.text).substr(start)), ' ');
    }
    out.text += '\n';
    out.row_done();
  };
  line([&](size_t c) { return Cell{Cell::Kind::text, table.names[c]}; });
  for (size_t r = 0; r < table.row_count(); ++r)
    line([&](size_t c) { return table.cell(r, c); });
}

void write_tsv(Output &out, const ResultTable &table, const std::string &null_text) {
  write_separated(out, table, '\t', "\n",
                  [&](std::string &text, const Cell &cell) { append_tsv_cell(text, cell, null_text); });
}

void write_csv(Output &out, const ResultTable &table, const std::string &null_text) {
  write_separated(out, table, ',', "\r\n", [&](std::string &text, const Cell &cell) {
    const bool value = cell.kind == Cell::Kind::text || cell.kind == Cell::Kind::binary;
    append_csv_text(text, value ? cell.bytes : std::string_view(null_text));
  });
}

void write_json(Output &out, const ResultTable &table, const std::vector<std::string> &keys) {
  std::string &text = out.text;
  text += '[';
  for (size_t r = 0; r < table.row_count(); ++r) {
    text += r ? ",\n{" : "\n{";
    for (size_t c = 0; c < keys.size(); ++c) {
      const Cell cell = table.cell(r, c);
      if (c > 0)
        text += ',';
      json::append_string(text, keys[c]);
      text += ':';
      if (cell.kind == Cell::Kind::null || cell.kind == Cell::Kind::unreadable)
        text += "null";
      else if (cell.kind == Cell::Kind::binary)
        json::append_string(text, base64::encode(cell.bytes));
      else if (table.numeric[c] && json_number(cell.bytes))
        text += cell.bytes;
      else
        json::append_string(text, cell.bytes);
    }
    text += '}';
    out.row_done();
  }
  text += table.row_count() == 0 ? "]" : "\n]";
}

void write_json_write(Output &out, std::optional<int64_t> afetados, std::optional<int64_t> last_id) {
  auto number = [](std::optional<int64_t> n) { return n ? std::to_string(*n) : std::string("null"); };
  out.text += "{\"afetados\": " + number(afetados) + ", \"last_id\": " + number(last_id) + "}";
}
