#include "zip_names.h"

#include "Exception.h"
#include "extraction_names.h"
#include "text.h"

#include <array>

namespace {

// A whole path, in UTF-16 units, the "\\?\" prefix of long paths included.
constexpr size_t longest_windows_path = 32767;

bool is_valid_utf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    auto b = static_cast<unsigned char>(s[i]);
    size_t length;
    char32_t code;
    if (b < 0x80) {
      ++i;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      length = 2;
      code = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      length = 3;
      code = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      length = 4;
      code = b & 0x07;
    } else {
      return false;
    }
    if (s.size() - i < length)
      return false;
    for (size_t k = 1; k < length; ++k) {
      auto c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80)
        return false;
      code = (code << 6) | (c & 0x3F);
    }
    bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    if (overlong || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
      return false;
    i += length;
  }
  return true;
}

// Windows opens the device, not a file, for these names, whatever extension follows them and
// whatever blanks end them; the digits of COM and LPT include the superscripts ¹ ² ³.
bool is_device_name(std::string_view component) {
  std::string_view base = component.substr(0, component.find('.'));
  while (!base.empty() && base.back() == ' ')
    base.remove_suffix(1);
  std::string name = text::upper_ascii(base);
  static const std::array<std::string_view, 6> plain = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (std::string_view device : plain)
    if (name == device)
      return true;
  if (!name.starts_with("COM") && !name.starts_with("LPT"))
    return false;
  std::string_view digit = std::string_view(name).substr(3);
  static const std::array<std::string_view, 3> superscripts = {"\u00B9", "\u00B2", "\u00B3"};
  for (std::string_view superscript : superscripts)
    if (digit == superscript)
      return true;
  return digit.size() == 1 && digit[0] >= '1' && digit[0] <= '9';
}

void check_component(std::string_view component) {
  if (component == "..")
    throw Exception("climbs out of the folder with \"..\"");
  for (char c : component)
    if (std::string_view("<>:\"|?*").find(c) != std::string_view::npos)
      throw Exception(std::string("holds the character '") + c + "', which Windows forbids in file names");
  if (component.back() == '.' || component.back() == ' ')
    throw Exception("has a component ending in a dot or a blank, which Windows drops");
  if (is_device_name(component))
    throw Exception("has a component that Windows takes for a device (\"" + std::string(component) + "\")");
  if (is_extraction_name(component))
    throw Exception("has a component named like unpacking's own files (\"" + std::string(component) + "\")");
}

} // namespace

EntryPath entry_path(std::string_view raw_name, bool utf8) {
  if (raw_name.empty())
    throw Exception("has an empty name");
  for (char c : raw_name)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      throw Exception("holds a control character in its name");
  if (utf8 && !is_valid_utf8(raw_name))
    throw Exception("has a name that is not valid UTF-8");
  std::string name = utf8 ? std::string(raw_name) : text::cp437_to_utf8(raw_name);
  for (char &c : name)
    if (c == '\\')
      c = '/';

  if (name.front() == '/')
    throw Exception("has an absolute path");
  if (name.size() >= 2 && name[1] == ':')
    throw Exception("names a drive");

  EntryPath result;
  result.is_folder = name.back() == '/';
  size_t start = 0;
  while (start < name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string::npos)
      end = name.size();
    std::string_view component(name.data() + start, end - start);
    start = end + 1;
    if (component.empty() || component == ".")
      continue;
    check_component(component);
    if (!result.path.empty())
      result.path += '/';
    result.path += component;
  }
  if (result.path.empty() && !result.is_folder)
    throw Exception("has an empty name");
  if (text::utf8_to_utf16(result.path).size() > longest_windows_path)
    throw Exception("has a path longer than Windows can hold");
  return result;
}
