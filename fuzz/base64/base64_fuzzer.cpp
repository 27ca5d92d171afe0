// libFuzzer target: DecodificaBase64 on any text. Its result must be UTF-8 whatever the bytes behind
// the base64 are, and base64 written by the service's encoder must decode back to the same bytes, by
// the lenient decoding and by the strict one.

#include "reply_text.h"
#include "uMySql.h"

#include "base64.h"
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
  std::string_view input(reinterpret_cast<const char *>(data), size);

  std::string decoded = DecodificaBase64(input);
  check(text::utf16_to_utf8(text::utf8_to_utf16(decoded)) == decoded,
        "DecodificaBase64 gave text that is not UTF-8");

  check(reply_text::decode_base64(base64::encode(input)) == input, "base64 does not decode to its bytes");
  std::string in_place = base64::encode(input);
  reply_text::decode_base64_in_place(in_place);
  check(in_place == input, "base64 decoded in place does not give its bytes");

  // Strict decoding takes what the encoder writes, and what it takes it reads as the lenient one does.
  std::string strict;
  check(reply_text::decode_base64_strict(base64::encode(input), strict) && strict == input,
        "strict decoding refused or changed the encoder's base64");
  if (reply_text::decode_base64_strict(input, strict))
    check(strict == reply_text::decode_base64(input), "strict and lenient decoding disagree");
  else
    check(strict.empty(), "refused base64 left bytes behind");
  return 0;
}
