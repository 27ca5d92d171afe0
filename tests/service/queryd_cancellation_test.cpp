// Statements that the statement limit must reach wherever they run: inside one long SQLite function
// call, or behind a client's own time limit on MariaDB.

#include "queryd_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace {

using namespace std::chrono_literals;
using queryd_test::call;
using queryd_test::codigo;
using queryd_test::first_row_value;
using queryd_test::mensagem;
using queryd_test::QuerydServer;
using Clock = std::chrono::steady_clock;

TEST(QuerydCancellation, InstrTakesLinearTimeAndKeepsSqlitesMeaning) {
  QuerydServer server({.demo = false, .arguments = {"--statement-timeout", "2"}});
  struct Case {
    const char *sql;
    const char *position; // "" for NULL
  } cases[] = {
      {"instr('abcabc', 'ca')", "3"}, {"instr('ação', 'o')", "4"}, {"instr(X'00410042', X'42')", "4"},
      {"instr('abc', '')", "1"},      {"instr('abc', 'z')", "0"},  {"instr(12345, 34)", "3"},
      {"instr(null, 'a')", ""},       {"instr('a', null)", ""},    {"instr('', '')", "1"},
  };
  for (const Case &c : cases) {
    std::string reply = call(server, std::string("select ") + c.sql + " as p").reply;
    EXPECT_EQ(first_row_value(reply, "P"), c.position) << c.sql << "\n" << reply;
  }
  Clock::time_point start = Clock::now();
  std::string reply =
      call(server, "select instr(printf('%.*c', 1000000, 'a'), printf('%.*c', 200000, 'a') || 'b') as p")
          .reply;
  EXPECT_EQ(first_row_value(reply, "P"), "0") << reply;
  EXPECT_LT(Clock::now() - start, 2000ms) << "a search that SQLite's own instr makes quadratic";
}

TEST(QuerydCancellation, AStatementCannotLiftTheTimeLimitOnMariadb) {
  QuerydServer server(
      {.demo = false, .arguments = {"--mariadb", queryd_test::mariadb_socket(), "--statement-timeout", "1"}});
  for (const char *sql : {"SET STATEMENT max_statement_time = 0 FOR select sleep(3) as s",
                          "set /* ! */ statement max_statement_time=0 for select sleep(3) as s",
                          "/*!SET STATEMENT max_statement_time=0 FOR*/ select sleep(3) as s"}) {
    std::string reply = call(server, sql).reply;
    EXPECT_EQ(codigo(reply), "102") << sql;
    EXPECT_EQ(mensagem(reply).rfind("SET STATEMENT recusado", 0), 0u) << sql << "\n" << reply;
  }
  EXPECT_EQ(codigo(call(server, "select 'SET STATEMENT' as t").reply), "000");
}

} // namespace
