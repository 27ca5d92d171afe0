// The client against a running velacorte-queryd with the demo catalogue.

#include "uMySql.h"

#include "Exception.h"
#include "THTTPRIO.h"
#include "queryd_server.h"
#include "scripted_http_server.h"
#include "token_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

namespace {

class Service : public ::testing::Test {
protected:
  static const queryd_test::QuerydServer &server() {
    static const queryd_test::QuerydServer running;
    return running;
  }

  TDataXML q;

  void SetUp() override {
    queryd_test::use_default_token();
    q.ServidorWS(server().host());
    q.SetShowErrors(false);
  }

  static std::string unique_table() {
    return "t" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
  }
};

} // namespace

TEST_F(Service, PlainAndCompressedRepliesAgree) {
  q.SetSQL("select check_id, arquivo, nome_atalho from sistema.check_files order by check_id");
  ASSERT_TRUE(q.Execute()) << q.Error();
  ASSERT_GT(q.RecordCount(), 2);
  std::vector<std::string> plain;
  for (; !q.EOF(); q.Next())
    plain.push_back(q.FieldByName("check_id") + "|" + q.FieldByName("arquivo") + "|" + q.FieldByIndex(2));
  EXPECT_EQ(plain.size(), static_cast<size_t>(q.RecordCount()));
  EXPECT_EQ(q.FieldType("arquivo"), "253");

  ASSERT_TRUE(q.ExecuteZ()) << q.Error();
  std::vector<std::string> compressed;
  for (; !q.EOF(); q.Next())
    compressed.push_back(q.FieldByName("check_id") + "|" + q.FieldByName("arquivo") + "|" +
                         q.FieldByIndex(2));
  EXPECT_EQ(compressed, plain);
  EXPECT_EQ(q.Erro(), 0);
}

TEST_F(Service, ParametersInsertAndLastID) {
  const std::string table = unique_table();
  q.SetSQL("create table " + table +
           " (id integer primary key autoincrement, idade integer, nome varchar(40))");
  ASSERT_TRUE(q.Execute()) << q.Error();
  for (const char *nome : {"Ana", "d'Ávila"}) {
    q.SetSQL("insert into " + table + " (idade, nome) values (:idade, :nome)");
    q.GravaParam("idade", "30");
    q.GravaParam("nome", nome);
    ASSERT_TRUE(q.Execute()) << q.Error();
  }
  EXPECT_EQ(q.LastID(), 2);

  q.SetSQL("select nome from " + table + " where id = :id and idade = :idade");
  q.GravaParam("id", "2");
  ASSERT_TRUE(q.Execute()) << q.Error();
  ASSERT_EQ(q.RecordCount(), 1);
  EXPECT_EQ(q.FieldByName("nome"), "d'Ávila");

  q.SetSQL("select nome from " + table + " where id = 99");
  EXPECT_TRUE(q.Execute());
  EXPECT_TRUE(q.NotFound());
  EXPECT_EQ(q.RecordCount(), -1);
}

TEST_F(Service, ScriptModeAndFailures) {
  q.SetScript(true);
  q.SetSQL("select 1 as a; select 'x' as b union all select 'y'");
  ASSERT_TRUE(q.Execute()) << q.Error();
  EXPECT_EQ(q.Script_Count(), 2);
  EXPECT_EQ(q.FieldByName("a"), "1");
  q.SetScript_Index(2);
  EXPECT_EQ(q.RecordCount(), 2);
  q.Last();
  EXPECT_EQ(q.FieldByName("b"), "y");

  q.SetScript(false);
  q.SetSQL("select * from no_such_table");
  EXPECT_FALSE(q.Execute());
  EXPECT_GT(q.Erro(), 1);
  EXPECT_NE(q.Error(), "");
}

TEST_F(Service, AFailureMessageReachesErrorLowerCasedWithoutItsDoubleQuotes) {
  // SQLite answers: near "SELEC": syntax error
  q.SetSQL("SELEC 1");
  EXPECT_FALSE(q.Execute());
  EXPECT_EQ(q.Erro(), 102);
  EXPECT_EQ(q.Error(), "near selec: syntax error");
}

#ifndef _WIN32
TEST(ServiceLatin1, AccentedTextColumnsArriveIntact) {
  queryd_test::use_default_token();
  queryd_test::QuerydServer latin1({.arguments = {"--latin1"}});
  TDataXML q;
  q.SetShowErrors(false);
  q.ServidorWS(latin1.host());
  q.SetSQL("select descricao, unidade, 'Ação à vista' as nota from produtos where id = 2");
  for (bool compressed : {false, true}) {
    ASSERT_TRUE(compressed ? q.ExecuteZ() : q.Execute()) << q.Error();
    EXPECT_EQ(q.FieldType("descricao"), "253");
    EXPECT_EQ(q.FieldByName("descricao"), "Soro fisiológico") << compressed;
    EXPECT_EQ(q.FieldByName("unidade"), "FR") << compressed;
    EXPECT_EQ(q.FieldByIndex(2), "Ação à vista") << compressed;
  }
}
#endif

TEST_F(Service, Clock) {
  ASSERT_TRUE(q.IsOnLine());
  double now = q.SYSDate();
  // Days since 30 December 1899 of the local clock; the service runs on this machine.
  std::time_t t = std::time(nullptr);
  double local = 25569.0 + static_cast<double>(t) / 86400.0;
  EXPECT_NEAR(now, local, 1.0);
  EXPECT_EQ(q.Erro(), 0);
}

TEST_F(Service, RequestsCarryTheProductsUserAgent) {
  server().clear_log();
  q.SetSQL("select 1 as a");
  ASSERT_TRUE(q.Execute()) << q.Error();
  std::vector<std::string> log = server().log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("\tUser-Agent: Velacorte/7.7"), std::string::npos) << log[0];
}

namespace {

// The whole reply's time limit of the process, shortened for one test.
class ShortTimeLimit {
public:
  explicit ShortTimeLimit(int seconds) : saved_(ReplyTimeLimit) { ReplyTimeLimit = seconds; }
  ~ShortTimeLimit() { ReplyTimeLimit = saved_; }

private:
  int saved_;
};

const std::string ok_head = "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\n";

} // namespace

TEST_F(Service, AReplyPastItsLimitsFailsTheExecutionWithItsCause) {
  ShortTimeLimit limit(2);
  using queryd_test::ScriptedHttpServer;
  using namespace std::chrono_literals;
  struct Case {
    const char *what;
    std::function<std::unique_ptr<ScriptedHttpServer>()> start; // none: velacorte-queryd
    std::string host;                                           // when no server is started
    const char *cause;
  } cases[] = {
      {"a service that never answers", nullptr, "", "sem resposta após 2 s"},
      {"a reply trickled a byte at a time",
       [] { return std::make_unique<ScriptedHttpServer>(ok_head + "\r\n<", 200ms); }, "",
       "sem resposta após 2 s"},
      {"a declared length past the largest reply",
       [] {
         return std::make_unique<ScriptedHttpServer>(ok_head + "Content-Length: 1073741825\r\n\r\n<", 200ms);
       },
       "", "grande demais"},
      {"a refused port", nullptr, "127.0.0.1:1", "conexão recusada"},
      {"an unknown host", nullptr, "nao-existe.invalid", "host desconhecido"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    std::unique_ptr<ScriptedHttpServer> scripted = c.start ? c.start() : nullptr;
    TDataXML client;
    client.ServidorWS(scripted ? scripted->host() : c.host.empty() ? server().host() : c.host);
    if (!scripted && c.host.empty())
      server().fail("/servicos/wsdl/selectxml/selectxml.php", 1, 0);
    client.SetSQL("select 1 as a");
    std::string raised;
    try {
      client.Execute();
    } catch (const std::exception &e) {
      raised = e.what();
    }
    EXPECT_EQ(raised.rfind("Erro na execução do comando\r\n", 0), 0u) << raised;
    EXPECT_NE(raised.find(c.cause), std::string::npos) << raised;
    EXPECT_EQ(client.Erro(), 1);
    EXPECT_EQ(client.Error(), "Erro na execução do comando");
  }
  // The service goes on answering other requests (each creation above emptied the addresses).
  q.ServidorWS(server().host());
  q.SetSQL("select 1 as a");
  EXPECT_TRUE(q.Execute()) << q.Error();
}

TEST(ReplyBody, IsRefusedPastItsLimitWhateverItDeclares) {
  const std::string body(2000, 'x');
  queryd_test::ScriptedHttpServer undeclared("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body);
  struct Case {
    size_t limit;
    bool refused;
  } cases[] = {{1000, true}, {1999, true}, {2000, false}, {4000, false}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.limit);
    THTTPReqResp http;
    http.BodyLimit = c.limit;
    if (c.refused) {
      try {
        http.Post(undeclared.url(), "a", "<x/>");
        ADD_FAILURE() << "not refused";
      } catch (const Exception &e) {
        EXPECT_NE(std::string(e.what()).find("grande demais"), std::string::npos) << e.what();
      }
    } else {
      EXPECT_EQ(http.Post(undeclared.url(), "a", "<x/>").body, body);
    }
  }
}
