// libFuzzer target: SeparaTexto. The first byte chooses the separator (one of a few, multi-byte ones
// included) and the mode; the rest is the text. In insertion order the pieces joined again give the
// text back (less the one leading separator that is skipped and the closing one); a sorted list is in
// strictly ascending order without regard to case.

#include "SeparaTexto.h"

#include "text.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void check(bool condition, const char *what) {
  if (!condition) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  static constexpr char32_t separators[] = {U'\\', U';', U' ', U'\0', U'ç', U'€', U'\U0001F600', U'a'};
  const char32_t separator = separators[data[0] & 7];
  const bool keep_order = !(data[0] & 8);
  std::string_view texto(reinterpret_cast<const char *>(data) + 1, size - 1);

  TextList lista;
  bool result = SeparaTexto(texto, separator, lista, keep_order);
  check(result == !text::trim_controls(texto).empty(),
        "result does not tell whether the text holds anything");
  if (!result) {
    check(lista.Count() == 0, "a blank text gave pieces");
    return 0;
  }
  if (keep_order) {
    std::string sep;
    text::append_utf8(sep, separator);
    std::string_view rest = texto;
    if (rest.starts_with(sep))
      rest.remove_prefix(sep.size());
    std::string joined;
    for (size_t i = 0; i < lista.Count(); ++i)
      joined += (i ? sep : "") + lista[i];
    if (rest.ends_with(sep))
      joined += sep;
    check(joined == rest, "the pieces do not give the text back");
  } else {
    for (size_t i = 1; i < lista.Count(); ++i)
      check(compare_ignoring_case(lista[i - 1], lista[i]) < 0,
            "sorted list out of order or with an equal pair");
  }
  return 0;
}
