#include "TextList.h"

#include "text.h"

#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#endif

void TextList::Add(std::string_view item) {
  if (order_ == Order::Insertion) {
    items_.emplace_back(item);
    return;
  }
  auto at =
      std::lower_bound(items_.begin(), items_.end(), item, [](const std::string &a, std::string_view b) {
        return compare_ignoring_case(a, b) < 0;
      });
  if (at != items_.end() && compare_ignoring_case(*at, item) == 0)
    return;
  items_.emplace(at, item);
}

#ifdef _WIN32
int compare_ignoring_case(std::string_view a, std::string_view b) {
  std::wstring wa = text::widen(a), wb = text::widen(b);
  int r = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, wa.data(), static_cast<int>(wa.size()),
                         wb.data(), static_cast<int>(wb.size()));
  return r == 0 ? wa.compare(wb) : r - CSTR_EQUAL;
}
#else
namespace {
// Folds the letters of Basic Latin and Latin-1, which cover Portuguese text.
char16_t fold(char16_t c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
    return c + 32;
  return c;
}
} // namespace

int compare_ignoring_case(std::string_view a, std::string_view b) {
  std::u16string ua = text::utf8_to_utf16(a), ub = text::utf8_to_utf16(b);
  size_t n = std::min(ua.size(), ub.size());
  for (size_t i = 0; i < n; ++i) {
    char16_t x = fold(ua[i]), y = fold(ub[i]);
    if (x != y)
      return x < y ? -1 : 1;
  }
  return ua.size() == ub.size() ? 0 : ua.size() < ub.size() ? -1 : 1;
}
#endif
