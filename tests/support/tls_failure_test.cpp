#include "tls_failure.h"

#include <gtest/gtest.h>

TEST(TlsFailure, CertificateErrorsAreNamedAndOthersLeftAlone) {
  struct Case {
    uint32_t error;
    std::string text;
  };
  const Case cases[] = {
      {12038, "o nome no certificado não é o do servidor"},   // ERROR_WINHTTP_SECURE_CERT_CN_INVALID
      {12045, "certificado de uma autoridade não confiável"}, // ..._INVALID_CA, ERROR_INTERNET_INVALID_CA
      {12037, "certificado vencido ou ainda não válido"},
      {12175, "falha de segurança na conexão"}, // ERROR_WINHTTP_SECURE_FAILURE
      {12029, ""},                              // cannot connect: not about certificates
      {0, ""},
  };
  for (const Case &c : cases)
    EXPECT_EQ(tls_failure::error_text(c.error), c.text) << c.error;
}

TEST(TlsFailure, SecureFailureFlagsAreEachNamed) {
  EXPECT_EQ(tls_failure::flags_text(0), "");
  EXPECT_EQ(tls_failure::flags_text(0x8), "autoridade certificadora não confiável (INVALID_CA)");
  EXPECT_EQ(tls_failure::flags_text(0x10 | 0x20),
            "o nome no certificado não é o do servidor (CERT_CN_INVALID); certificado vencido ou ainda não "
            "válido (CERT_DATE_INVALID)");
  EXPECT_EQ(tls_failure::flags_text(0x80000000u | 0x400),
            "erro no canal seguro (SECURITY_CHANNEL_ERROR); outras falhas (0x400)");
}
