#include "Exception.h"
#include "soap_envelope.h"

#include <gtest/gtest.h>

namespace {

TEST(SoapEnvelope, CallSurvivesTheRoundTripByteForByte) {
  soap::Message call{"uri:server.Validador",
                     "selectxml",
                     {{"senha", "1E0CA7"},
                      {"sql", "select 'a&b' < \"c\" >\r\n\tção € 中 \xF0\x9F\x98\x80"},
                      {"options", "1:1;script=N"}}};
  std::string xml = soap::write_envelope(call);
  // In the registration's encoding: Latin-1 bytes, character references beyond it.
  EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", 0), 0u);
  EXPECT_NE(xml.find("\t\xE7\xE3o &#8364; &#20013; &#128512;"), std::string::npos);
  EXPECT_NE(xml.find("<NS1:selectxml xmlns:NS1=\"uri:server.Validador\">"), std::string::npos);
  EXPECT_NE(xml.find("<senha xsi:type=\"xsd:string\">"), std::string::npos);
  soap::Message read = soap::read_envelope(xml);
  EXPECT_EQ(read.ns, call.ns);
  EXPECT_EQ(read.operation, call.operation);
  EXPECT_EQ(read.parts, call.parts);
}

// Result envelopes as different SOAP toolkits write them; each must yield the text "<a>&x</a>".
TEST(SoapEnvelope, ReadsResultsOfOtherToolkits) {
  const char *const envelopes[] = {
      // PHP SoapServer, RPC/encoded
      R"(<?xml version="1.0" encoding="UTF-8"?><SOAP-ENV:Envelope xmlns:SOAP-ENV="http://schemas.xmlsoap.org/soap/envelope/" xmlns:ns1="uri:server.Validador" xmlns:xsd="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" xmlns:SOAP-ENC="http://schemas.xmlsoap.org/soap/encoding/" SOAP-ENV:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"><SOAP-ENV:Body><ns1:selectxmlResponse><return xsi:type="xsd:string">&lt;a&gt;&amp;x&lt;/a&gt;</return></ns1:selectxmlResponse></SOAP-ENV:Body></SOAP-ENV:Envelope>)",
      // other prefixes, default namespace on the operation, a differently named untyped part
      R"(<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"><soap:Body><selectxmlResponse xmlns="uri:server.Validador"><result>&lt;a>&amp;x&lt;/a></result></selectxmlResponse></soap:Body></soap:Envelope>)",
      // CDATA, split over two sections
      R"(<e:Envelope xmlns:e="http://schemas.xmlsoap.org/soap/envelope/"><e:Header/><e:Body><m:selectxmlResponse xmlns:m="uri:server.Validador"><m:return><![CDATA[<a>&]]><![CDATA[x</a>]]></m:return></m:selectxmlResponse></e:Body></e:Envelope>)",
      // section 5 multi-reference
      R"(<S:Envelope xmlns:S="http://schemas.xmlsoap.org/soap/envelope/"><S:Body><ns1:selectxmlResponse xmlns:ns1="uri:server.Validador"><selectxmlReturn href="#id0"/></ns1:selectxmlResponse><multiRef id="id0">&lt;a&gt;&amp;x&lt;/a&gt;</multiRef></S:Body></S:Envelope>)",
  };
  for (const char *xml : envelopes) {
    soap::Message reply = soap::read_envelope(xml);
    ASSERT_EQ(reply.parts.size(), 1u) << xml;
    EXPECT_EQ(reply.parts[0].second, "<a>&x</a>") << xml;
    EXPECT_EQ(reply.ns, "uri:server.Validador") << xml;
  }
}

TEST(SoapEnvelope, FaultsAndNonEnvelopesThrowWithTheirText) {
  struct Case {
    std::string xml;
    std::string message_part;
  } cases[] = {
      {soap::write_fault("SOAP-ENV:Server", "Tabela inexistente"), "Tabela inexistente"},
      {R"(<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/"><s:Body><s:Fault><faultcode>s:Client</faultcode><faultstring xml:lang="pt">Acesso &amp; negado</faultstring></s:Fault></s:Body></s:Envelope>)",
       "Acesso & negado"},
      {"<html><body>Manutenção</body></html>", "envelope"},
      {"not xml at all", "XML"},
      {R"(<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/"><s:Body/></s:Envelope>)", "corpo"},
  };
  for (const Case &c : cases) {
    try {
      soap::read_envelope(c.xml);
      ADD_FAILURE() << "no exception for " << c.xml;
    } catch (const Exception &e) {
      EXPECT_NE(std::string(e.what()).find(c.message_part), std::string::npos) << e.what();
    }
  }
}

TEST(SoapEnvelope, BytesTravelOnePerCharacter) {
  std::string all_bytes;
  for (int b = 0; b < 256; ++b)
    all_bytes += static_cast<char>(b);
  std::string as_text = soap::bytes_to_latin1_text(all_bytes);
  EXPECT_EQ(soap::latin1_text_to_bytes(as_text), all_bytes);
  // Through a whole envelope too: line ends and control characters must not be normalised away.
  std::string from_tab = all_bytes.substr(9);
  soap::Message reply{
      "uri:server.Validador", "selectxmlResponse", {{"return", soap::bytes_to_latin1_text(from_tab)}}};
  EXPECT_EQ(soap::latin1_text_to_bytes(soap::read_envelope(soap::write_envelope(reply)).parts[0].second),
            from_tab);

  // UTF-8 "ç" read as two Latin-1 characters gives back its two bytes; a character beyond Latin-1
  // becomes its Windows-1252 byte, or "?" without one.
  struct Case {
    std::string text;
    std::string bytes;
  } cases[] = {{"\xC3\x83\xC2\xA7", "\xC3\xA7"}, {"\xE2\x82\xAC", "\x80"}, {"\xE4\xB8\xAD", "?"}, {"", ""}};
  for (const Case &c : cases)
    EXPECT_EQ(soap::latin1_text_to_bytes(c.text), c.bytes) << c.text;
}

} // namespace
