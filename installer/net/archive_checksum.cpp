#include "archive_checksum.h"

#include "file_digest.h"
#include "text.h"

#include <cctype>

ExpectedDigest read_expected_digest(const std::string &value) {
  if (value.empty())
    return {};
  if (value.size() != 64)
    return {ExpectedDigest::Invalid, {}};
  std::string sha256;
  for (char c : value) {
    if (!std::isxdigit(static_cast<unsigned char>(c)))
      return {ExpectedDigest::Invalid, {}};
    sha256 += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return {ExpectedDigest::Sha256, sha256};
}

std::optional<std::string> digest_mismatch(const std::string &archive, const std::string &sha256) {
  std::optional<FileDigest> actual = file_digest(text::widen(archive));
  if (!actual)
    return "sha256 " + archive + ": não foi possível ler o arquivo";
  if (actual->sha256 == sha256)
    return std::nullopt;
  return "sha256 " + archive + ": esperado " + sha256 + ", obtido " + actual->sha256;
}
