#pragma once

// The digest that a row of the file list may offer for its archive (the `sha256` column), and the check
// of a fetched archive against it.

#include <optional>
#include <string>

struct ExpectedDigest {
  enum Kind { None, Sha256, Invalid };
  Kind kind = None;
  std::string sha256; // 64 lower-case hexadecimal digits when kind is Sha256
};

// An empty value offers no digest; 64 hexadecimal digits of any letter case are one; anything else is
// invalid.
ExpectedDigest read_expected_digest(const std::string &value);

// Nothing when the file `archive` has the digest `sha256`; otherwise what differs, with the expected and
// the actual digests ("sha256 c:\Velacorte\tmp\1001.zip: esperado …, obtido …").
std::optional<std::string> digest_mismatch(const std::string &archive, const std::string &sha256);
