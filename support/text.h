#pragma once

// Text routines shared by every subsystem. Portable code holds text as UTF-8 in std::string
// (bytes where a routine speaks of bytes); UTF-16 appears only at the edges (Win32 calls).

#include <string>
#include <string_view>

namespace text {

// UTF-8 <-> UTF-16. Invalid sequences become U+FFFD.
std::u16string utf8_to_utf16(std::string_view utf8);
std::string utf16_to_utf8(std::u16string_view utf16);

// Whether the text holds no sequence that the conversions above would replace.
bool is_valid_utf8(std::string_view utf8);

// Whether every byte is below 0x80.
bool is_ascii(std::string_view bytes);

// The single-byte code page of a Brazilian Windows (Windows-1252) <-> UTF-8. Characters that
// Windows-1252 cannot hold become '?'.
std::string cp1252_to_utf8(std::string_view bytes);
std::string utf8_to_cp1252(std::string_view utf8);

// Code page 437, the code page of ZIP entry names without the UTF-8 flag.
std::string cp437_to_utf8(std::string_view bytes);

// Upper-cases the ASCII letters a-z only; every other byte stays as it is.
std::string upper_ascii(std::string_view s);
std::string lower_ascii(std::string_view s);

// `value` with every occurrence of `what` (not empty) replaced by `with`, left to right; a replacement
// is never searched again.
std::string replace_all(std::string value, std::string_view what, std::string_view with);

// Removes leading and trailing characters of code 32 or below.
std::string_view trim_controls(std::string_view s);

// Appends the UTF-8 encoding of one code point.
void append_utf8(std::string &out, char32_t code_point);

#ifdef _WIN32
std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);
#endif

} // namespace text
