// The proxy against velacorte-queryd: both modes, the authorisation of every request, the factory.

#include "Exception.h"
#include "THTTPRIO.h"
#include "base64.h"
#include "queryd_server.h"
#include "uAutentica.h"
#include "uwsselectxml.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace {

constexpr const char *default_ini = "[TOKEN]\nID=U5A1C0E97B4D\nSENHA=1E0CA7B3:C56F0A14:9B2E7D06:E3F81C5A\n";
constexpr const char *default_credentials = "06192284400461:1E0CA7B3:C56F0A14:9B2E7D06:E3F81C5A";

void write_token(const std::string &ini) {
  std::ofstream(TokenFile, std::ios::trunc) << ini;
}

// Of each logged request: its Authorization as the log shows it, and the status answered.
std::vector<std::string> authorizations_and_statuses(const queryd_test::QuerydServer &server) {
  std::vector<std::string> found;
  for (const std::string &line : server.log())
    found.push_back(queryd_test::log_field(line, "Authorization") + " -> " +
                    queryd_test::log_field(line, "Status"));
  return found;
}

class ServiceTest : public ::testing::Test {
protected:
  void SetUp() override {
    write_token(default_ini);
    URLPadrao = server.service_url();
    WSDLPadrao = server.wsdl_url();
  }
  void TearDown() override {
    std::remove(TokenFile.c_str());
    URLPadrao.clear();
    WSDLPadrao.clear();
  }

  std::string clock_reply(const std::shared_ptr<server_ValidadorPortType> &proxy) {
    return proxy->selectxml(queryd_test::senha_of_today(), "select NOW() 'AGORA'", "");
  }

  queryd_test::QuerydServer server;
};

TEST_F(ServiceTest, UrlAndWsdlModesReachTheService) {
  for (bool wsdl : {false, true}) {
    server.clear_log();
    std::string reply = clock_reply(GetValidadorPortType(wsdl));
    EXPECT_NE(reply.find("<codigo>000</codigo>"), std::string::npos) << reply;
    size_t at = reply.find("<AGORA>");
    ASSERT_NE(at, std::string::npos) << reply;
    EXPECT_EQ(reply.find("</AGORA>") - at - 7, 19u);
    std::vector<std::string> log = server.log();
    ASSERT_EQ(log.size(), wsdl ? 2u : 1u);
    if (wsdl) {
      EXPECT_EQ(log[0].rfind("GET\t/servicos/wsdl/selectxml/selectxml.php?wsdl", 0), 0u) << log[0];
    }
    EXPECT_EQ(log.back().rfind("POST\t/servicos/wsdl/selectxml/selectxml.php\t", 0), 0u) << log.back();
    EXPECT_NE(log.back().find("\tSOAPAction: \"uri:server.Validador/Validador\""), std::string::npos);
    EXPECT_NE(log.back().find("\tContent-Type: text/xml"), std::string::npos);
  }
}

TEST_F(ServiceTest, ReplyBytesArriveUnchanged) {
  // Non-ASCII text comes back as the UTF-8 bytes of the reply document, inside base64 with a mark.
  std::string reply = GetValidadorPortType()->selectxml(
      queryd_test::senha_of_today(), "select descricao from produtos where id = 2", "1:1;script=N");
  EXPECT_NE(reply.find(base64::encode("\xEF\xBB\xBFSoro fisiol\xC3\xB3gico")), std::string::npos) << reply;
  std::string failure = GetValidadorPortType()->selectxml(queryd_test::senha_of_today(),
                                                          "select 'ação' from nada", "1:1;script=N");
  EXPECT_NE(failure.find("<codigo>102</codigo>"), std::string::npos) << failure;
}

TEST_F(ServiceTest, EveryRequestCarriesTheTokenAsItIsThen) {
  auto proxy = GetValidadorPortType(true);
  server.clear_log();
  clock_reply(proxy);
  write_token("[TOKEN]\nID=outro\nSENHA=segredo\n");
  EXPECT_THROW(clock_reply(proxy), Exception); // the service refuses other credentials
  std::remove(TokenFile.c_str());
  EXPECT_THROW(clock_reply(GetValidadorPortType(true)), Exception);

  // The log keeps only the ID of the credentials; the status tells which ones the service took.
  std::vector<std::string> expected = {
      "Basic 06192284400461 -> 200", // the WSDL request
      "Basic 06192284400461 -> 200",
      "Basic outro -> 401",
      "Basic  -> 200", // the WSDL request of the new proxy, empty credentials ":"; the WSDL is open
      "Basic  -> 401",
  };
  EXPECT_EQ(authorizations_and_statuses(server), expected);
  for (const std::string &line : server.log())
    EXPECT_EQ(line.find(base64::encode(default_credentials)), std::string::npos) << line;
}

TEST_F(ServiceTest, FactoryAddressRules) {
  struct Case {
    bool wsdl;
    std::string addr;
    std::string expected_url, expected_wsdl;
  } cases[] = {
      {false, "", "U", ""},
      {true, "", "", "W"},
      {false, "http://10.0.0.1/x", "http://10.0.0.1/x", ""},
      {true, "http://10.0.0.1/x?wsdl", "", "http://10.0.0.1/x?wsdl"},
  };
  for (const Case &c : cases) {
    URLPadrao = "U";
    WSDLPadrao = "W";
    THTTPRIO rio;
    GetValidadorPortType(c.wsdl, c.addr, &rio);
    EXPECT_EQ(rio.URL, c.expected_url);
    EXPECT_EQ(rio.WSDLLocation, c.expected_wsdl);
    EXPECT_EQ(rio.Service, c.wsdl ? "server.Validador" : "");
    EXPECT_EQ(rio.Port, c.wsdl ? "server.ValidadorPort" : "");
    EXPECT_EQ(URLPadrao, "U");
    EXPECT_EQ(WSDLPadrao, "W");
  }
}

void earlier_handler(THTTPReqResp *, void *) {}

TEST_F(ServiceTest, GivenProxyLosesItsHandlerAndOutlivesTheReference) {
  auto rio = std::make_unique<THTTPRIO>();
  rio->HTTPWebNode.OnBeforePost = &earlier_handler;
  std::weak_ptr<server_ValidadorPortType> weak;
  {
    std::shared_ptr<server_ValidadorPortType> reference = GetValidadorPortType(false, "", rio.get());
    weak = reference;
    EXPECT_EQ(reference.get(), rio.get());
    EXPECT_EQ(rio->HTTPWebNode.OnBeforePost, &THeader::OnBeforePost);
  }
  EXPECT_TRUE(weak.expired());
  // Still the caller's and still usable (AddressSanitizer would report a release).
  EXPECT_NE(rio->selectxml(queryd_test::senha_of_today(), "select 1 as um", "").find("<UM>1</UM>"),
            std::string::npos);

  // A proxy the factory made is owned by the reference alone and goes with its last copy.
  std::shared_ptr<server_ValidadorPortType> made = GetValidadorPortType();
  EXPECT_EQ(made.use_count(), 1);
  EXPECT_EQ(dynamic_cast<THTTPRIO *>(made.get())->HTTPWebNode.OnBeforePost, &THeader::OnBeforePost);
}

TEST_F(ServiceTest, FailuresReachTheCallerAsExceptions) {
  struct Case {
    std::string name;
    std::string url;
    std::string message_part;
  } cases[] = {
      {"HTTP error status", server.base_url() + "/nao/existe", "404"},
      {"HTML page with status 200", server.service_url(), "envelope"},
      {"nothing listening", "http://127.0.0.1:1/servicos", "conexão"},
      {"unsupported scheme", "ftp://127.0.0.1/x", "suportado"},
  };
  server.fail("/servicos/wsdl/selectxml/selectxml.php", 1, 200);
  for (const Case &c : cases) {
    try {
      GetValidadorPortType(false, c.url)->selectxml(queryd_test::senha_of_today(), "select 1", "");
      ADD_FAILURE() << c.name;
    } catch (const Exception &e) {
      EXPECT_NE(std::string(e.what()).find(c.message_part), std::string::npos) << c.name << ": " << e.what();
    }
  }
  // A WSDL without the port: WSDL mode cannot find the address.
  EXPECT_THROW(GetValidadorPortType(true, server.service_url())->selectxml("", "", ""), Exception);
}

TEST_F(ServiceTest, TransportSeamAnswersInProcess) {
  std::vector<std::string> seen;
  SetSelectXmlTransport([&](const std::string &url, const std::string &senha, const std::string &sql,
                            const std::string &options) {
    seen = {url, senha, sql, options};
    return std::string("<retorno/>");
  });
  EXPECT_EQ(GetValidadorPortType()->selectxml("A1", "select 2", "1:1;script=N"), "<retorno/>");
  SetSelectXmlTransport({});
  EXPECT_EQ(seen, (std::vector<std::string>{server.service_url(), "A1", "select 2", "1:1;script=N"}));
  EXPECT_TRUE(server.log().empty());
  EXPECT_NE(clock_reply(GetValidadorPortType()).find("<AGORA>"), std::string::npos);
}

} // namespace
