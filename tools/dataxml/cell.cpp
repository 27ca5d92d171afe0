#include "cell.h"

#include "reply_text.h"
#include "text.h"

#include <algorithm>

bool numeric_type(const std::string &tipo) {
  static const char *const numbers[] = {"0", "1", "2", "3", "4", "5", "8", "9", "13", "246"};
  return std::any_of(std::begin(numbers), std::end(numbers), [&](const char *n) { return tipo == n; });
}

Cell read_cell(TDataXML &q, int32_t column, const std::string &tipo) {
  if (q.FieldIsNull(column))
    return {};
  std::string value = q.FieldByIndex(column);
  if (tipo != "252")
    return {Cell::Kind::text, std::move(value)};
  std::string bytes = reply_text::decode_base64(text::utf8_to_cp1252(value));
  const bool is_text = text::is_valid_utf8(bytes) && bytes.find('\0') == std::string::npos;
  return {is_text ? Cell::Kind::text : Cell::Kind::binary, std::move(bytes)};
}
