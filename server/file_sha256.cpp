#include "file_sha256.h"

#include <openssl/evp.h>

#include <fstream>
#include <memory>
#include <stdexcept>
#include <vector>

std::string file_sha256(const std::filesystem::path &file) {
  std::ifstream in(file, std::ios::binary);
  if (!in)
    throw std::runtime_error("sha256 " + file.string() + ": cannot open");
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!context || !EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr))
    throw std::runtime_error("sha256 " + file.string() + ": OpenSSL has no SHA-256");
  std::vector<char> buffer(1 << 16);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    if (in.gcount() > 0 && !EVP_DigestUpdate(context.get(), buffer.data(), static_cast<size_t>(in.gcount())))
      throw std::runtime_error("sha256 " + file.string() + ": digest failed");
  }
  if (in.bad())
    throw std::runtime_error("sha256 " + file.string() + ": read failed");
  unsigned char value[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (!EVP_DigestFinal_ex(context.get(), value, &size))
    throw std::runtime_error("sha256 " + file.string() + ": digest failed");
  static const char hex[] = "0123456789abcdef";
  std::string text;
  for (unsigned int i = 0; i < size; ++i) {
    text += hex[value[i] >> 4];
    text += hex[value[i] & 15];
  }
  return text;
}
