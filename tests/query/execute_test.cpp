#include "canned_reply.h"
#include "reply_text.h"
#include "uMySql.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>

namespace {

const std::string default_url = "http://" VELACORTE_SERVICE_HOST "/servicos/wsdl/selectxml/selectxml.php";

std::string two_rows() {
  return reply(result_set({{"ARQUIVO", "253"}, {"ID", "3", "11"}}, {{"vela.dll", "7"}, {"Ação.exe", "8"}}));
}

std::string compressed(const std::string &bytes) {
  uLongf size = compressBound(static_cast<uLong>(bytes.size()));
  std::string out(size, '\0');
  compress(reinterpret_cast<Bytef *>(out.data()), &size, reinterpret_cast<const Bytef *>(bytes.data()),
           static_cast<uLong>(bytes.size()));
  out.resize(size);
  return base64::encode(out);
}

} // namespace

TEST(TDataXML, StartsAndClosesInTheInitialState) {
  CannedService service;
  service.answer = two_rows();
  TDataXML q;
  auto expect_initial = [&] {
    EXPECT_EQ(q.RecordCount(), -1);
    EXPECT_EQ(q.Position(), 0);
    EXPECT_EQ(q.Erro(), 0);
    EXPECT_EQ(q.Error(), "");
    EXPECT_EQ(q.LastID(), 0);
    EXPECT_EQ(q.Script_Count(), 0);
    EXPECT_EQ(q.Script_Index(), 0);
    EXPECT_FALSE(q.NotFound());
    EXPECT_FALSE(q.Script());
    EXPECT_EQ(q.SQL(), "");
    EXPECT_TRUE(q.EOF());
  };
  expect_initial();
  EXPECT_TRUE(q.ShowErrors());
  q.SetShowErrors(false);
  q.SetScript(true);
  q.SetSQL("select 1");
  q.GravaParam("a", "1");
  q.Next();
  q.Next(); // error 5, not raised
  ASSERT_EQ(q.Erro(), 5);
  q.Close();
  expect_initial();
  EXPECT_EQ(q.LeParam("a"), "");
  EXPECT_EQ(q.ParamCount(), 1); // kept by Close
  EXPECT_FALSE(q.ShowErrors());
}

TEST(TDataXML, SendsTheOptionsStringInItsOrder) {
  struct Case {
    const char *rede, *ms, *msu, *msp;
    bool script, zip;
    const char *options;
  } cases[] = {
      {"", "", "", "", false, false, "1:1;script=N"},
      {"", "", "", "", true, true, "1:1;script=S;zip=S"},
      {"42", "db1", "ana", "pw", false, true, "1:1;rede_id=42;ms=db1;msu=ana;msp=pw;script=N;zip=S"},
      {"", "db1", "", "", true, false, "1:1;ms=db1;script=S"},
      {"a;b=c", "", " ana ", "", false, false, "1:1;rede_id=a;b=c;msu= ana ;script=N"},
  };
  CannedService service;
  for (const Case &c : cases) {
    TDataXML q;
    q.SetShowErrors(false);
    q.SetRedeID(c.rede);
    q.ServidorMS(c.ms, c.msu, c.msp);
    q.SetScript(c.script);
    q.SetSQL("select 1");
    service.calls.clear();
    if (c.zip)
      q.ExecuteZ();
    else
      q.Execute();
    ASSERT_EQ(service.calls.size(), 1u);
    EXPECT_EQ(service.calls[0].options, c.options);
    EXPECT_EQ(service.calls[0].url, default_url);
    EXPECT_EQ(service.calls[0].senha, reply_text::todays_password());
    EXPECT_EQ(service.calls[0].sql, "select 1");
  }
}

TEST(TDataXML, ServidorMSKeepsAnEarlierUserAndPasswordForBlankOnes) {
  CannedService service;
  service.answer = two_rows();
  TDataXML q;
  EXPECT_FALSE(q.ServidorMS("db1", "ana", "pw"));
  EXPECT_FALSE(q.ServidorMS("", "  ", ""));
  q.Execute();
  EXPECT_EQ(service.calls.back().options, "1:1;msu=ana;msp=pw;script=N");
}

TEST(TDataXML, ServidorWSPointsEveryClientAtTheHostUntilTheNextCreation) {
  CannedService service;
  service.answer = two_rows();
  TDataXML first;
  EXPECT_TRUE(first.ServidorWS("127.0.0.1:8080"));
  EXPECT_EQ(WSDLPadrao, "http://127.0.0.1:8080/servicos/wsdl/selectxml/selectxml.php?wsdl");
  first.Execute();
  EXPECT_EQ(service.calls.back().url, "http://127.0.0.1:8080/servicos/wsdl/selectxml/selectxml.php");
  TDataXML second;
  first.Execute();
  EXPECT_EQ(service.calls.back().url, default_url);
}

TEST(TDataXML, EachOutcomeOfAnExecution) {
  const std::string rows = result_set({{"ID", "3"}}, {{"1"}, {"2"}, {"3"}});
  struct Case {
    const char *what;
    std::string answer;
    bool result;
    int32_t record_count, position, erro;
    bool not_found;
    const char *error;
  } cases[] = {
      {"success", reply(rows), true, 3, 1, 0, false, ""},
      {"no rows", reply("", "<codigo>003</codigo><mensagem></mensagem>"), true, -1, 0, 0, true, ""},
      {"both codes count as success", reply(rows, "<codigo>003</codigo><codigo>000</codigo>"), true, 3, 1, 0,
       false, ""},
      {"failure status", reply("", "<codigo>1146</codigo><mensagem>Table \"X\" doesn't exist</mensagem>"),
       false, -1, 6, 1146, false, "table x doesn't exist"},
      {"failure reply without mensagem", reply("", "<codigo>12</codigo>"), false, -1, 6, 1, false,
       "Erro na execução do comando"},
      {"status without a number", reply("", "<codigo></codigo>"), false, -1, 6, 1, false,
       "Erro na execução do comando"},
      {"status too large", reply("", "<codigo>99999999999</codigo><mensagem>m</mensagem>"), false, -1, 6, 1,
       false, "Erro na execução do comando"},
      {"no status", reply(rows, ""), false, 5, 6, 1, false, "Erro na execução do comando"},
      {"not XML", "Internal Server Error <codigo>000</codigo>", false, 5, 6, 1, false,
       "Erro na execução do comando"},
      {"truncated", reply(rows).substr(0, 90), false, 5, 6, 1, false, "Erro na execução do comando"},
      {"empty", "", false, 5, 6, 1, false, "Erro na execução do comando"},
      {"row count not a number", reply("<select rows=\"x\"/><fields/>"), false, 5, 6, 1, false,
       "Erro na execução do comando"},
      {"row count too large", reply("<select rows=\"2147483648\"/><fields/>"), false, 5, 6, 1, false,
       "Erro na execução do comando"},
      {"no row count", reply("<select/><fields/>"), false, 5, 6, 1, false, "Erro na execução do comando"},
      {"negative row count", reply("<select rows=\"-5\"/><fields/>"), false, 5, 6, 1, false,
       "Erro na execução do comando"},
      {"signed row count", reply("<select rows=\"+5\"/><fields/>"), false, 5, 6, 1, false,
       "Erro na execução do comando"},
      {"invalid UTF-8", reply(result_set({{"ID", "3"}}, {{"\xC3("}})), false, 5, 6, 1, false,
       "Erro na execução do comando"},
      {"Latin-1 in place of UTF-8", reply(result_set({{"ID", "3"}}, {{"A\xE7\xE3o"}})), false, 5, 6, 1, false,
       "Erro na execução do comando"},
  };
  CannedService service;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    TDataXML q;
    q.SetShowErrors(false);
    // Leave a state behind that an outcome may or may not change.
    service.answer = reply(result_set({{"ID", "3"}}, {{"1"}, {"2"}, {"3"}, {"4"}, {"5"}}));
    ASSERT_TRUE(q.Execute());
    for (int i = 0; i < 5; ++i)
      q.Next();
    service.answer = c.answer;
    EXPECT_EQ(q.Execute(), c.result);
    EXPECT_EQ(q.RecordCount(), c.record_count);
    EXPECT_EQ(q.Position(), c.position);
    EXPECT_EQ(q.Erro(), c.erro);
    EXPECT_EQ(q.Error(), c.error);
    EXPECT_EQ(q.NotFound(), c.not_found);
  }
}

TEST(TDataXML, AFailureRaisesItsCauseWhenShowErrorsIsOn) {
  CannedService service;
  TDataXML q;
  service.failures = 1;
  try {
    q.Execute();
    FAIL() << "no exception";
  } catch (const Exception &e) {
    EXPECT_EQ(std::string(e.what()), "Erro na execução do comando\r\nNão foi possível conectar");
  }
  EXPECT_EQ(q.Erro(), 1);
  // A failure status is stored, never raised, and a later success clears nothing.
  service.answer = reply("", "<codigo>5</codigo><mensagem>Acesso NEGADO</mensagem>");
  EXPECT_FALSE(q.Execute());
  EXPECT_EQ(q.Erro(), 5);
  EXPECT_EQ(q.Error(), "acesso negado");
  service.answer = two_rows();
  EXPECT_TRUE(q.Execute());
  EXPECT_EQ(q.Erro(), 5);
}

TEST(TDataXML, ReadsLastIDAfterAnInsertOnly) {
  struct Case {
    const char *sql;
    const char *last_id;
    bool result;
    int64_t expected;
  } cases[] = {
      {"  insert into t values (1)", "<last_id>9000000000</last_id>", true, 9000000000},
      {"INSERT into t values (1)", "<last_id></last_id>", true, 0},
      {"replace into t values (1)", "<last_id>5</last_id>", true, 0},
      {"insert into t values (1)", "", false, 0},
      {"insert into t values (1)", "<last_id>-5</last_id>", false, 0},
      {"insert into t values (1)", "<last_id>x</last_id>", false, 0},
  };
  CannedService service;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.sql + std::string(c.last_id));
    TDataXML q;
    q.SetShowErrors(false);
    q.SetSQL(c.sql);
    service.answer = reply("<select rows=\"0\"/><fields/>",
                           "<codigo>000</codigo><mensagem></mensagem>" + std::string(c.last_id));
    EXPECT_EQ(q.Execute(), c.result);
    EXPECT_EQ(q.LastID(), c.expected);
  }
}

TEST(TDataXML, ParametersAreOrderedByLengthAndSubstitutedIntoSQL) {
  CannedService service;
  service.answer = two_rows();
  TDataXML q;
  q.GravaParam("idade", "30");
  q.GravaParam("id", "7");
  q.GravaParam("NOME", "");
  q.GravaParam("Id", "d'Ávila");
  EXPECT_EQ(q.ParamCount(), 3);
  EXPECT_EQ(q.LeIndex(0), "NOME");  // NOME=
  EXPECT_EQ(q.LeIndex(1), "idade"); // idade=30
  EXPECT_EQ(q.LeIndex(2), "Id");    // Id=d'Ávila: ten characters
  EXPECT_EQ(q.LeParam("nome"), " ");
  EXPECT_EQ(q.LeParam("ID"), "d'Ávila");
  EXPECT_EQ(q.LeParam("outro"), "");
  EXPECT_THROW(q.LeIndex(3), Exception);
  EXPECT_THROW(q.LeIndex(-1), Exception);

  q.SetSQL("select * from c where id = :ID and idade > :idade and nome = :nome");
  q.Execute();
  const std::string sent = "select * from c where id = 'd''Ávila' and idade > '30' and nome = ''";
  EXPECT_EQ(service.calls.back().sql, sent);
  EXPECT_EQ(q.SQL(), sent);
  q.GravaParam("id", "8");
  q.Execute();
  EXPECT_EQ(service.calls.back().sql, sent); // the placeholders are gone
}

TEST(TDataXML, ExecuteZInflatesTheReply) {
  CannedService service;
  TDataXML q;
  q.SetShowErrors(false);
  service.answer = compressed(two_rows());
  ASSERT_TRUE(q.ExecuteZ());
  EXPECT_EQ(q.RecordCount(), 2);
  EXPECT_EQ(q.FieldByName("arquivo"), "vela.dll");

  std::string z = compressed(two_rows());
  for (const std::string &bad : {z.substr(0, z.size() / 2), std::string("!!!!"), base64::encode("not zlib"),
                                 compressed("<retorno>"), two_rows()}) {
    service.answer = bad;
    EXPECT_FALSE(q.ExecuteZ());
    EXPECT_EQ(q.Erro(), 1);
  }
}

TEST(TDataXML, ScriptModeChoosesAResultSet) {
  CannedService service;
  service.answer =
      reply("<script>" + result_set({{"A", "3"}}, {{"1"}, {"2"}}) + "</script><script>" +
            result_set({{"B", "253"}, {"C", "3"}}, {{"x", "10"}, {"y", "20"}, {"z", "30"}}) + "</script>");
  TDataXML q;
  q.SetScript_Index(1); // nothing loaded: no change
  EXPECT_EQ(q.Script_Index(), 0);
  q.SetScript(true);
  ASSERT_TRUE(q.Execute());
  EXPECT_EQ(q.Script_Count(), 2);
  EXPECT_EQ(q.Script_Index(), 1);
  EXPECT_EQ(q.RecordCount(), 2);
  EXPECT_EQ(q.FieldByName("a"), "1");
  q.Next();
  q.SetScript_Index(2);
  EXPECT_EQ(q.Position(), 1);
  EXPECT_EQ(q.RecordCount(), 3);
  EXPECT_EQ(q.FieldName(1), "C");
  q.Last();
  EXPECT_EQ(q.FieldByName("b"), "z");
  // Values outside 1 to Script_Count are refused and change nothing.
  for (int32_t refused : {3, 0, -1, INT32_MIN}) {
    q.SetScript_Index(refused);
    EXPECT_EQ(q.Script_Index(), 2);
    EXPECT_EQ(q.Position(), 3);
    EXPECT_EQ(q.RecordCount(), 3);
  }

  service.answer = two_rows(); // script mode, but no script element
  q.SetShowErrors(false);
  EXPECT_FALSE(q.Execute());
  EXPECT_EQ(q.Erro(), 0);
  service.answer = reply("<script><select/></script>"); // the first set fails to choose
  EXPECT_FALSE(q.Execute());
  EXPECT_EQ(q.Erro(), 1);
}

TEST(TDataXML, AScriptSetWithABadRowCountChangesNothing) {
  CannedService service;
  service.answer = reply("<script>" + result_set({{"A", "3"}}, {{"1"}, {"2"}}) +
                         "</script><script><select rows=\"-3\"/><fields/></script>"
                         "<script><select rows=\"x\"/><fields/></script>");
  TDataXML q;
  q.SetScript(true);
  ASSERT_TRUE(q.Execute());
  q.Next();
  for (int32_t index : {2, 3}) {
    SCOPED_TRACE(index);
    EXPECT_THROW(q.SetScript_Index(index), Exception);
    EXPECT_EQ(q.Script_Index(), 1);
    EXPECT_EQ(q.Position(), 2);
    EXPECT_EQ(q.RecordCount(), 2);
  }
  service.answer = reply("<script><select rows=\"-1\"/><fields/></script>");
  q.SetShowErrors(false);
  EXPECT_FALSE(q.Execute());
  EXPECT_EQ(q.Erro(), 1);
}

TEST(TDataXML, SalvarXMLSavesTheParsedReply) {
  CannedService service;
  service.answer = two_rows();
  std::filesystem::path folder =
      std::filesystem::temp_directory_path() /
      ("dataxml-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
       std::to_string(reinterpret_cast<uintptr_t>(&service)));
  std::filesystem::remove_all(folder);
  TDataXML q;
  q.SetSalvarXML(true);
  const std::string path = (folder / "a" / "b").string() + "/";
  q.SetPathXML(path);
  ASSERT_TRUE(q.Execute());
  EXPECT_EQ(q.PathXML(), path + "DataXML.xml");
  std::string text;
  {
    std::ifstream saved(folder / "a" / "b" / "DataXML.xml", std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(saved), std::istreambuf_iterator<char>());
  }
  EXPECT_NE(text.find("<codigo>000</codigo>"), std::string::npos);

  // The saved reply loads again as it was.
  service.answer = text;
  q.SetSalvarXML(false);
  ASSERT_TRUE(q.Execute());
  q.Next();
  EXPECT_EQ(q.FieldByName("arquivo"), "Ação.exe");

  // A bare file name has no folder: nothing is saved.
  q.SetSalvarXML(true);
  q.SetPathXML("DataXML-bare.xml");
  ASSERT_TRUE(q.Execute());
  EXPECT_FALSE(std::filesystem::exists("DataXML-bare.xml"));
  std::filesystem::remove_all(folder);
}

TEST(TDataXML, IsOnLineReadsTheServerClock) {
  struct Case {
    const char *answer;
    int failures;
    bool online;
    double time;
  } cases[] = {
      {"<row><AGORA>2024-02-29 06:00:00</AGORA></row>", 0, true, 45351.25},
      {"<row><AGORA>2024-02-29 06:00:00</AGORA></row>", 1, true, 45351.25},
      {"<row><AGORA>2024-02-29 06:00:00</AGORA></row>", 4, false, 0}, // both calls, twice
      {"<row><agora>2024-02-29 06:00:00</agora></row>", 0, false, 0},
      {"<row><AGORA>2024-02-29 6:00:00</AGORA></row>", 0, false, 0},
      {"</AGORA><AGORA>2024-02-29 06:00:00", 0, false, 0},
  };
  CannedService service;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.answer);
    TDataXML q;
    q.SetScript(true);
    q.SetRedeID("9");
    q.SetShowErrors(false);
    service.answer = c.answer;
    service.failures = c.failures;
    service.calls.clear();
    EXPECT_EQ(q.IsOnLine(), c.online);
    EXPECT_EQ(service.calls.back().options, "");
    EXPECT_EQ(service.calls.back().sql, "select NOW() 'AGORA'");
    EXPECT_EQ(q.SYSDate(), c.time);
    EXPECT_EQ(q.Erro(), c.online ? 0 : 9);
  }
}

TEST(TDataXML, SYSDateFailures) {
  CannedService service;
  TDataXML q;
  service.failures = 2;
  try {
    q.SYSDate();
    FAIL() << "no exception";
  } catch (const Exception &e) {
    EXPECT_EQ(std::string(e.what()), "Erro de conexão com o servidor");
  }
  EXPECT_EQ(q.Erro(), 9);
  service.answer = "<AGORA>2024-02-30 06:00:00</AGORA>"; // 19 characters, no such day
  EXPECT_THROW(q.IsOnLine(), Exception);
  service.answer = "<AGORA>2024-0x-01 06:00:00</AGORA>";
  EXPECT_THROW(q.SYSDate(), Exception);
}
