// Status scan, element texts and decimal numbers of the reply text.

#include "reply_text.h"

#include "Exception.h"

#include <cstring>
#include <limits>

namespace reply_text {
namespace {

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool matches_at(std::string_view text, size_t at, std::string_view lower_needle) {
  for (size_t k = 0; k < lower_needle.size(); ++k)
    if (lower(text[at + k]) != lower_needle[k])
      return false;
  return true;
}

template <typename Int> Int to_integer(std::string_view text) {
  std::string_view digits = text;
  bool negative = false;
  if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) {
    negative = digits[0] == '-';
    digits.remove_prefix(1);
  }
  if (digits.empty())
    throw Exception("'" + std::string(text) + "' não é um número inteiro válido");
  // Accumulate negatively so that the most negative value fits.
  Int value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9' || value < (std::numeric_limits<Int>::min() + (c - '0')) / 10)
      throw Exception("'" + std::string(text) + "' não é um número inteiro válido");
    value = static_cast<Int>(value * 10 - (c - '0'));
  }
  if (!negative) {
    if (value == std::numeric_limits<Int>::min())
      throw Exception("'" + std::string(text) + "' não é um número inteiro válido");
    value = -value;
  }
  return value;
}

} // namespace

size_t find_lowered(std::string_view text, std::string_view lower_needle, size_t from) {
  if (lower_needle.empty())
    return from <= text.size() ? from : std::string_view::npos;
  if (text.size() < lower_needle.size())
    return std::string_view::npos;
  const char first = lower_needle[0];
  const bool letter = first >= 'a' && first <= 'z';
  const size_t last = text.size() - lower_needle.size();
  for (size_t i = from; i <= last; ++i) {
    if (!letter) {
      // Most needles begin with "<": let memchr skip to the candidates.
      const void *hit = std::memchr(text.data() + i, first, last - i + 1);
      if (hit == nullptr)
        return std::string_view::npos;
      i = static_cast<size_t>(static_cast<const char *>(hit) - text.data());
    } else if (lower(text[i]) != first) {
      continue;
    }
    if (matches_at(text, i + 1, lower_needle.substr(1)))
      return i;
  }
  return std::string_view::npos;
}

std::string status_code(std::string_view reply) {
  if (find_lowered(reply, "<codigo>000</codigo>") != std::string_view::npos)
    return "000";
  if (find_lowered(reply, "<codigo>003</codigo>") != std::string_view::npos)
    return "003";
  size_t open = find_lowered(reply, "<codigo>");
  if (open == std::string_view::npos)
    throw Exception("A resposta não tem o elemento codigo");
  size_t start = open + std::strlen("<codigo>");
  size_t end = find_lowered(reply, "</codigo>");
  if (end == std::string_view::npos || end < start)
    return "";
  std::string code(reply.substr(start, end - start));
  for (char &c : code)
    c = lower(c);
  return code;
}

std::optional<std::string> element_text(std::string_view reply, std::string_view lower_name) {
  std::string tag(1, '<');
  tag += lower_name;
  size_t open = find_lowered(reply, tag);
  if (open == std::string_view::npos)
    throw Exception("A resposta não tem o elemento " + std::string(lower_name));
  size_t close = reply.find('>', open);
  if (close == std::string_view::npos)
    return std::nullopt;
  size_t end = reply.find('<', close + 1);
  std::string_view raw = reply.substr(close + 1, end == std::string_view::npos ? end : end - close - 1);
  std::string value;
  value.reserve(raw.size());
  for (char c : raw)
    if (c != '"')
      value += lower(c);
  return value;
}

std::string select_rows(std::string_view reply) {
  constexpr std::string_view marker = "select rows=";
  size_t at = find_lowered(reply, marker);
  size_t open = at == std::string_view::npos ? at : reply.find('"', at + marker.size());
  size_t close = open == std::string_view::npos ? open : reply.find('"', open + 1);
  if (close == std::string_view::npos)
    throw Exception("A resposta não tem o número de linhas");
  return std::string(reply.substr(open + 1, close - open - 1));
}

int32_t to_int32(std::string_view text) {
  return to_integer<int32_t>(text);
}
int64_t to_int64(std::string_view text) {
  return to_integer<int64_t>(text);
}

int32_t to_row_count(std::string_view text) {
  if (text.empty() || text[0] < '0' || text[0] > '9')
    throw Exception("número de linhas inválido na resposta: \"" + std::string(text) + "\"");
  return to_integer<int32_t>(text);
}

} // namespace reply_text
