#include "tls_failure.h"

#include <cstdio>

namespace tls_failure {

namespace {

struct Named {
  uint32_t value;
  const char *text;
};

// ERROR_WINHTTP_SECURE_* and ERROR_INTERNET_SEC_* (winhttp.h, wininet.h).
constexpr Named errors[] = {
    {12037, "certificado vencido ou ainda não válido"},
    {12038, "o nome no certificado não é o do servidor"},
    {12044, "o servidor pede um certificado do cliente"},
    {12045, "certificado de uma autoridade não confiável"},
    {12055, "certificado com erros"},
    {12056, "revogação do certificado não verificável"},
    {12057, "falha ao verificar a revogação do certificado"},
    {12157, "erro no canal seguro"},
    {12169, "certificado inválido"},
    {12170, "certificado revogado"},
    {12175, "falha de segurança na conexão"},
    {12179, "certificado não serve para este uso"},
};

// WINHTTP_CALLBACK_STATUS_FLAG_* (winhttp.h).
constexpr Named flags[] = {
    {0x00000001, "falha ao verificar a revogação (CERT_REV_FAILED)"},
    {0x00000002, "certificado inválido (INVALID_CERT)"},
    {0x00000004, "certificado revogado (CERT_REVOKED)"},
    {0x00000008, "autoridade certificadora não confiável (INVALID_CA)"},
    {0x00000010, "o nome no certificado não é o do servidor (CERT_CN_INVALID)"},
    {0x00000020, "certificado vencido ou ainda não válido (CERT_DATE_INVALID)"},
    {0x00000040, "certificado não serve para este uso (CERT_WRONG_USAGE)"},
    {0x80000000, "erro no canal seguro (SECURITY_CHANNEL_ERROR)"},
};

} // namespace

std::string error_text(uint32_t error) {
  for (const Named &known : errors)
    if (known.value == error)
      return known.text;
  return {};
}

std::string flags_text(uint32_t set) {
  std::string text;
  uint32_t named = 0;
  for (const Named &flag : flags) {
    if (!(set & flag.value))
      continue;
    named |= flag.value;
    text += (text.empty() ? "" : "; ") + std::string(flag.text);
  }
  if (uint32_t unknown = set & ~named) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%x", unknown);
    text += (text.empty() ? "" : "; ") + std::string("outras falhas (") + hex + ")";
  }
  return text;
}

} // namespace tls_failure
