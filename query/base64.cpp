// Base64 decoding of compressed replies and of field values.

#include "reply_text.h"
#include "uMySql.h"

#include "text.h"

#include <array>
#include <cstring>

namespace reply_text {
namespace {

constexpr std::array<signed char, 256> make_alphabet() {
  std::array<signed char, 256> table{};
  table.fill(-1);
  constexpr std::string_view letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (size_t i = 0; i < letters.size(); ++i)
    table[static_cast<unsigned char>(letters[i])] = static_cast<signed char>(i);
  return table;
}

constexpr std::array<signed char, 256> alphabet = make_alphabet();

// Decodes `size` characters from `in` into `out`, which may be `in` itself: the output never
// overtakes the input. Returns the number of bytes written; a final lone character adds no byte.
size_t decode(const char *in, size_t size, char *out) {
  size_t written = 0;
  uint32_t bits = 0;
  int count = 0;
  for (size_t i = 0; i < size;) {
    // Whole groups of four take one step; a group holding anything else goes a character at a time.
    if (count == 0 && size - i >= 4) {
      signed char a = alphabet[static_cast<unsigned char>(in[i])];
      signed char b = alphabet[static_cast<unsigned char>(in[i + 1])];
      signed char c = alphabet[static_cast<unsigned char>(in[i + 2])];
      signed char d = alphabet[static_cast<unsigned char>(in[i + 3])];
      if ((a | b | c | d) >= 0) {
        uint32_t group = static_cast<uint32_t>(a) << 18 | static_cast<uint32_t>(b) << 12 |
                         static_cast<uint32_t>(c) << 6 | static_cast<uint32_t>(d);
        out[written] = static_cast<char>(group >> 16);
        out[written + 1] = static_cast<char>(group >> 8);
        out[written + 2] = static_cast<char>(group);
        written += 3;
        i += 4;
        continue;
      }
    }
    signed char v = alphabet[static_cast<unsigned char>(in[i++])];
    if (v < 0)
      continue;
    bits = (bits << 6) | static_cast<uint32_t>(v);
    if (++count == 4) {
      out[written++] = static_cast<char>(bits >> 16);
      out[written++] = static_cast<char>(bits >> 8);
      out[written++] = static_cast<char>(bits);
      bits = 0;
      count = 0;
    }
  }
  if (count == 2) {
    out[written++] = static_cast<char>(bits >> 4);
  } else if (count == 3) {
    out[written++] = static_cast<char>(bits >> 10);
    out[written++] = static_cast<char>(bits >> 2);
  }
  return written;
}

bool is_ascii(std::string_view bytes) {
  size_t i = 0;
  uint64_t high = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes.data() + i, 8);
    high |= word;
  }
  for (; i < bytes.size(); ++i)
    high |= static_cast<unsigned char>(bytes[i]);
  return (high & 0x8080808080808080u) == 0;
}

} // namespace

std::string decode_base64(std::string_view text) {
  std::string bytes(text.size() / 4 * 3 + 3, '\0');
  bytes.resize(decode(text.data(), text.size(), bytes.data()));
  return bytes;
}

void decode_base64_in_place(std::string &text) {
  text.resize(decode(text.data(), text.size(), text.data()));
  text.shrink_to_fit();
}

} // namespace reply_text

std::string DecodificaBase64(std::string_view Text) {
  try {
    std::string bytes = reply_text::decode_base64(Text);
    std::string_view b = bytes;
    // Text that its mark calls UTF-8 and is not cannot be decoded: the empty text.
    if (b.substr(0, 3) == "\xEF\xBB\xBF")
      return text::is_valid_utf8(b.substr(3)) ? bytes.erase(0, 3) : std::string();
    if (b.substr(0, 2) == "\xFF\xFE" || b.substr(0, 2) == "\xFE\xFF") {
      const bool little = b[0] == '\xFF';
      std::u16string units;
      units.reserve(b.size() / 2);
      for (size_t i = 2; i + 1 < b.size(); i += 2) {
        auto lo = static_cast<unsigned char>(b[little ? i : i + 1]);
        auto hi = static_cast<unsigned char>(b[little ? i + 1 : i]);
        units += static_cast<char16_t>(hi << 8 | lo);
      }
      return text::utf16_to_utf8(units);
    }
    // Windows-1252 and UTF-8 agree on ASCII.
    if (reply_text::is_ascii(b))
      return bytes;
    return text::cp1252_to_utf8(b);
  } catch (const std::exception &) {
    return "";
  }
}
