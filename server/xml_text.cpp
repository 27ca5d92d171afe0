#include "xml_text.h"

#include "text.h"

namespace xml_text {

void append_escaped(std::string &out, std::string_view text, Place place) {
  // A message may echo bytes of a client's SQL that are not UTF-8; the document must still parse.
  std::string converted;
  if (!text::is_valid_utf8(text))
    text = converted = text::cp1252_to_utf8(text);
  const bool attribute = place == Place::attribute;
  for (char c : text) {
    switch (c) {
    case '&':
      out += "&amp;";
      break;
    case '<':
      out += "&lt;";
      break;
    case '>':
      out += "&gt;";
      break;
    case '\r':
      out += "&#13;";
      break;
    case '"':
      out += attribute ? "&quot;" : "\"";
      break;
    case '\n':
      out += attribute ? "&#10;" : "\n";
      break;
    case '\t':
      out += attribute ? "&#9;" : "\t";
      break;
    default:
      out += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    }
  }
}

std::string escaped(std::string_view text, Place place) {
  std::string out;
  append_escaped(out, text, place);
  return out;
}

} // namespace xml_text
