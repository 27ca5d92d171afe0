#pragma once

// The size and SHA-256 of a file's content, through Windows' cryptography API (CNG), for the install
// manifest.

#include <cstdint>
#include <optional>
#include <string>

struct FileDigest {
  uint64_t size = 0;
  std::string sha256; // 64 lower-case hex digits
};

// Nothing when the file cannot be opened or read.
std::optional<FileDigest> file_digest(const std::wstring &path);
// The content of a file open for reading (a HANDLE), read from its current position.
std::optional<FileDigest> file_digest_of(void *file);
