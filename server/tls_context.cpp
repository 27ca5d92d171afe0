#include "tls_context.h"

#include <openssl/err.h>

#include <stdexcept>

namespace {

// OpenSSL's reason for the last failure of this thread, and its queue emptied.
std::string openssl_reason() {
  unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0)
    return "unknown reason";
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return text;
}

} // namespace

TlsContext::TlsContext(const std::string &certificate_file, const std::string &key_file)
    : context_(SSL_CTX_new(TLS_server_method())) {
  if (!context_)
    throw std::runtime_error("create the TLS context: " + openssl_reason());
  auto fail = [this](const std::string &what) {
    std::string reason = openssl_reason();
    SSL_CTX_free(context_);
    throw std::runtime_error(what + ": " + reason);
  };
  SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
  SSL_CTX_set_options(context_, SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION);
  if (SSL_CTX_use_certificate_chain_file(context_, certificate_file.c_str()) != 1)
    fail("--tls-cert " + certificate_file);
  // OpenSSL refuses here a key that does not belong to the certificate.
  if (SSL_CTX_use_PrivateKey_file(context_, key_file.c_str(), SSL_FILETYPE_PEM) != 1)
    fail("--tls-key " + key_file);
}

TlsContext::~TlsContext() {
  SSL_CTX_free(context_);
}
