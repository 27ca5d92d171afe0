#include "reply_document.h"

#include "base64.h"
#include "text.h"
#include "xml_text.h"

#include <algorithm>
#include <cctype>

namespace reply {
namespace {

constexpr const char *header = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

// A column name as an element name: letters, digits, "_", "-" and "." kept, anything else "_".
std::string element_name(const std::string &column) {
  std::string name;
  for (char c : column) {
    unsigned char b = static_cast<unsigned char>(c);
    name += std::isalnum(b) || c == '_' || c == '-' || c == '.' ? c : '_';
  }
  if (name.empty() || !(std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_'))
    name.insert(0, "_");
  return name;
}

bool plain_ascii(const std::string &bytes) {
  for (char c : bytes)
    if (static_cast<unsigned char>(c) >= 0x80)
      return false;
  return true;
}

// UTF-8 text as ISO-8859-1 bytes, '?' for a character beyond it; bytes that are not UTF-8 unchanged.
std::string latin1_bytes(const std::string &utf8) {
  if (!text::is_valid_utf8(utf8))
    return utf8;
  std::string out;
  for (char16_t unit : text::utf8_to_utf16(utf8))
    if (unit < 0xD800 || unit > 0xDBFF) // one '?' for the two halves of a surrogate pair
      out += unit <= 0xFF ? static_cast<char>(unit) : '?';
  return out;
}

std::string encoded_value(const std::string &bytes, const ResultColumn &column, TextEncoding encoding) {
  const int tipo = column.type.tipo;
  const bool latin1 = encoding == TextEncoding::latin1;
  // An empty element is NULL; an empty text goes as the byte-order mark alone, which decodes to it.
  // A Latin-1 service has no mark to send: its empty text is an empty element, as NULL.
  if (carries_base64(tipo) && bytes.empty())
    return latin1 ? "" : base64::encode("\xEF\xBB\xBF");
  // Blobs go out base64-encoded twice: field access decodes every 252-254 value once, and the
  // in-memory table loader (ClienteDataSet) decodes a blob's text once more into its bytes.
  if (tipo == 252)
    return base64::encode(base64::encode(bytes));
  if (!carries_base64(tipo))
    return bytes;
  if (plain_ascii(bytes) || column.binary)
    return base64::encode(bytes);
  return base64::encode(latin1 ? latin1_bytes(bytes) : "\xEF\xBB\xBF" + bytes);
}

void append_status(std::string &out, const std::string &codigo, const std::string &mensagem,
                   std::optional<long long> last_id, std::optional<size_t> statement = std::nullopt) {
  out += "<status><codigo>" + codigo + "</codigo><mensagem>";
  xml_text::append_escaped(out, mensagem);
  out += "</mensagem>";
  if (last_id)
    out += "<last_id>" + std::to_string(*last_id) + "</last_id>";
  if (statement)
    out += "<instrucao>" + std::to_string(*statement) + "</instrucao>";
  out += "</status>";
}

void append_result(std::string &out, const StatementResult &result, TextEncoding encoding) {
  if (!result.is_query) {
    out += "<select rows=\"0\" afetados=\"" + std::to_string(result.changes) + "\"/><fields/>";
    return;
  }
  std::vector<std::string> names;
  for (const ResultColumn &column : result.columns)
    names.push_back(element_name(column.name));
  out += "<select rows=\"" + std::to_string(result.rows.size()) + "\">";
  for (const auto &row : result.rows) {
    out += "<row>";
    for (size_t c = 0; c < row.size(); ++c) {
      if (!row[c]) {
        out += "<" + names[c] + "/>";
        continue;
      }
      out += "<" + names[c] + ">";
      xml_text::append_escaped(out, encoded_value(*row[c], result.columns[c], encoding));
      out += "</" + names[c] + ">";
    }
    out += "</row>";
  }
  out += "</select><fields>";
  for (size_t c = 0; c < names.size(); ++c)
    out += "<" + names[c] + " tipo=\"" + std::to_string(result.columns[c].type.tipo) + "\" tamanho=\"" +
           std::to_string(result.columns[c].type.tamanho) + "\"/>";
  out += "</fields>";
}

} // namespace

std::size_t value_cost(std::string_view column, const std::string *bytes, int tipo) {
  auto base64_size = [](std::size_t size) { return (size + 2) / 3 * 4; };
  if (!bytes)
    return column.size() + 3;
  std::size_t tags = 2 * column.size() + 5;
  std::size_t size = bytes->size();
  if (tipo == 252)
    return tags + std::max(base64_size(base64_size(size)), base64_size(3));
  if (carries_base64(tipo))
    return tags + base64_size(size + 3); // with the byte-order mark
  return tags + xml_text::escaped(*bytes).size();
}

std::string single(const StatementResult &result, std::optional<long long> last_id, TextEncoding encoding) {
  std::string out = header;
  out += "<retorno>";
  if (result.is_query && result.rows.empty()) {
    append_status(out, "003", "", last_id);
  } else {
    append_status(out, "000", "", last_id);
    append_result(out, result, encoding);
  }
  out += "</retorno>";
  return out;
}

std::string script(const std::vector<StatementResult> &results, TextEncoding encoding) {
  std::string out = header;
  out += "<retorno>";
  append_status(out, "000", "", std::nullopt);
  for (const StatementResult &result : results) {
    out += "<script>";
    append_result(out, result, encoding);
    out += "</script>";
  }
  out += "</retorno>";
  return out;
}

std::string failure(const std::string &codigo, const std::string &mensagem, std::optional<size_t> statement) {
  std::string out = header;
  out += "<retorno>";
  append_status(out, codigo, mensagem, std::nullopt, statement);
  out += "</retorno>";
  return out;
}

} // namespace reply
