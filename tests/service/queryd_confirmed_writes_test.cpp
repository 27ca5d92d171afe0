// "000" means that what the request wrote is in the database, and a failure means that it is not: on
// SQLite and on the throwaway MariaDB, a request's temporary tables end with it, and a write whose reply
// goes past the size limit is undone before the failure is answered.

#include "queryd_client.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using queryd_test::call;
using queryd_test::codigo;
using queryd_test::first_row_value;
using queryd_test::QuerydServer;

// A database that outlives its servers: an SQLite file of the test's, or the fixture's MariaDB.
class Engine {
public:
  explicit Engine(bool mariadb) : mariadb_(mariadb), folder_("queryd_writes") {}

  const char *name() const { return mariadb_ ? "MariaDB" : "SQLite"; }
  const char *row_key() const {
    return mariadb_ ? "integer primary key auto_increment" : "integer primary key";
  }

  std::unique_ptr<QuerydServer> start(std::vector<std::string> arguments = {}) const {
    queryd_test::Options options{.demo = false};
    if (mariadb_) {
      arguments.insert(arguments.begin(), {"--mariadb", queryd_test::mariadb_socket()});
    } else {
      options.db = folder_ / "notas.db";
    }
    options.arguments = arguments;
    return std::make_unique<QuerydServer>(options);
  }

  // A new empty table `name` (id, texto).
  void create_table(const QuerydServer &server, const std::string &name) const {
    ASSERT_EQ(codigo(call(server, "drop table if exists " + name).reply), "000") << name;
    ASSERT_EQ(codigo(call(server, "create table " + name + " (id " + row_key() + ", texto text)").reply),
              "000")
        << name;
  }

private:
  bool mariadb_;
  queryd_test::ScratchFolder folder_;
};

std::string row_count(const QuerydServer &server, const std::string &table) {
  return first_row_value(call(server, "select count(*) as n from " + table).reply, "N");
}

class QuerydConfirmedWrites : public testing::TestWithParam<bool> {};

INSTANTIATE_TEST_SUITE_P(Engines, QuerydConfirmedWrites, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool> &info) {
                           return std::string(info.param ? "MariaDB" : "SQLite");
                         });

TEST_P(QuerydConfirmedWrites, ATemporaryTableEndsWithItsRequest) {
  Engine engine(GetParam());
  {
    std::unique_ptr<QuerydServer> server = engine.start();
    engine.create_table(*server, "notas_temp");
    // Each call takes the pool's one idle connection: the one that made the temporary table.
    EXPECT_EQ(codigo(call(*server, "create temporary table notas_temp (id integer, texto text)").reply),
              "000");
    for (int i = 0; i < 5; ++i)
      EXPECT_EQ(codigo(call(*server, "insert into notas_temp (texto) values ('confirmada')").reply), "000");
    EXPECT_EQ(row_count(*server, "notas_temp"), "5");
  }
  std::unique_ptr<QuerydServer> again = engine.start();
  EXPECT_EQ(row_count(*again, "notas_temp"), "5")
      << engine.name() << ": the confirmed inserts after a restart";
}

TEST_P(QuerydConfirmedWrites, AWriteWhoseReplyPassesTheLimitIsUndone) {
  Engine engine(GetParam());
  std::unique_ptr<QuerydServer> server = engine.start({"--max-reply", "20000"});
  engine.create_table(*server, "notas_limite");
  engine.create_table(*server, "cem");
  std::string hundred = "insert into cem (texto) values ('1')";
  for (int i = 2; i <= 100; ++i)
    hundred += ",('" + std::to_string(i) + "')";
  ASSERT_EQ(codigo(call(*server, hundred).reply), "000");
  auto insert_100 = [](size_t length, const std::string &tail) {
    return "insert into notas_limite (texto) select '" + std::string(length, 'x') +
           "' from cem where id > 0" + tail;
  };
  struct Case {
    std::string sql;
    std::string options;
    std::string codigo;
    std::string rows_after;
  } cases[] = {
      // The rows alone pass the limit while they are read.
      {insert_100(300, " returning id, texto"), "1:1;script=N", "102", "0"},
      // The rows fit, the reply written from them does not.
      {insert_100(150, " returning id, texto"), "1:1;script=N", "102", "0"},
      {insert_100(150, ""), "1:1;script=N", "000", "100"},
      {"delete from notas_limite returning id, texto", "1:1;script=N", "102", "100"},
      // The insert of a script is undone when a later statement's reply passes the limit.
      {insert_100(150, "") + "; select id, texto from notas_limite", "1:1;script=S", "102", "100"},
      {insert_100(2, " returning id"), "1:1;script=N", "000", "200"},
      {"delete from notas_limite where length(texto) = 2 returning id", "1:1;script=N", "000", "100"},
  };
  for (const Case &c : cases) {
    std::string reply = call(*server, c.sql, c.options).reply;
    EXPECT_EQ(codigo(reply), c.codigo) << engine.name() << ": " << c.sql.substr(0, 60) << "\n"
                                       << reply.substr(0, 400);
    EXPECT_EQ(row_count(*server, "notas_limite"), c.rows_after)
        << engine.name() << ": " << c.sql.substr(0, 60);
  }
}

} // namespace
