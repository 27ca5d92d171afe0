// The client against a running velacorte-queryd with the demo catalogue.

#include "uMySql.h"

#include "queryd_server.h"
#include "token_file.h"

#include <gtest/gtest.h>

#include <chrono>

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

TEST_F(Service, Clock) {
  ASSERT_TRUE(q.IsOnLine());
  double now = q.SYSDate();
  // Days since 30 December 1899 of the local clock; the service runs on this machine.
  std::time_t t = std::time(nullptr);
  double local = 25569.0 + static_cast<double>(t) / 86400.0;
  EXPECT_NEAR(now, local, 1.0);
  EXPECT_EQ(q.Erro(), 0);
}
