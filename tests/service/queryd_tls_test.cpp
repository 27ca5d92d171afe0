// velacorte-queryd over HTTPS (--tls-cert, --tls-key), with the build tree's throwaway certificates:
// against OpenSSL's client in cpp-httplib, against the query client's own transport, and against
// clients that never finish the handshake.

#include "queryd_server.h"
#include "raw_connection.h"
#include "token_file.h"
#include "uMySql.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {

using namespace std::chrono_literals;
using queryd_test::QuerydServer;

std::string certificate(const std::string &name) {
  return std::string(TEST_CERTIFICATES) + "/" + name;
}

std::vector<std::string> tls_arguments(const std::string &server) {
  return {"--tls-cert", certificate(server + ".pem"), "--tls-key", certificate(server + ".key")};
}

std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(QuerydTls, ServesTheServiceAndDownloadsToClientsThatTrustItsAuthority) {
  QuerydServer server({.arguments = tls_arguments("trusted")});
  std::string port = std::to_string(server.port());
  httplib::SSLClient client("localhost", server.port());
  client.set_ca_cert_path(certificate("ca.pem").c_str());
  auto wsdl = client.Get("/servicos/wsdl/selectxml/selectxml.php?wsdl");
  ASSERT_TRUE(wsdl) << httplib::to_string(wsdl.error());
  EXPECT_NE(
      wsdl->body.find("location=\"https://localhost:" + port + "/servicos/wsdl/selectxml/selectxml.php\""),
      std::string::npos)
      << wsdl->body;
  auto archive = client.Get("/site/arquivos/instaladores/Velacorte6.zip");
  ASSERT_TRUE(archive) << httplib::to_string(archive.error());
  EXPECT_EQ(archive->status, 200);
  EXPECT_EQ(archive->body, read_file(server.files_folder() + "/instaladores/Velacorte6.zip"));

  // The query client's transport checks the server against the authorities OpenSSL is pointed at.
  setenv("SSL_CERT_FILE", certificate("ca.pem").c_str(), 1);
  queryd_test::use_default_token();
  TDataXML q;
  q.SetShowErrors(false);
  q.ServidorWS("https://localhost:" + port);
  q.SetSQL("select NOW() 'AGORA'");
  EXPECT_TRUE(q.Execute()) << q.Error();
  EXPECT_EQ(q.FieldByName("AGORA").size(), 19u);
  unsetenv("SSL_CERT_FILE");
}

TEST(QuerydTls, ClientsRefuseAServerOfAnotherAuthorityOrName) {
  QuerydServer stranger({.arguments = tls_arguments("stranger")});
  httplib::SSLClient other_authority("localhost", stranger.port());
  other_authority.set_ca_cert_path(certificate("ca.pem").c_str());
  auto refused = other_authority.Get("/site/arquivos/instaladores/Velacorte6.zip");
  EXPECT_FALSE(refused);
  EXPECT_EQ(refused.error(), httplib::Error::SSLServerVerification);

  QuerydServer trusted({.arguments = tls_arguments("trusted")});
  setenv("SSL_CERT_FILE", certificate("ca.pem").c_str(), 1);
  queryd_test::use_default_token();
  for (const std::string &host : {"https://localhost:" + std::to_string(stranger.port()),
                                  "https://127.0.0.1:" + std::to_string(trusted.port())}) {
    TDataXML q;
    q.ServidorWS(host);
    q.SetSQL("select 1");
    try {
      q.Execute();
      ADD_FAILURE() << "queried " << host;
    } catch (const std::exception &failure) {
      EXPECT_NE(std::string(failure.what()).find("Falha de conexão com " + host), std::string::npos)
          << failure.what();
    }
  }
  unsetenv("SSL_CERT_FILE");
}

// A client that never finishes the handshake, silent or speaking plain HTTP, is closed at the read
// deadline or at once, and holds up no one meanwhile.
TEST(QuerydTls, ClientsWithoutAHandshakeAreClosedAndBlockNoOne) {
  QuerydServer server({.arguments = [] {
    auto arguments = tls_arguments("trusted");
    arguments.insert(arguments.end(), {"--read-deadline", "1", "--workers", "2"});
    return arguments;
  }()});
  RawConnection silent(server.port()), half(server.port()), plain(server.port());
  half.send_text(std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11)); // a ClientHello cut short
  plain.send_text("GET /site/arquivos/instaladores/Velacorte6.zip HTTP/1.1\r\nHost: localhost\r\n\r\n");

  auto answer = plain.until_closed(3000ms);
  ASSERT_TRUE(answer) << "a plain HTTP request on the HTTPS port is not left open";
  EXPECT_EQ(answer->find("HTTP/1.1"), std::string::npos) << *answer;

  httplib::SSLClient client("localhost", server.port());
  client.set_ca_cert_path(certificate("ca.pem").c_str());
  auto served = client.Get("/site/arquivos/instaladores/Velacorte6.zip");
  ASSERT_TRUE(served) << httplib::to_string(served.error());
  EXPECT_EQ(served->status, 200);

  EXPECT_TRUE(silent.until_closed(3000ms)) << "closed at the read deadline";
  EXPECT_TRUE(half.until_closed(3000ms)) << "closed at the read deadline";
}

TEST(QuerydTls, CertificateOptionsAreCheckedAtStart) {
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string said;
  };
  const Case cases[] = {
      {{"--tls-cert", certificate("trusted.pem")}, 2, "--tls-cert and --tls-key go together"},
      {{"--tls-cert", certificate("nao-existe.pem"), "--tls-key", certificate("trusted.key")},
       1,
       "--tls-cert " + certificate("nao-existe.pem")},
      {{"--tls-cert", certificate("trusted.pem"), "--tls-key", certificate("stranger.key")},
       1,
       "--tls-key " + certificate("stranger.key") + ": error:"},
  };
  for (const Case &c : cases) {
    std::string output;
    EXPECT_EQ(queryd_test::run_to_end(c.arguments, 10s, output), c.status) << output;
    EXPECT_NE(output.find(c.said), std::string::npos) << output;
  }
}

} // namespace
