// velacorte-queryd: its SQL replies, its checks of the caller, the download host and the control API.

#include "QueryService.h"
#include "base64.h"
#include "column_types.h"
#include "downloads.h"
#include "queryd_client.h"
#include "script_statements.h"
#include "soap_envelope.h"
#include "sql_connection.h"
#include "xml_text.h"
#include "zip_writer.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

TEST(ColumnTypes, DeclaredTypesMapToMySqlCodesAndSizes) {
  struct Case {
    const char *declared;
    int tipo;
    long long tamanho;
  } cases[] = {
      {"INTEGER", 3, 11},   {"int", 3, 11},           {"BIGINT", 8, 20},          {"TINYINT", 1, 4},
      {"SMALLINT", 2, 6},   {"VARCHAR(60)", 253, 60}, {"varchar", 253, 255},      {"CHAR(2)", 254, 2},
      {"TEXT", 252, 65535}, {"BLOB", 252, 65535},     {"DATE", 10, 10},           {"DATETIME", 12, 19},
      {"TIMESTAMP", 7, 19}, {"TIME", 11, 8},          {"DECIMAL(10,2)", 246, 12}, {"NUMERIC(5)", 246, 6},
      {"DOUBLE", 5, 22},    {"FLOAT", 4, 12},         {"whatever", 253, 255},
  };
  for (const Case &c : cases) {
    ColumnType type = column_type_from_declaration(c.declared);
    EXPECT_EQ(type.tipo, c.tipo) << c.declared;
    EXPECT_EQ(type.tamanho, c.tamanho) << c.declared;
  }
}

TEST(XmlText, EscapesForContentAndForAttributes) {
  struct Case {
    std::string text, content, attribute;
  } cases[] = {
      {"a\"b'c", "a\"b'c", "a&quot;b'c"},
      {"<&>", "&lt;&amp;&gt;", "&lt;&amp;&gt;"},
      {"l1\r\nl2\tx", "l1&#13;\nl2\tx", "l1&#13;&#10;l2&#9;x"},
      {std::string("\0\x01\x1F\x7F", 4), std::string("   \x7F"), std::string("   \x7F")},
      {"caf\xE9 \x80", "caf\xC3\xA9 \xE2\x82\xAC", "caf\xC3\xA9 \xE2\x82\xAC"}, // not UTF-8: Windows-1252
      {"ação", "ação", "ação"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(xml_text::escaped(c.text), c.content) << c.text;
    EXPECT_EQ(xml_text::escaped(c.text, xml_text::Place::attribute), c.attribute) << c.text;
  }
}

TEST(QueryService, ScriptSplitsOutsideQuotesOnly) {
  EXPECT_EQ(script_statements("select 1; select 'a;b' ;\n; update t set x=\"c;d\";"),
            (std::vector<std::string>{"select 1", " select 'a;b' ", " update t set x=\"c;d\""}));
  EXPECT_TRUE(script_statements(" ; ;").empty());
}

TEST(Downloads, RangeHeadersGiveOnePartOrARefusal) {
  struct Case {
    std::string header;
    std::uint64_t size;
    RangeAnswer answer;
    std::uint64_t offset, length;
  } cases[] = {
      {"", 10, RangeAnswer::whole, 0, 0},
      {"bytes=0-0", 10, RangeAnswer::part, 0, 1},
      {"bytes = 2 - 4", 10, RangeAnswer::part, 2, 3},
      {"bytes=8-100", 10, RangeAnswer::part, 8, 2},
      {"bytes=-4", 10, RangeAnswer::part, 6, 4},
      {"bytes=-40", 10, RangeAnswer::part, 0, 10},
      {"bytes=9-", 10, RangeAnswer::part, 9, 1},
      {"bytes=10-", 10, RangeAnswer::refused, 0, 0},
      {"bytes=-0", 10, RangeAnswer::refused, 0, 0},
      {"bytes=0-", 0, RangeAnswer::refused, 0, 0},
      {"bytes=5-4", 10, RangeAnswer::refused, 0, 0},
      {"bytes=0-1,2-3", 10, RangeAnswer::refused, 0, 0},
      {"bytes=x-1", 10, RangeAnswer::refused, 0, 0},
      {"bytes=99999999999999999999-", 10, RangeAnswer::refused, 0, 0},
      {"bytes=", 10, RangeAnswer::refused, 0, 0},
      {"lines=0-1", 10, RangeAnswer::refused, 0, 0},
  };
  for (const Case &c : cases) {
    ByteRange range;
    EXPECT_EQ(read_range(c.header, c.size, range), c.answer) << c.header;
    if (c.answer == RangeAnswer::part) {
      EXPECT_EQ(range.offset, c.offset) << c.header;
      EXPECT_EQ(range.length, c.length) << c.header;
    }
  }
}

TEST(SqlConnection, FirstKeywordSkipsBlanksAndComments) {
  EXPECT_EQ(first_keyword("  vacuum into 'x'"), "VACUUM");
  EXPECT_EQ(first_keyword("-- nota\n/* outra */\tAttach 'x' as y"), "ATTACH");
  EXPECT_EQ(first_keyword("/* sem fim"), "");
  EXPECT_EQ(first_keyword("-- só nota"), "");
  EXPECT_EQ(first_keyword(""), "");
}

TEST(QueryService, SenhaOfTheDayAndItsNeighbours) {
  std::tm day{};
  day.tm_year = 2024 - 1900;
  day.tm_mon = 0;
  day.tm_mday = 5;
  day.tm_hour = 12;
  std::time_t noon = std::mktime(&day);
  EXPECT_EQ(senha_for_day(noon), "4C7A38"); // 05012024
  for (int days : {-1, 0, 1})
    EXPECT_TRUE(senha_accepted(senha_for_day(noon + days * 86400), noon)) << days;
  EXPECT_TRUE(senha_accepted("4c7a38", noon));
  for (int days : {-2, 2})
    EXPECT_FALSE(senha_accepted(senha_for_day(noon + days * 86400), noon)) << days;
  EXPECT_FALSE(senha_accepted("", noon));
}

TEST(ZipWriter, ArchivesUnpackWithTheUnzipTool) {
  queryd_test::ScratchFolder folder("queryd_zip");
  std::string path = folder / "teste.zip";
  std::string big(100000, 'x');
  std::ofstream(path, std::ios::binary)
      << zip_archive({{"a.txt", "conteúdo\r\n"}, {"pasta/b.bin", big}, {"vazio", ""}});
  EXPECT_EQ(std::system(("timeout 60 unzip -tq " + path + " >/dev/null").c_str()), 0);
  FILE *pipe = popen(("timeout 60 unzip -p " + path + " pasta/b.bin").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    out.append(buffer, n);
  pclose(pipe);
  EXPECT_EQ(out, big);
}

using queryd_test::call;
using queryd_test::Call;

pugi::xml_document parse(const std::string &reply) {
  pugi::xml_document doc;
  EXPECT_TRUE(doc.load_string(reply.c_str())) << reply;
  return doc;
}

class QuerydTest : public ::testing::Test {
protected:
  queryd_test::QuerydServer server;
};

TEST_F(QuerydTest, RepliesCarryStatusRowsAndDefinitions) {
  struct Case {
    std::string sql;
    std::string codigo;
    std::string rows; // empty: no select element
  } cases[] = {
      {"select * from sistema.check_files where instalacao = 'S'  and servidor_terminal in('*','T')  and "
       "arquivo "
       "LIKE '%.dll' ",
       "000", "3"},
      {"select * from produtos where id = 99", "003", ""},
      {"update produtos set peso = 2 where id = 1", "000", "0"},
      {"select * from tabela_que_falta", "102", ""},
      {"select 1; select 2", "102", ""},
  };
  for (const Case &c : cases) {
    Call result = call(server, c.sql);
    ASSERT_EQ(result.status, 200) << c.sql;
    pugi::xml_document doc = parse(result.reply);
    pugi::xml_node root = doc.child("retorno");
    EXPECT_STREQ(root.first_child().name(), "status") << c.sql;
    EXPECT_EQ(root.select_node("status/codigo").node().text().as_string(), c.codigo) << c.sql;
    if (c.rows.empty()) {
      EXPECT_FALSE(root.child("select")) << c.sql;
    } else {
      EXPECT_EQ(std::string(root.child("select").attribute("rows").value()), c.rows) << c.sql;
      EXPECT_EQ(root.child("select").next_sibling(), root.child("fields")) << c.sql;
    }
    if (c.codigo == "102") {
      EXPECT_FALSE(std::string(root.select_node("status/mensagem").node().text().as_string()).empty());
    }
  }
}

TEST_F(QuerydTest, ValuesAreEncodedByTheirColumnType) {
  pugi::xml_document doc = parse(call(server, "select * from produtos where id = 1").reply);
  pugi::xml_node row = doc.select_node("/retorno/select/row").node();
  pugi::xml_node fields = doc.select_node("/retorno/fields").node();
  struct Case {
    const char *column;
    int tipo;
    std::string value; // decoded as the client decodes it
  } cases[] = {
      {"ID", 3, "1"},
      {"CODIGO", 8, "7891000100103"},
      {"DESCRICAO", 253, "Dipirona 500mg"}, // ASCII: no mark
      {"UNIDADE", 254, "CX"},
      {"PRECO", 246, "12.50"},
      {"VALIDADE", 10, "2026-03-31"},
      {"CADASTRO", 12, "2024-01-15 08:30:00"},
      {"HORA", 11, "08:30:00"},
      {"OBSERVACAO", 252, // raw bytes, no mark
       "Analg\xC3\xA9sico e antit\xC3\xA9rmico"},
      {"FOTO", 252, std::string("\x89PNG\r\n\x1A\n", 8)},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(fields.child(c.column).attribute("tipo").as_int(), c.tipo) << c.column;
    std::string text = row.child(c.column).text().as_string();
    if (c.tipo == 252)
      text = base64::decode(base64::decode(text));
    else if (carries_base64(c.tipo))
      text = base64::decode(text);
    EXPECT_EQ(text, c.value) << c.column;
  }
  pugi::xml_document nulls = parse(call(server, "select validade from produtos where id = 3").reply);
  EXPECT_TRUE(nulls.select_node("/retorno/select/row/VALIDADE").node().text().empty());
}

TEST_F(QuerydTest, NullEmptyTextChangedRowsAndTheFailingStatement) {
  // NULL is an empty element; an empty text of a base64 column the byte-order mark alone.
  pugi::xml_document values = parse(call(server, "select '' as e, null as n, X'' as b, 5 as i").reply);
  pugi::xml_node row = values.select_node("/retorno/select/row").node();
  EXPECT_STREQ(row.child("E").text().as_string(), "77u/");
  EXPECT_STREQ(row.child("B").text().as_string(), "77u/");
  EXPECT_TRUE(row.child("N").text().empty());
  EXPECT_EQ(base64::decode(row.child("E").text().as_string()), "\xEF\xBB\xBF");

  struct Case {
    const char *sql;
    const char *afetados;
  } cases[] = {
      {"update produtos set peso = 2 where id < 3", "2"},
      {"create table nova (x integer)", "0"},
      {"delete from produtos where id = 99", "0"},
  };
  for (const Case &c : cases) {
    pugi::xml_document doc = parse(call(server, c.sql).reply);
    EXPECT_STREQ(doc.select_node("/retorno/select").node().attribute("afetados").value(), c.afetados)
        << c.sql;
  }

  pugi::xml_document failed = parse(
      call(server, "select 1; update produtos set peso = 3; select * from nada; select 2", "1:1;script=S")
          .reply);
  EXPECT_STREQ(failed.select_node("/retorno/status/codigo").node().text().as_string(), "102");
  EXPECT_EQ(failed.select_node("/retorno/status/instrucao").node().text().as_int(), 3);
  EXPECT_FALSE(failed.select_node("/retorno/script"));
}

TEST_F(QuerydTest, TextKeepsItsDoubleQuotesUnescaped) {
  std::string failed = call(server, "SELEC 1").reply;
  EXPECT_NE(failed.find("<mensagem>near \"SELEC\": syntax error</mensagem>"), std::string::npos) << failed;
  EXPECT_EQ(queryd_test::codigo(failed), "102");
}

TEST(Queryd, Latin1SendsTextColumnsAsLatin1BytesWithoutAMark) {
  queryd_test::QuerydServer server({.arguments = {"--latin1"}});
  pugi::xml_document doc = parse(
      call(server, "select descricao, unidade, 'ŝ' as fora, '' as vazio from produtos where id = 2").reply);
  pugi::xml_node row = doc.select_node("/retorno/select/row").node();
  EXPECT_EQ(base64::decode(row.child("DESCRICAO").text().as_string()), "Soro fisiol\xF3gico");
  EXPECT_EQ(base64::decode(row.child("UNIDADE").text().as_string()), "FR");
  EXPECT_EQ(base64::decode(row.child("FORA").text().as_string()), "?"); // beyond ISO-8859-1
  EXPECT_TRUE(row.child("VAZIO").text().empty());
}

TEST_F(QuerydTest, ClockInsertScriptAndCompression) {
  pugi::xml_document clock = parse(call(server, "select NOW() 'AGORA'", "").reply);
  EXPECT_EQ(std::string(clock.select_node("/retorno/select/row/AGORA").node().text().as_string()).size(),
            19u);
  EXPECT_EQ(clock.select_node("/retorno/fields/AGORA").node().attribute("tipo").as_int(), 12);

  pugi::xml_document insert = parse(call(server, "  insert into produtos (descricao) values ('novo')").reply);
  EXPECT_EQ(insert.select_node("/retorno/status/last_id").node().text().as_int(), 4);

  pugi::xml_document script =
      parse(call(server,
                 "select id from produtos where id < 3; select * from produtos where id = 99;"
                 "delete from produtos where id = 4",
                 "1:1;script=S")
                .reply);
  pugi::xpath_node_set sets = script.select_nodes("/retorno/script");
  ASSERT_EQ(sets.size(), 3u);
  EXPECT_STREQ(sets[0].node().first_child().attribute("rows").value(), "2");
  EXPECT_STREQ(sets[1].node().first_child().attribute("rows").value(), "0");
  EXPECT_STREQ(sets[2].node().first_child().attribute("rows").value(), "0");

  std::string plain = call(server, "select * from produtos").reply;
  std::string packed = base64::decode(call(server, "select * from produtos", "1:1;script=N;zip=S").reply);
  std::string inflated(plain.size() + 100, '\0');
  uLongf size = static_cast<uLongf>(inflated.size());
  ASSERT_EQ(uncompress(reinterpret_cast<Bytef *>(inflated.data()), &size,
                       reinterpret_cast<const Bytef *>(packed.data()), static_cast<uLong>(packed.size())),
            Z_OK);
  inflated.resize(size);
  EXPECT_EQ(inflated, plain);
}

TEST_F(QuerydTest, RefusesWrongCredentialsAndSenha) {
  EXPECT_EQ(call(server, "select 1", "", queryd_test::senha_of_today(), "06192284400461:errada").status, 401);
  EXPECT_EQ(server.request("POST", "/servicos/wsdl/selectxml/selectxml.php", "<x/>").status, 401);
  Call wrong = call(server, "select 1", "", "ABC");
  ASSERT_EQ(wrong.status, 200);
  pugi::xml_document doc = parse(wrong.reply);
  EXPECT_STREQ(doc.select_node("/retorno/status/codigo").node().text().as_string(), "101");
  EXPECT_FALSE(doc.select_node("/retorno/select"));
}

TEST_F(QuerydTest, MalformedRequestsGetFaultsOrHttpErrors) {
  std::vector<std::string> auth = {"Authorization: Basic " +
                                   base64::encode("06192284400461:1E0CA7B3:C56F0A14:9B2E7D06:E3F81C5A")};
  for (const std::string &body : {std::string("not xml"), std::string("<a/>"),
                                  soap::write_envelope({"uri:x", "outra", {{"senha", ""}}}), std::string()}) {
    queryd_test::HttpReply reply =
        server.request("POST", "/servicos/wsdl/selectxml/selectxml.php", body, auth);
    EXPECT_EQ(reply.status, 500) << body;
    EXPECT_THROW(soap::read_envelope(reply.body), std::exception) << body;
  }
  EXPECT_EQ(server.request("GET", "/servicos/wsdl/selectxml/selectxml.php").status, 405);
  EXPECT_EQ(call(server, "select 1 as um").status, 200); // still serving
}

namespace {

struct RefusedRequest {
  std::string what;
  std::vector<std::string> headers; // beside Authorization
  std::string body;
  std::string fault;   // the Fault's text
  bool lenient_serves; // whether --lenient answers it with a reply
};

const std::string good_action = "SOAPAction: \"uri:server.Validador/Validador\"";
const std::string good_type = "Content-Type: text/xml; charset=ISO-8859-1";

std::string envelope(const std::string &envelope_ns, const std::string &operation_ns,
                     const std::vector<std::pair<std::string, std::string>> &parts,
                     const std::string &operation = "selectxml") {
  std::string body = "<?xml version=\"1.0\"?><E:Envelope xmlns:E=\"" + envelope_ns +
                     "\"><E:Body><o:" + operation + " xmlns:o=\"" + operation_ns + "\">";
  for (const auto &[name, value] : parts)
    body += "<" + name + ">" + value + "</" + name + ">";
  return body + "</o:" + operation + "></E:Body></E:Envelope>";
}

std::vector<RefusedRequest> refused_requests() {
  const std::string soap11 = "http://schemas.xmlsoap.org/soap/envelope/";
  const std::string ns = "uri:server.Validador";
  const std::string senha = queryd_test::senha_of_today();
  auto call = [&](const std::string &options) {
    return envelope(soap11, ns, {{"senha", senha}, {"sql", "select 1 as um"}, {"options", options}});
  };
  const std::string good = call("1:1;script=N");
  return {
      {"no SOAPAction",
       {good_type},
       good,
       "selectxml: cabeçalho SOAPAction ausente; esperado \"uri:server.Validador/Validador\"",
       true},
      {"another SOAPAction",
       {"SOAPAction: \"urn:outra\"", good_type},
       good,
       "selectxml: SOAPAction \"urn:outra\" recusado; esperado \"uri:server.Validador/Validador\"",
       true},
      {"another Content-Type",
       {good_action, "Content-Type: application/soap+xml"},
       good,
       "selectxml: Content-Type \"application/soap+xml\" recusado; esperado text/xml",
       true},
      {"no Content-Type",
       {good_action},
       good,
       "selectxml: Content-Type \"\" recusado; esperado text/xml",
       true},
      {"a SOAP 1.2 envelope",
       {good_action, good_type},
       envelope("http://www.w3.org/2003/05/soap-envelope", ns,
                {{"senha", senha}, {"sql", "select 1 as um"}, {"options", "1:1"}}),
       "selectxml: envelope no namespace \"http://www.w3.org/2003/05/soap-envelope\" recusado; esperado "
       "\"http://schemas.xmlsoap.org/soap/envelope/\" (SOAP 1.1)",
       true},
      {"the operation in another namespace",
       {good_action, good_type},
       envelope(soap11, "urn:outro", {{"senha", senha}, {"sql", "select 1 as um"}, {"options", "1:1"}}),
       "selectxml: operação no namespace \"urn:outro\" recusada; esperado \"uri:server.Validador\"",
       true},
      {"another operation",
       {good_action, good_type},
       envelope(soap11, ns, {{"senha", senha}}, "selectall"),
       "selectxml: operação desconhecida: selectall",
       false},
      {"parameters by other names",
       {good_action, good_type},
       envelope(soap11, ns, {{"a", senha}, {"b", "select 1 as um"}, {"c", "1:1"}}),
       "selectxml: parâmetros recusados (a, b, c); esperados senha, sql e options, nesta ordem",
       true},
      {"parameters out of order",
       {good_action, good_type},
       envelope(soap11, ns, {{"sql", "select 1 as um"}, {"senha", senha}, {"options", "1:1"}}),
       "selectxml: parâmetros recusados (sql, senha, options); esperados senha, sql e options, nesta ordem",
       true},
      {"a parameter missing",
       {good_action, good_type},
       envelope(soap11, ns, {{"senha", senha}, {"sql", "select 1 as um"}}),
       "selectxml: parâmetros recusados (senha, sql); esperados senha, sql e options, nesta ordem",
       false},
      {"options without 1:1",
       {good_action, good_type},
       call("script=N"),
       "selectxml: options \"script=N\" recusado: não começa com \"1:1\"",
       true},
      {"an unknown options item",
       {good_action, good_type},
       call("1:1;script=N;cache=S"),
       "selectxml: options \"1:1;script=N;cache=S\" recusado: item desconhecido \"cache=S\"",
       true},
      {"an options flag of another value",
       {good_action, good_type},
       call("1:1;script=s"),
       "selectxml: options \"1:1;script=s\" recusado: item desconhecido \"script=s\"",
       true},
      {"an options item twice",
       {good_action, good_type},
       call("1:1;ms=a;ms=b"),
       "selectxml: options \"1:1;ms=a;ms=b\" recusado: item repetido \"ms\"",
       true},
      {"options glued to 1:1",
       {good_action, good_type},
       call("1:1script=N"),
       "selectxml: options \"1:1script=N\" recusado: \";\" esperado após \"1:1\"",
       true},
  };
}

} // namespace

TEST_F(QuerydTest, StrictAboutRequestsWithAFaultNamingTheCause) {
  queryd_test::QuerydServer lenient({.arguments = {"--lenient"}});
  const std::string auth = server.authorization();
  for (const RefusedRequest &c : refused_requests()) {
    std::vector<std::string> headers = c.headers;
    headers.push_back(auth);
    queryd_test::HttpReply reply =
        server.request("POST", "/servicos/wsdl/selectxml/selectxml.php", c.body, headers);
    EXPECT_EQ(reply.status, 500) << c.what;
    EXPECT_NE(reply.body.find("<faultcode>SOAP-ENV:Client</faultcode>"), std::string::npos) << c.what;
    try {
      soap::read_envelope(reply.body);
      ADD_FAILURE() << c.what << ": no Fault";
    } catch (const soap::Fault &fault) {
      EXPECT_EQ(std::string(fault.what()), c.fault) << c.what;
    }
    queryd_test::HttpReply old =
        lenient.request("POST", "/servicos/wsdl/selectxml/selectxml.php", c.body, headers);
    EXPECT_EQ(old.status, c.lenient_serves ? 200 : 500) << c.what << " (--lenient)";
  }
  // What the client sends: the quoted action, and the clock query's empty options.
  for (const char *options : {"1:1;rede_id=12;ms=srv;msu=u;msp=p;script=S;zip=S", ""}) {
    Call accepted = call(server, "select 1 as um", options);
    EXPECT_EQ(accepted.status, 200) << options;
  }
  std::string body = soap::write_envelope(
      {"uri:server.Validador",
       "selectxml",
       {{"senha", queryd_test::senha_of_today()}, {"sql", "select 1"}, {"options", "1:1"}}});
  EXPECT_EQ(server
                .request("POST", "/servicos/wsdl/selectxml/selectxml.php", body,
                         {auth, "Content-Type: TEXT/XML", "SOAPAction: uri:server.Validador/Validador"})
                .status,
            200);
}

TEST_F(QuerydTest, DownloadHostServesArchivesWithASessionCookie) {
  struct Case {
    std::string target;
    int status;
  } cases[] = {
      {"/site/arquivos/produto/1001.zip", 200},
      {"/site/arquivos/instaladores/Velacorte6.zip", 200},
      {"/site/arquivos/instaladores/nfe2/nfe2.zip", 200},
      {"/site/arquivos/instaladores/Firebird-2.5.2_Win32.zip", 200},
      {"/site/arquivos/instaladores/Firebird-2.5.2_x64.zip", 200},
      {"/site/arquivos/nao/existe.zip", 404},
      {"/site/arquivos/produto/", 404},
      {"/site/arquivos/%2E%2E/%2E%2E/etc/passwd", 404},
  };
  for (const Case &c : cases) {
    queryd_test::HttpReply reply = server.request("GET", c.target);
    EXPECT_EQ(reply.status, c.status) << c.target;
    EXPECT_NE(reply.headers.find("Set-Cookie: velacorte_sessao="), std::string::npos) << c.target;
    EXPECT_EQ(reply.headers.find("Location:"), std::string::npos) << c.target;
    if (c.status == 200) {
      EXPECT_EQ(reply.body.substr(0, 4), "PK\x03\x04") << c.target;
    }
  }
  // Every link of the catalogue points at this server and is served.
  pugi::xml_document list = parse(call(server, "select link from sistema.check_files").reply);
  for (pugi::xpath_node link : list.select_nodes("/retorno/select/row/LINK")) {
    std::string url = base64::decode(link.node().text().as_string());
    ASSERT_EQ(url.rfind(server.base_url() + "/", 0), 0u) << url;
    EXPECT_EQ(server.request("GET", url.substr(server.base_url().size())).status, 200) << url;
  }
}

// coreutils' sha256sum of `bytes`, the peer of the service's digests.
std::string sha256sum_of(const std::string &bytes) {
  std::string file = queryd_test::temporary_root() + "/sha256sum-input.bin";
  std::ofstream(file, std::ios::binary) << bytes;
  std::string output;
  if (FILE *pipe = popen(("sha256sum '" + file + "'").c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe))
      output += buffer;
    pclose(pipe);
  }
  std::remove(file.c_str());
  return output.substr(0, output.find(' '));
}

TEST_F(QuerydTest, DemoListOffersTheDigestOfEveryArchiveUnlessToldNot) {
  pugi::xml_document list = parse(call(server, "select link, sha256 from sistema.check_files").reply);
  pugi::xpath_node_set rows = list.select_nodes("/retorno/select/row");
  ASSERT_GT(rows.size(), 0u);
  for (pugi::xpath_node row : rows) {
    std::string url = base64::decode(row.node().child("LINK").text().as_string());
    queryd_test::HttpReply reply = server.request("GET", url.substr(server.base_url().size()));
    ASSERT_EQ(reply.status, 200) << url;
    std::string digest = base64::decode(row.node().child("SHA256").text().as_string());
    EXPECT_EQ(digest.size(), 64u) << url;
    EXPECT_EQ(digest, sha256sum_of(reply.body)) << url;
  }

  queryd_test::QuerydServer older({.arguments = {"--no-sha256"}});
  EXPECT_EQ(queryd_test::codigo(call(older, "select sha256 from sistema.check_files").reply), "102");
  pugi::xml_document whole = parse(call(older, "select * from sistema.check_files").reply);
  EXPECT_GT(whole.select_nodes("/retorno/select/row").size(), 0u);
  EXPECT_FALSE(whole.select_node("/retorno/select/row/SHA256"));
}

TEST_F(QuerydTest, ControlApiPlansFailuresAndKeepsTheLog) {
  const std::string path = "/site/arquivos/produto/1002.zip";
  server.fail(path, 2, 503);
  EXPECT_EQ(server.request("GET", path).status, 503);
  EXPECT_EQ(server.request("GET", path).status, 503);
  EXPECT_EQ(server.request("GET", path).status, 200);

  server.fail(path, 1, 302);
  queryd_test::HttpReply redirect = server.request("GET", path);
  EXPECT_EQ(redirect.status, 302);
  EXPECT_NE(redirect.headers.find("Location: " + server.base_url() + path), std::string::npos);
  server.fail(path, 1, 200);
  EXPECT_EQ(server.request("GET", path).body.rfind("<html>", 0), 0u);

  server.fail(path, 5, 500);
  server.reset();
  EXPECT_TRUE(server.log().empty());
  server.request("GET", path, "", {"Range: bytes=0-1", "Cookie: a=b", "X-Other: 1"});
  std::vector<std::string> log = server.log();
  ASSERT_EQ(log.size(), 1u);
  std::string start = "GET\t" + path + "\tCookie: a=b\tRange: bytes=0-1\tStatus: 206\tTime: ";
  EXPECT_EQ(log[0].substr(0, start.size()), start);
  EXPECT_EQ(queryd_test::log_field(log[0], "Time").size(), std::string("2026-01-31T12:00:00.250Z").size());
  server.clear_log();
  EXPECT_TRUE(server.log().empty());
}

TEST(Queryd, OnMariadbTheDemoCatalogueAndTheServersOwnTypes) {
  const char *socket = std::getenv("VELACORTE_MARIADB_SOCKET");
  ASSERT_TRUE(socket && *socket) << "VELACORTE_MARIADB_SOCKET: the test command names the fixture's socket";
  queryd_test::QuerydServer server({.arguments = {"--mariadb", socket}});
  Call list = call(server, "select * from sistema.check_files where instalacao = 'S'  and servidor_terminal "
                           "in('*','T')  and arquivo LIKE '%.dll' ");
  EXPECT_EQ(parse(list.reply).select_node("/retorno/select").node().attribute("rows").as_int(), 3)
      << list.reply;

  pugi::xml_document doc = parse(call(server, "select * from produtos where id = 1").reply);
  pugi::xml_node fields = doc.select_node("/retorno/fields").node();
  struct Case {
    const char *column;
    int tipo;
    long long tamanho; // the server's length: bytes of utf8mb4 for text
  } cases[] = {{"ID", 3, 11},      {"CODIGO", 8, 20}, {"DESCRICAO", 253, 160}, {"UNIDADE", 254, 8},
               {"PRECO", 246, 12}, {"PESO", 5, 22},   {"VALIDADE", 10, 10},    {"CADASTRO", 12, 19},
               {"HORA", 11, 10},   {"ATIVO", 1, 4},   {"FOTO", 252, 65535}};
  for (const Case &c : cases) {
    EXPECT_EQ(fields.child(c.column).attribute("tipo").as_int(), c.tipo) << c.column;
    EXPECT_EQ(fields.child(c.column).attribute("tamanho").as_llong(), c.tamanho) << c.column;
  }
  pugi::xml_node row = doc.select_node("/retorno/select/row").node();
  EXPECT_STREQ(row.child("PRECO").text().as_string(), "12.50");
  EXPECT_EQ(base64::decode(base64::decode(row.child("FOTO").text().as_string())),
            std::string("\x89PNG\r\n\x1A\n", 8));
  EXPECT_EQ(base64::decode(row.child("DESCRICAO").text().as_string()), "Dipirona 500mg");

  pugi::xml_document insert = parse(call(server, "insert into produtos (descricao) values ('novo')").reply);
  EXPECT_EQ(insert.select_node("/retorno/status/last_id").node().text().as_int(), 4);

  // What a request leaves on its pooled connection is undone before the next one.
  std::string open = call(server, "begin; delete from produtos", "1:1;script=S").reply;
  EXPECT_EQ(queryd_test::codigo(open), "102") << open;
  EXPECT_EQ(parse(call(server, "select count(*) as n from produtos").reply)
                .select_node("/retorno/select/row/N")
                .node()
                .text()
                .as_int(),
            4);
  call(server, "set @marca = 'x'");
  for (int i = 0; i < 3; ++i)
    EXPECT_TRUE(parse(call(server, "select @marca as m").reply)
                    .select_node("/retorno/select/row/M")
                    .node()
                    .text()
                    .empty());

  std::string failed = call(server, "select * from tabela_que_falta").reply;
  EXPECT_EQ(queryd_test::codigo(failed), "102");
  EXPECT_EQ(queryd_test::mensagem(failed), "Table 'velacorte.tabela_que_falta' doesn't exist");
}

TEST(Queryd, MariadbOptionsAndAnUnreachableServerAreToldAtOnce) {
  using namespace std::chrono_literals;
  queryd_test::ScratchFolder folder("queryd_mariadb");
  const std::string missing = folder / "nao-existe.sock";
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string said;
  } cases[] = {
      {{"--mariadb", "db.example:99999"}, 2, "--mariadb takes a socket path or HOST:PORT"},
      {{"--mariadb", ":3306"}, 2, "--mariadb takes a socket path or HOST:PORT"},
      {{"--mariadb-user", "loja"}, 2, "need --mariadb"},
      {{"--mariadb", missing, "--db", folder / "x.db"}, 2, "--db and --mariadb name two databases"},
      {{"--mariadb", missing, "--mariadb-database", "loja"},
       1,
       "conectar ao MariaDB " + missing + " banco loja: "},
  };
  for (const Case &c : cases) {
    std::string output;
    EXPECT_EQ(queryd_test::run_to_end(c.arguments, 10s, output), c.status) << output;
    EXPECT_NE(output.find(c.said), std::string::npos) << output;
  }
}

TEST(Queryd, UsesAGivenDatabaseAndToken) {
  queryd_test::ScratchFolder folder("queryd_given");
  queryd_test::Options options{.demo = false, .db = folder / "given.db", .files = "", .token = "loja:chave"};
  {
    queryd_test::QuerydServer server(options);
    EXPECT_EQ(call(server, "create table sistema.check_files (arquivo varchar(10))", "1:1",
                   queryd_test::senha_of_today(), "loja:chave")
                  .status,
              200);
    EXPECT_EQ(call(server, "select 1").status, 401);
    EXPECT_EQ(server.request("GET", "/site/arquivos/produto/1001.zip").status, 404);
  }
  queryd_test::QuerydServer again(options);
  Call kept =
      call(again, "select * from sistema.check_files", "", queryd_test::senha_of_today(), "loja:chave");
  EXPECT_NE(kept.reply.find("<codigo>003</codigo>"), std::string::npos) << kept.reply;
}

} // namespace
