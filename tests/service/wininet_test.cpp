// The proxy through WinINet under Wine, against the shared velacorte-queryd.

#include "Exception.h"
#include "base64.h"
#include "queryd_server.h"
#include "uwsselectxml.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

void write_token(const wchar_t *id, const wchar_t *senha) {
  CreateDirectoryW(L"c:\\velacorte", nullptr);
  WritePrivateProfileStringW(L"TOKEN", L"ID", id, L"c:\\velacorte\\velacorte.ini");
  WritePrivateProfileStringW(L"TOKEN", L"SENHA", senha, L"c:\\velacorte\\velacorte.ini");
}

// Of each logged request: its Authorization as the log shows it (the scheme and the ID), and the status.
std::vector<std::string> authorizations(const queryd_test::QuerydServer &server) {
  std::vector<std::string> found;
  for (const std::string &line : server.log())
    found.push_back(queryd_test::log_field(line, "Authorization") + " -> " +
                    queryd_test::log_field(line, "Status"));
  return found;
}

class WinInetTest : public ::testing::Test {
protected:
  void SetUp() override {
    write_token(L"U5A1C0E97B4D", L"1E0CA7B3:C56F0A14:9B2E7D06:E3F81C5A");
    URLPadrao = server.service_url();
    WSDLPadrao = server.wsdl_url();
  }
  void TearDown() override { write_token(L"U5A1C0E97B4D", L"1E0CA7B3:C56F0A14:9B2E7D06:E3F81C5A"); }

  queryd_test::QuerydServer server;
};

TEST_F(WinInetTest, UrlAndWsdlModesCarryTheTokenOnEveryRequest) {
  for (bool wsdl : {false, true}) {
    server.clear_log();
    std::string reply =
        GetValidadorPortType(wsdl)->selectxml(queryd_test::senha_of_today(), "select NOW() 'AGORA'", "");
    EXPECT_NE(reply.find("<codigo>000</codigo>"), std::string::npos) << reply;
    EXPECT_NE(reply.find("<AGORA>"), std::string::npos) << reply;
    std::vector<std::string> log = server.log();
    ASSERT_EQ(log.size(), wsdl ? 2u : 1u);
    EXPECT_NE(log.back().find("\tSOAPAction: \"uri:server.Validador/Validador\""), std::string::npos)
        << log.back();
    for (const std::string &auth : authorizations(server))
      EXPECT_EQ(auth, "Basic 06192284400461 -> 200");
  }
}

TEST_F(WinInetTest, TokenIsReadAfreshAndBadCredentialsFail) {
  auto proxy = GetValidadorPortType();
  server.clear_log();
  std::string reply = proxy->selectxml(queryd_test::senha_of_today(),
                                       "select descricao from produtos where id = 2", "1:1;script=N");
  EXPECT_NE(reply.find(base64::encode("\xEF\xBB\xBFSoro fisiol\xC3\xB3gico")), std::string::npos) << reply;
  write_token(L"Uzz", L"outra");
  EXPECT_THROW(proxy->selectxml(queryd_test::senha_of_today(), "select 1", ""), Exception);
  EXPECT_EQ(authorizations(server),
            (std::vector<std::string>{"Basic 06192284400461 -> 200", "Basic Uzz -> 401"}));
}

TEST_F(WinInetTest, ServiceFailuresBecomeExceptions) {
  server.fail("/servicos/wsdl/selectxml/selectxml.php", 1, 500);
  EXPECT_THROW(GetValidadorPortType()->selectxml(queryd_test::senha_of_today(), "select 1", ""), Exception);
  EXPECT_THROW(GetValidadorPortType(false, "http://127.0.0.1:1/x")->selectxml("", "", ""), Exception);
  std::string wrong_senha = GetValidadorPortType()->selectxml("0", "select 1", "");
  EXPECT_NE(wrong_senha.find("<codigo>101</codigo>"), std::string::npos) << wrong_senha;
}

} // namespace
