#include "json_text.h"

namespace json {

void append_string(std::string &out, std::string_view value) {
  static const char hex[] = "0123456789abcdef";
  out += '"';
  for (unsigned char c : value) {
    switch (c) {
    case '"':
      out += "\\\"";
      break;
    case '\\':
      out += "\\\\";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\r':
      out += "\\r";
      break;
    case '\t':
      out += "\\t";
      break;
    default:
      if (c < 0x20) {
        out += "\\u00";
        out += hex[c >> 4];
        out += hex[c & 15];
      } else {
        out += static_cast<char>(c);
      }
    }
  }
  out += '"';
}

std::string quoted(std::string_view value) {
  std::string out;
  append_string(out, value);
  return out;
}

} // namespace json
