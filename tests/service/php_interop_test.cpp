// selectxml against PHP's SoapServer, a SOAP 1.1 toolkit set up as the query service is (RPC style,
// section 5 encoding, no WSDL, encoding "ISO-8859-1"): what the toolkit receives from the client, and
// what the client makes of the toolkit's results and faults. The service is php/validador.php.

#include "Exception.h"
#include "base64.h"
#include "php_soap_server.h"
#include "soap_envelope.h"
#include "uAutentica.h"
#include "uwsselectxml.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string from_hex(const std::string &hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

// validador.php's report of a request: "key=hex" lines; part and arg repeat, in order.
struct Report {
  std::map<std::string, std::string> fields;
  std::vector<std::string> parts;
  std::vector<std::string> args;
};

Report read_report(const std::string &reply) {
  Report report;
  size_t start = 0;
  while (start < reply.size()) {
    size_t end = reply.find('\n', start);
    std::string line = reply.substr(start, end == std::string::npos ? std::string::npos : end - start);
    start = end == std::string::npos ? reply.size() : end + 1;
    size_t equals = line.find('=');
    if (equals == std::string::npos)
      throw std::runtime_error("not a request report: " + reply);
    std::string key = line.substr(0, equals);
    std::string value = from_hex(line.substr(equals + 1));
    if (key == "part")
      report.parts.push_back(value);
    else if (key == "arg")
      report.args.push_back(value);
    else
      report.fields[key] = value;
  }
  return report;
}

class PhpInteropTest : public ::testing::Test {
protected:
  void SetUp() override {
    TokenFile = (std::filesystem::temp_directory_path() /
                 ("velacorte-php-interop-" + std::to_string(getpid()) + ".ini"))
                    .string();
    write_token("U5A1C0E97B4D", "1E0CA7B3:C56F0A14");
  }
  void TearDown() override { std::remove(TokenFile.c_str()); }

  void write_token(const std::string &id, const std::string &senha) {
    std::ofstream(TokenFile, std::ios::trunc) << "[TOKEN]\nID=" << id << "\nSENHA=" << senha << "\n";
  }

  std::string selectxml(const std::string &senha, const std::string &sql, const std::string &options) {
    return GetValidadorPortType(false, php.url("/servicos/wsdl/selectxml/selectxml.php"))
        ->selectxml(senha, sql, options);
  }

  php_test::PhpSoapServer php{VALIDADOR_PHP};
};

TEST_F(PhpInteropTest, ParametersArriveNamedInOrderAndUnchanged) {
  struct Case {
    std::string senha, sql, options;
    bool latin1; // every character within ISO-8859-1, so the function's arguments hold it too
  } cases[] = {
      {"1E0CA7B3", "select codigo from produtos", "1:1;script=N", true},
      {"", "", "", true},
      {"ação", "select 'Soro fisiológico' d from t where a < 3 & b > \"c\"", "Çãõé ±½ÿ", true},
      {"€ 日本 𝄞", "linha1\r\nlinha2\n\tfim\r", "  margens  ", false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.sql);
    Report report = read_report(selectxml(c.senha, c.sql, c.options));
    EXPECT_EQ(report.fields["operation"], "{uri:server.Validador}selectxml");
    EXPECT_EQ(report.parts,
              (std::vector<std::string>{"senha:" + c.senha, "sql:" + c.sql, "options:" + c.options}));
    if (c.latin1) {
      EXPECT_EQ(report.args, (std::vector<std::string>{soap::latin1_text_to_bytes(c.senha),
                                                       soap::latin1_text_to_bytes(c.sql),
                                                       soap::latin1_text_to_bytes(c.options)}));
    }
  }
}

TEST_F(PhpInteropTest, EveryRequestCarriesTheActionAndTheCurrentToken) {
  struct Case {
    std::string id, senha, credentials;
  } cases[] = {
      {"U5A1C0E97B4D", "1E0CA7B3:C56F0A14", "06192284400461:1E0CA7B3:C56F0A14"},
      {"loja 7", "sénha", "loja 7:sénha"},
      {"", "", ":"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.credentials);
    write_token(c.id, c.senha);
    Report report = read_report(selectxml("s", "select 1", ""));
    EXPECT_EQ(report.fields["method"], "POST");
    EXPECT_EQ(report.fields["soapaction"], "\"uri:server.Validador/Validador\"");
    EXPECT_EQ(report.fields["content_type"].rfind("text/xml", 0), 0u) << report.fields["content_type"];
    EXPECT_EQ(report.fields["authorization"], "Basic " + base64::encode(c.credentials));
  }
}

// A long reply: every byte that XML text can carry, with markup characters among them.
std::string long_reply() {
  std::string out;
  for (size_t i = 0; out.size() < 3 * 1024 * 1024; ++i) {
    unsigned char b = static_cast<unsigned char>(i % 224 + 32);
    out += b == 0x7F ? '\n' : static_cast<char>(b);
  }
  return out;
}

TEST_F(PhpInteropTest, ResultIsTheReplyOneBytePerCharacter) {
  std::string high_bytes;
  for (int b = 0x80; b <= 0xFF; ++b)
    high_bytes += static_cast<char>(b);
  struct Case {
    const char *name;
    std::string bytes;
  } cases[] = {
      {"bytes 0x80-0xFF", high_bytes},
      {"XML reply", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<retorno><codigo>000</codigo>"
                    "<mensagem>a &amp; b &lt; c</mensagem><d>Soro fisiológico</d><![CDATA[x]]></retorno>"},
      {"line ends", "um\r\ndois\nquatro\r\r\ncinco\r"},
      {"blanks around", "  \t texto \t  "},
      {"empty", ""},
      {"long", long_reply()},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::string result = selectxml("s", "return", base64::encode(c.bytes));
    EXPECT_EQ(result.size(), c.bytes.size());
    EXPECT_TRUE(result == c.bytes)
        << "first difference at byte "
        << std::mismatch(result.begin(), result.end(), c.bytes.begin(), c.bytes.end()).first - result.begin();
  }
}

TEST_F(PhpInteropTest, SoapFaultReachesTheCallerWithItsText) {
  const std::string texts[] = {"Senha inválida", "Tabela 'x' & <y> inexistente", "linha 1\nlinha 2"};
  for (const std::string &text : texts) {
    try {
      selectxml("s", "fault", text);
      ADD_FAILURE() << "no exception for the fault " << text;
    } catch (const Exception &e) {
      EXPECT_EQ(std::string(e.what()), text);
    }
  }
}

} // namespace
