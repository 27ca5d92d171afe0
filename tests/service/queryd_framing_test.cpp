// Where one request ends and the next begins, as velacorte-queryd reads it from a hostile client:
// every request whose head or framing is refused ends its connection, so that nothing sent after it on
// the same connection runs as a request of its own; a request that says nothing of a body has none.

#include "queryd_client.h"
#include "raw_connection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

namespace {

using namespace std::chrono_literals;
using queryd_test::QuerydServer;

constexpr const char *selectxml = "/servicos/wsdl/selectxml/selectxml.php";

// A whole request of its own, which must never be answered when it comes after a refused one.
constexpr const char *smuggled = "GET /site/arquivos/produto/1001.zip HTTP/1.1\r\nHost: x\r\n\r\n";

std::string post_head(const QuerydServer &server) {
  return std::string("POST ") + selectxml + " HTTP/1.1\r\nHost: x\r\n" + server.authorization() +
         "\r\nSOAPAction: \"uri:server.Validador/Validador\"\r\nContent-Type: text/xml\r\n";
}

size_t status_lines(const std::string &answers) {
  size_t count = 0;
  for (size_t at = answers.find("HTTP/1.1 "); at != std::string::npos; at = answers.find("HTTP/1.1 ", at + 1))
    ++count;
  return count;
}

TEST(QuerydFraming, ARefusedRequestEndsItsConnection) {
  QuerydServer server;
  std::string headers_block;
  for (int i = 0; i < 2000; ++i)
    headers_block += "X-Cabecalho-" + std::to_string(i) + ": valor\r\n";
  struct Case {
    const char *what;
    std::string sent;
    int status;
  } cases[] = {
      {"a header line past the library's limit",
       "GET /x HTTP/1.1\r\nHost: x\r\nX-Longo: " + std::string(9000, 'a') + "\r\n" + smuggled, 400},
      {"a malformed request line", std::string("NADA\r\n\r\n") + smuggled, 400},
      {"two Content-Length that differ",
       post_head(server) + "Content-Length: 0\r\nContent-Length: " + std::to_string(strlen(smuggled)) +
           "\r\n\r\n" + smuggled,
       400},
      {"Content-Length with chunked",
       post_head(server) + "Content-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n" + smuggled,
       400},
      {"too many header lines",
       "GET /site/arquivos/produto/1001.zip HTTP/1.1\r\nHost: x\r\n" + headers_block + "\r\n" + smuggled,
       431},
      {"a request without the credentials",
       std::string("POST ") + selectxml + " HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n" + smuggled,
       401},
  };
  for (const Case &c : cases) {
    RawConnection client(server.port());
    client.send_text(c.sent);
    std::optional<std::string> answers = client.until_closed(3000ms);
    ASSERT_TRUE(answers) << c.what << ": the connection stays open";
    EXPECT_EQ(answers->rfind("HTTP/1.1 " + std::to_string(c.status), 0), 0u) << c.what << "\n" << *answers;
    EXPECT_EQ(status_lines(*answers), 1u) << c.what << "\n" << *answers;
    EXPECT_NE(answers->find("Connection: close"), std::string::npos) << c.what << "\n" << *answers;
  }
  // Two equal Content-Length headers say one length.
  RawConnection client(server.port());
  std::string body = "<x/>";
  client.send_text(post_head(server) + "Connection: close\r\nContent-Length: 4\r\nContent-Length: 4\r\n\r\n" +
                   body);
  std::optional<std::string> answer = client.until_closed(3000ms);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->rfind("HTTP/1.1 500", 0), 0u) << *answer; // the body read, and refused as SOAP
  EXPECT_NE(answer->find("SOAP-ENV:Client"), std::string::npos) << *answer;
}

TEST(QuerydFraming, ARequestWithoutLengthOrChunksHasAnEmptyBody) {
  QuerydServer server;
  RawConnection client(server.port());
  client.send_text(post_head(server) + "Connection: close\r\n\r\n");
  std::optional<std::string> answer = client.until_closed(3000ms);
  ASSERT_TRUE(answer) << "no answer within 3 s: the server waits for a body that was never announced";
  EXPECT_EQ(answer->rfind("HTTP/1.1 500", 0), 0u) << *answer;
  EXPECT_NE(answer->find("SOAP-ENV:Client"), std::string::npos) << *answer;
}

} // namespace
