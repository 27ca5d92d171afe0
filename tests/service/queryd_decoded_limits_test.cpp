// What one request may cost velacorte-queryd, counted on what it becomes rather than on the bytes
// that arrive: a compressed body once inflated, an envelope by its elements, a reply by the text that
// its rows would make.

#include "queryd_client.h"
#include "raw_connection.h"
#include "soap_envelope.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>
#include <zlib.h>

#include <chrono>
#include <optional>
#include <string>

namespace {

using namespace std::chrono_literals;
using queryd_test::call;
using queryd_test::codigo;
using queryd_test::mensagem;
using queryd_test::QuerydServer;
using queryd_test::resident_mb;

std::string gzip(const std::string &bytes) {
  z_stream stream{};
  EXPECT_EQ(deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&stream, bytes.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  stream.next_out = reinterpret_cast<Bytef *>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

std::string repeated(const std::string &text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i)
    out += text;
  return out;
}

std::string envelope(const std::string &sql) {
  return soap::write_envelope(
      {"uri:server.Validador",
       "selectxml",
       {{"senha", queryd_test::senha_of_today()}, {"sql", sql}, {"options", "1:1;script=N"}}});
}

// A selectxml POST of `body` as it is, its status and body.
queryd_test::HttpReply post(const QuerydServer &server, const std::string &body,
                            const std::vector<std::string> &headers = {}) {
  std::vector<std::string> lines = {server.authorization(), "Content-Type: text/xml",
                                    "SOAPAction: \"uri:server.Validador/Validador\""};
  lines.insert(lines.end(), headers.begin(), headers.end());
  return server.request("POST", "/servicos/wsdl/selectxml/selectxml.php", body, lines);
}

std::string reply_of(const queryd_test::HttpReply &http) {
  return soap::latin1_text_to_bytes(soap::read_envelope(http.body).parts.at(0).second);
}

TEST(QuerydDecodedLimits, ACompressedBodyIsLimitedOnceInflated) {
  QuerydServer server({.arguments = {"--max-body", "100000"}});
  queryd_test::HttpReply small = post(server, gzip(envelope("select 1 as um")), {"Content-Encoding: gzip"});
  ASSERT_EQ(small.status, 200) << small.body;
  EXPECT_EQ(codigo(reply_of(small)), "000");

  long before = resident_mb(server.pid());
  std::string bomb = gzip(envelope("select 1 /*" + std::string(32 << 20, ' ') + "*/"));
  ASSERT_LT(bomb.size(), 100000u);
  struct Case {
    const char *what;
    std::string body;
    std::string encoding;
    int status;
  } cases[] = {
      {"32 MB once inflated", bomb, "gzip", 413},
      {"an unknown coding", gzip(envelope("select 1")), "compress", 415},
      {"a damaged gzip stream", gzip(envelope("select 1")).substr(0, 30), "gzip", 400},
  };
  for (const Case &c : cases) {
    queryd_test::HttpReply reply = post(server, c.body, {"Content-Encoding: " + c.encoding});
    EXPECT_EQ(reply.status, c.status) << c.what << "\n" << reply.body.substr(0, 300);
  }
  EXPECT_LT(resident_mb(server.pid()) - before, 64) << "a body of 32 MB once inflated";
}

TEST(QuerydDecodedLimits, AnEnvelopeOfTooManyElementsIsRefusedBeforeItIsParsed) {
  QuerydServer server;
  std::string plain = envelope("select 1 as um");
  auto inside_operation = [&](const std::string &extra) {
    std::string body = plain;
    return body.insert(body.find("</NS1:selectxml>"), extra);
  };
  std::string references;
  std::string referenced;
  for (int i = 0; i < 20000; ++i) {
    references += "<p" + std::to_string(i) + " href=\"#r" + std::to_string(i) + "\"/>";
    referenced += "<v id=\"r" + std::to_string(i) + "\">x</v>";
  }
  std::string with_references = inside_operation(references);
  with_references.insert(with_references.find("</SOAP-ENV:Body>"), referenced);
  long before = resident_mb(server.pid());
  struct Case {
    const char *what;
    std::string body;
  } cases[] = {
      {"a million empty elements", inside_operation(repeated("<a/>", 1000000))},
      {"a thousand levels", inside_operation(repeated("<a>", 1000) + repeated("</a>", 1000))},
      {"20000 references", with_references},
  };
  for (const Case &c : cases) {
    queryd_test::HttpReply reply = post(server, c.body);
    EXPECT_EQ(reply.status, 500) << c.what;
    EXPECT_NE(reply.body.find("envelope recusado: mais de 256 elementos ou de 16 n"), std::string::npos)
        << c.what << "\n"
        << reply.body.substr(0, 300);
  }
  EXPECT_LT(resident_mb(server.pid()) - before, 64);

  // Parts given by reference, within the caps, are read as before.
  std::string by_reference = plain;
  size_t operation = by_reference.find("<NS1:selectxml");
  size_t operation_end = by_reference.find("</SOAP-ENV:Body>");
  by_reference.replace(
      operation, operation_end - operation,
      "<NS1:selectxml xmlns:NS1=\"uri:server.Validador\"><senha href=\"#a\"/><sql href=\"#b\"/>"
      "<options href=\"#c\"/></NS1:selectxml><v id=\"a\">" +
          queryd_test::senha_of_today() + "</v><v id=\"b\">select 7 as sete</v><v id=\"c\">1:1;script=N</v>");
  queryd_test::HttpReply resolved = post(server, by_reference);
  ASSERT_EQ(resolved.status, 200) << resolved.body;
  EXPECT_EQ(queryd_test::first_row_value(reply_of(resolved), "SETE"), "7");
}

TEST(QuerydDecodedLimits, AReplyPastTheLimitIsRefusedBeforeItIsBuilt) {
  QuerydServer server({.arguments = {"--max-reply", "1000000"}});
  long before = resident_mb(server.pid());
  std::string blob = call(server, "select zeroblob(100000000) as z").reply;
  EXPECT_EQ(codigo(blob), "102") << blob;
  EXPECT_LT(resident_mb(server.pid()) - before, 64) << "a blob of 100 MB";

  // 900 rows of 1000 bytes make 1.2 MB of reply text: refused as they are read, so the failure names
  // the statement.
  pugi::xml_document failed;
  failed.load_string(call(server,
                          "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 900) "
                          "SELECT printf('%.*c', 1000, 'x') AS t FROM n; select 1",
                          "1:1;script=S")
                         .reply.c_str());
  EXPECT_STREQ(failed.select_node("/retorno/status/codigo").node().text().as_string(), "102");
  EXPECT_EQ(failed.select_node("/retorno/status/instrucao").node().text().as_int(), 1);
  EXPECT_NE(std::string(failed.select_node("/retorno/status/mensagem").node().text().as_string())
                .find("--max-reply"),
            std::string::npos);
  // 600 such rows fit.
  EXPECT_EQ(
      codigo(call(server, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 600) "
                          "SELECT printf('%.*c', 1000, 'x') AS t FROM n")
                 .reply),
      "000");
}

} // namespace
