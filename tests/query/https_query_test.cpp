// Queries through WinINet over HTTPS, against the fixture's velacorte-queryd with throwaway
// certificates: a service host setting that begins with https:// is reached over TLS, and a
// certificate that Windows refuses, or a redirect down to http, fails the query with its reason.
#include "queryd_server.h"
#include "tls_test_servers.h"
#include "token_file.h"
#include "uMySql.h"
#include "uwsselectxml.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class HttpsQuery : public ::testing::Test {
protected:
  static void SetUpTestSuite() { authority = new queryd_test::TrustedTestAuthority; }
  static void TearDownTestSuite() {
    delete authority;
    authority = nullptr;
  }
  void SetUp() override {
    queryd_test::use_default_token();
    q.SetShowErrors(false);
    q.SetSQL("select NOW() 'AGORA'");
  }

  static queryd_test::TrustedTestAuthority *authority;
  TDataXML q;
};

queryd_test::TrustedTestAuthority *HttpsQuery::authority = nullptr;

TEST_F(HttpsQuery, HttpsHostSettingIsReachedOverTls) {
  std::string host = queryd_test::trusted_tls_url();
  q.ServidorWS(host);
  EXPECT_EQ(URLPadrao, host + "/servicos/wsdl/selectxml/selectxml.php");
  ASSERT_TRUE(q.Execute()) << q.Error();
  EXPECT_EQ(q.FieldByName("AGORA").size(), 19u) << q.FieldByName("AGORA");
}

// Wine 8's WinINet checks revocation before the authority, so it names a certificate of an unknown
// authority by the revocation it cannot check (12057), where Windows says the authority is not trusted.
TEST_F(HttpsQuery, RefusalsFailTheQueryWithTheirReason) {
  struct Case {
    const char *what;
    std::string host;
    std::string address;              // in place of the service's own, when not empty
    std::vector<std::string> reasons; // one of them
  };
  const Case cases[] = {
      {"wrong host name",
       "https://127.0.0.1:" + std::to_string(queryd_test::trusted_tls_port()),
       "",
       {"conexão segura recusada: o nome no certificado não é o do servidor (erro 12038)"}},
      {"another authority",
       queryd_test::stranger_tls_url(),
       "",
       {"conexão segura recusada: certificado de uma autoridade não confiável (erro 12045)",
        "conexão segura recusada: falha ao verificar a revogação do certificado (erro 12057)"}},
      {"redirect to http",
       queryd_test::trusted_tls_url(),
       queryd_test::trusted_tls_url() + "/para-http/selectxml.php",
       {"Erro HTTP 302 em " + queryd_test::trusted_tls_url() + "/para-http/selectxml.php"}},
  };
  queryd_test::QuerydServer plain; // the target of the redirect
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    q.ServidorWS(c.host);
    if (!c.address.empty())
      URLPadrao = c.address;
    q.SetShowErrors(true);
    try {
      q.Execute();
      ADD_FAILURE() << "queried " << URLPadrao;
    } catch (const std::exception &failure) {
      std::string said = failure.what();
      EXPECT_TRUE(std::any_of(c.reasons.begin(), c.reasons.end(), [&](const std::string &reason) {
        return said.find(reason) != std::string::npos;
      })) << said;
    }
  }
  EXPECT_EQ(plain.log(), std::vector<std::string>{}) << "the redirect was followed down to http";
}

} // namespace
