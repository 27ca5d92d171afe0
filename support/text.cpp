#include "text.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace text {
namespace {

constexpr char32_t replacement = 0xFFFD;

// Decodes one code point at s[i], advancing i; malformed input yields U+FFFD and skips one byte.
char32_t next_code_point(std::string_view s, size_t &i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char lead = byte(i);
  if (lead < 0x80) {
    ++i;
    return lead;
  }
  // Lead bytes C0, C1 and F5-FF never start a sequence.
  int length = lead >= 0xC2 && lead <= 0xDF   ? 2
               : lead >= 0xE0 && lead <= 0xEF ? 3
               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                              : 0;
  if (length == 0 || i + length > s.size()) {
    ++i;
    return replacement;
  }
  char32_t cp = lead & (0x7F >> length);
  for (int k = 1; k < length; ++k) {
    unsigned char b = byte(i + k);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return replacement;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  static constexpr char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < minimum[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return replacement;
  }
  i += length;
  return cp;
}

// Windows-1252 bytes 0x80-0x9F; 0 marks the five bytes that the code page leaves undefined, which
// Windows maps to the C1 control of the same value.
constexpr std::array<char16_t, 32> cp1252_high = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

constexpr std::array<char16_t, 128> cp437_high = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x25A0, 0x00B2, 0x00A0};

} // namespace

void append_utf8(std::string &out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::u16string utf8_to_utf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    char32_t cp = next_code_point(utf8, i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

namespace {

constexpr uint64_t high_bits = 0x8080808080808080u;

uint64_t eight_bytes(const char *at) {
  uint64_t word;
  std::memcpy(&word, at, 8);
  return word;
}

} // namespace

bool is_ascii(std::string_view bytes) {
  size_t i = 0;
  uint64_t high = 0;
  for (; i + 8 <= bytes.size(); i += 8)
    high |= eight_bytes(bytes.data() + i);
  for (; i < bytes.size(); ++i)
    high |= static_cast<unsigned char>(bytes[i]);
  return (high & high_bits) == 0;
}

bool is_valid_utf8(std::string_view utf8) {
  for (size_t i = 0; i < utf8.size();) {
    // Replies are mostly ASCII: eight such bytes take one step.
    if (i + 8 <= utf8.size() && (eight_bytes(utf8.data() + i) & high_bits) == 0) {
      i += 8;
      continue;
    }
    if (static_cast<unsigned char>(utf8[i]) < 0x80) {
      ++i;
      continue;
    }
    size_t start = i;
    if (next_code_point(utf8, i) == replacement && utf8.substr(start, 3) != "\xEF\xBF\xBD")
      return false;
  }
  return true;
}

std::string utf16_to_utf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (size_t i = 0; i < utf16.size(); ++i) {
    char32_t cp = utf16[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[++i] - 0xDC00);
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = replacement;
    }
    append_utf8(out, cp);
  }
  return out;
}

std::string cp1252_to_utf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char b : bytes) {
    char32_t cp = b;
    if (b >= 0x80 && b < 0xA0 && cp1252_high[b - 0x80] != 0)
      cp = cp1252_high[b - 0x80];
    append_utf8(out, cp);
  }
  return out;
}

std::string utf8_to_cp1252(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    char32_t cp = next_code_point(utf8, i);
    char byte = '?';
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      byte = static_cast<char>(cp);
    } else {
      for (size_t k = 0; k < cp1252_high.size(); ++k) {
        char16_t mapped = cp1252_high[k] != 0 ? cp1252_high[k] : static_cast<char16_t>(0x80 + k);
        if (mapped == cp) {
          byte = static_cast<char>(0x80 + k);
          break;
        }
      }
    }
    out += byte;
  }
  return out;
}

std::string cp437_to_utf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char b : bytes)
    append_utf8(out, b < 0x80 ? char32_t{b} : char32_t{cp437_high[b - 0x80]});
  return out;
}

std::string upper_ascii(std::string_view s) {
  std::string out(s);
  for (char &c : out)
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::string lower_ascii(std::string_view s) {
  std::string out(s);
  for (char &c : out)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string replace_all(std::string value, std::string_view what, std::string_view with) {
  for (size_t at = value.find(what); at != std::string::npos; at = value.find(what, at + with.size()))
    value.replace(at, what.size(), with);
  return value;
}

std::string_view trim_controls(std::string_view s) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  while (!s.empty() && blank(s.front()))
    s.remove_prefix(1);
  while (!s.empty() && blank(s.back()))
    s.remove_suffix(1);
  return s;
}

#ifdef _WIN32
std::wstring widen(std::string_view utf8) {
  std::u16string u = utf8_to_utf16(utf8);
  return std::wstring(u.begin(), u.end());
}

std::string narrow(std::wstring_view utf16) {
  return utf16_to_utf8(std::u16string(utf16.begin(), utf16.end()));
}
#endif

} // namespace text
