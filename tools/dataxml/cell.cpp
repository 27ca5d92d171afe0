#include "cell.h"

#include "reply_text.h"
#include "text.h"

#include <algorithm>
#include <iterator>

Encoding column_encoding(std::string_view tipo) {
  if (tipo == "252")
    return Encoding::base64_blob;
  return tipo == "253" || tipo == "254" ? Encoding::base64_text : Encoding::plain;
}

bool numeric_type(std::string_view tipo) {
  static const char *const numbers[] = {"0", "1", "2", "3", "4", "5", "8", "9", "13", "246"};
  return std::any_of(std::begin(numbers), std::end(numbers), [&](const char *n) { return tipo == n; });
}

Cell::Kind decode_cell(std::string_view raw, Encoding encoding, std::string &out, std::string &scratch,
                       const char *&reason) {
  if (raw.empty())
    return Cell::Kind::null;
  if (encoding == Encoding::plain) {
    out += raw;
    return Cell::Kind::text;
  }
  if (!reply_text::decode_base64_strict(raw, scratch)) {
    reason = "base64 inválido";
    return Cell::Kind::unreadable;
  }
  if (encoding == Encoding::base64_text) {
    // Most texts are ASCII, which needs no conversion.
    if (text::is_ascii(scratch)) {
      out += scratch;
      return Cell::Kind::text;
    }
    std::optional<std::string> decoded = reply_text::decoded_text(scratch);
    if (!decoded) {
      reason = "o texto não é UTF-8 válido, como a sua marca diz";
      return Cell::Kind::unreadable;
    }
    out += *decoded;
    return Cell::Kind::text;
  }
  // The blob's first decoding gives base64 text, as ASCII or after a UTF-8 byte-order mark.
  std::string_view inner = scratch;
  if (inner.substr(0, 3) == "\xEF\xBB\xBF")
    inner.remove_prefix(3);
  const size_t start = out.size();
  std::string bytes;
  if (!reply_text::decode_base64_strict(inner, bytes)) {
    reason = "base64 inválido na segunda codificação do conteúdo binário";
    return Cell::Kind::unreadable;
  }
  out += bytes;
  std::string_view content = std::string_view(out).substr(start);
  const bool is_text = text::is_valid_utf8(content) && content.find('\0') == std::string_view::npos;
  return is_text ? Cell::Kind::text : Cell::Kind::binary;
}
