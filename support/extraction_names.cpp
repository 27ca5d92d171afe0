#include "extraction_names.h"

#include "Exception.h"
#include "case_fold.h"

#include <array>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>

#include <bcrypt.h>
#else
#include <sys/random.h>
#endif

namespace {

constexpr std::array<std::string_view, 4> prefixes = {".vzlock-", ".vzjournal-", ".vzpart-", ".vzold-"};
constexpr size_t token_bytes = 8;
constexpr size_t token_digits = 2 * token_bytes;
constexpr size_t sequence_digits = 8;

std::string_view prefix(ExtractionFile kind) {
  return prefixes[static_cast<size_t>(kind)];
}

bool is_hex_digits(std::string_view digits) {
  for (char c : digits)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
      return false;
  return true;
}

} // namespace

std::string new_run_token() {
  unsigned char bytes[token_bytes];
#ifdef _WIN32
  if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
    throw Exception("cannot draw a random token for the extraction");
#else
  if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes))
    throw Exception("cannot draw a random token for the extraction");
#endif
  std::string token;
  for (unsigned char b : bytes) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02x", b);
    token += digits;
  }
  return token;
}

std::string extraction_name(ExtractionFile kind, std::string_view token, uint32_t sequence) {
  std::string name = std::string(prefix(kind)) + std::string(token);
  if (kind == ExtractionFile::lock)
    return name;
  char digits[sequence_digits + 2];
  std::snprintf(digits, sizeof digits, "-%08x", sequence);
  return name + digits;
}

bool parse_extraction_name(std::string_view name, ParsedExtractionName &parsed) {
  for (size_t k = 0; k < prefixes.size(); ++k) {
    auto kind = static_cast<ExtractionFile>(k);
    if (!name.starts_with(prefixes[k]))
      continue;
    std::string_view rest = name.substr(prefixes[k].size());
    std::string_view token = rest.substr(0, token_digits);
    if (token.size() != token_digits || !is_hex_digits(token))
      return false;
    rest.remove_prefix(token_digits);
    bool well_formed = kind == ExtractionFile::lock ? rest.empty()
                                                    : rest.size() == sequence_digits + 1 && rest[0] == '-' &&
                                                          is_hex_digits(rest.substr(1));
    if (!well_formed)
      return false;
    parsed = {kind, std::string(token)};
    return true;
  }
  return false;
}

bool is_extraction_name(std::string_view component) {
  std::string folded = text::fold_case(component);
  for (std::string_view p : prefixes)
    if (folded.starts_with(p))
      return true;
  return false;
}
