#include "file_digest.h"

#include <windows.h>

#include <bcrypt.h>

#include <memory>
#include <vector>

namespace {

struct CloseHandle_ {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
struct CloseAlgorithm {
  void operator()(BCRYPT_ALG_HANDLE algorithm) const { BCryptCloseAlgorithmProvider(algorithm, 0); }
};
struct DestroyHash {
  void operator()(BCRYPT_HASH_HANDLE hash) const { BCryptDestroyHash(hash); }
};

bool succeeded(NTSTATUS status) {
  return status >= 0;
}

} // namespace

std::optional<FileDigest> file_digest(const std::wstring &path) {
  HANDLE opened = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (opened == INVALID_HANDLE_VALUE)
    return std::nullopt;
  std::unique_ptr<void, CloseHandle_> file(opened);
  return file_digest_of(file.get());
}

std::optional<FileDigest> file_digest_of(void *file) {
  BCRYPT_ALG_HANDLE algorithm_handle = nullptr;
  if (!succeeded(BCryptOpenAlgorithmProvider(&algorithm_handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
    return std::nullopt;
  std::unique_ptr<void, CloseAlgorithm> algorithm(algorithm_handle);
  BCRYPT_HASH_HANDLE hash_handle = nullptr;
  if (!succeeded(BCryptCreateHash(algorithm.get(), &hash_handle, nullptr, 0, nullptr, 0, 0)))
    return std::nullopt;
  std::unique_ptr<void, DestroyHash> hash(hash_handle);

  FileDigest digest;
  std::vector<unsigned char> buffer(1 << 16);
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
      return std::nullopt;
    if (read == 0)
      break;
    if (!succeeded(BCryptHashData(hash.get(), buffer.data(), read, 0)))
      return std::nullopt;
    digest.size += read;
  }
  unsigned char value[32];
  if (!succeeded(BCryptFinishHash(hash.get(), value, sizeof(value), 0)))
    return std::nullopt;
  static const char hex[] = "0123456789abcdef";
  for (unsigned char byte : value) {
    digest.sha256 += hex[byte >> 4];
    digest.sha256 += hex[byte & 15];
  }
  return digest;
}
