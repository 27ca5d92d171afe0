#pragma once

// The certificate and private key that velacorte-queryd serves HTTPS with.

#include <openssl/ssl.h>

#include <string>

class TlsContext {
public:
  // Throws std::runtime_error naming the file that could not be used and OpenSSL's reason.
  TlsContext(const std::string &certificate_file, const std::string &key_file);
  ~TlsContext();
  TlsContext(const TlsContext &) = delete;
  TlsContext &operator=(const TlsContext &) = delete;

  SSL_CTX *get() const { return context_; }

private:
  SSL_CTX *context_;
};
