#include "case_fold.h"

#include "text.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace {

struct Fold {
  char32_t code;
  char32_t folded;
};

constexpr Fold folds[] = {
#include "case_fold_table.inc"
};

char32_t fold(char32_t code) {
  if (code < 0x80)
    return code >= 'A' && code <= 'Z' ? code + 32 : code;
  auto it = std::lower_bound(std::begin(folds), std::end(folds), code,
                             [](const Fold &f, char32_t c) { return f.code < c; });
  return it != std::end(folds) && it->code == code ? it->folded : code;
}

} // namespace

namespace text {

std::string fold_case(std::string_view utf8) {
  std::u16string wide = utf8_to_utf16(utf8);
  std::string folded;
  folded.reserve(utf8.size());
  for (size_t i = 0; i < wide.size(); ++i) {
    char32_t code = wide[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < wide.size()) {
      code = 0x10000 + ((code - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
      ++i;
    }
    append_utf8(folded, fold(code));
  }
  return folded;
}

} // namespace text
