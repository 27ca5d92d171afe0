// Base64 decoding of compressed replies and of field values.

#include "reply_text.h"
#include "uMySql.h"

#include "text.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace reply_text {
namespace {

// One table per place in a group of four: the character's six bits already shifted to that place, or
// `outside` for a character outside the alphabet, so that a whole group is checked and joined at once.
constexpr uint32_t outside = 1u << 24;

constexpr std::array<uint32_t, 256> make_place(int shift) {
  std::array<uint32_t, 256> table{};
  table.fill(outside);
  constexpr std::string_view letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (size_t i = 0; i < letters.size(); ++i)
    table[static_cast<unsigned char>(letters[i])] = static_cast<uint32_t>(i) << shift;
  return table;
}

constexpr std::array<uint32_t, 256> place0 = make_place(18), place1 = make_place(12), place2 = make_place(6),
                                    place3 = make_place(0);

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

constexpr size_t invalid = static_cast<size_t>(-1);

// Decodes whole groups of four, as encoders write them, from the start of `in`, until one holds
// anything else; returns how many. Each group stores four bytes, the last of them to be overwritten or
// cut: `out` needs a byte to spare past the decoded ones, or, decoding in place, has the group's own
// input, already read, beneath it.
size_t whole_groups(const char *in, size_t size, char *out) {
  size_t groups = 0;
  for (; size - groups * 4 >= 4; ++groups) {
    const auto *p = reinterpret_cast<const unsigned char *>(in + groups * 4);
    const uint32_t group = place0[p[0]] | place1[p[1]] | place2[p[2]] | place3[p[3]];
    if (group >= outside)
      break;
    const unsigned char bytes[4] = {static_cast<unsigned char>(group >> 16),
                                    static_cast<unsigned char>(group >> 8), static_cast<unsigned char>(group),
                                    0};
    std::memcpy(out + groups * 3, bytes, 4);
  }
  return groups;
}

// Decodes `size` characters from `in` into `out`, which may be `in` itself: the output never
// overtakes the input. Otherwise `out` has room for one byte past the result. Returns the number of
// bytes written; a final lone character adds no byte. Lenient, every character outside the alphabet is
// skipped. Strict, only blanks are, "=" may only pad the last group, and anything else, or a lone
// final character, gives `invalid`.
size_t decode(const char *in, size_t size, char *out, bool strict) {
  size_t written = 0;
  uint32_t bits = 0;
  int count = 0;
  int padding = 0;
  for (size_t i = 0;;) {
    if (count == 0 && padding == 0) {
      const size_t groups = whole_groups(in + i, size - i, out + written);
      i += groups * 4;
      written += groups * 3;
    }
    if (i >= size)
      break;
    const char c = in[i++];
    const uint32_t v = place3[static_cast<unsigned char>(c)];
    if (v == outside) {
      if (strict && c == '=' && count >= 2 && count + ++padding <= 4)
        continue;
      if (strict && !is_space(c))
        return invalid;
      continue;
    }
    if (strict && padding > 0)
      return invalid;
    bits = (bits << 6) | v;
    if (++count == 4) {
      out[written++] = static_cast<char>(bits >> 16);
      out[written++] = static_cast<char>(bits >> 8);
      out[written++] = static_cast<char>(bits);
      bits = 0;
      count = 0;
    }
  }
  if (strict && (count == 1 || (padding > 0 && count + padding != 4)))
    return invalid;
  if (count == 2) {
    out[written++] = static_cast<char>(bits >> 4);
  } else if (count == 3) {
    out[written++] = static_cast<char>(bits >> 10);
    out[written++] = static_cast<char>(bits >> 2);
  }
  return written;
}

} // namespace

std::string decode_base64(std::string_view text) {
  std::string bytes(text.size() / 4 * 3 + 3, '\0');
  bytes.resize(decode(text.data(), text.size(), bytes.data(), false));
  return bytes;
}

void decode_base64_in_place(std::string &text) {
  text.resize(decode(text.data(), text.size(), text.data(), false));
  text.shrink_to_fit();
}

bool decode_base64_strict(std::string_view text, std::string &bytes) {
  bytes.resize(text.size() / 4 * 3 + 3);
  const size_t written = decode(text.data(), text.size(), bytes.data(), true);
  bytes.resize(written == invalid ? 0 : written);
  return written != invalid;
}

std::optional<std::string> decoded_text(std::string bytes) {
  std::string_view b = bytes;
  if (b.substr(0, 3) == "\xEF\xBB\xBF") {
    if (!text::is_valid_utf8(b.substr(3)))
      return std::nullopt;
    bytes.erase(0, 3);
    return bytes;
  }
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
  if (text::is_ascii(b))
    return bytes;
  return text::cp1252_to_utf8(b);
}

} // namespace reply_text

std::string DecodificaBase64(std::string_view Text) {
  try {
    // Text that its mark calls UTF-8 and is not cannot be decoded: the empty text.
    return reply_text::decoded_text(reply_text::decode_base64(Text)).value_or(std::string());
  } catch (const std::exception &) {
    return "";
  }
}
