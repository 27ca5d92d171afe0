// ClienteDataSet against a running velacorte-queryd on each of its backends (SQLite, and natively also
// a MariaDB server whose socket the test command gives in VELACORTE_MARIADB_SOCKET): a column of every
// mapped type code and of MariaDB's types besides, with a value and with NULL, plain and compressed.

#include "TClientDataSet.h"
#include "uMySql.h"

#include "Exception.h"
#include "queryd_server.h"
#include "token_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace {

enum class Backend { sqlite, mariadb };

struct Column {
  const char *declared; // the SQL type the service describes
  const char *literal;  // the value inserted
  const char *tipo;     // the type code the service reports
  TFieldType type;      // the field that CriaCampo makes of it
  int size;             // of a text field: SQLite gives the declared characters, MariaDB (utf8mb4) bytes
  int mariadb_size;
  std::string_view as_string; // the field's AsString after loading
  bool mariadb_only = false;  // a type that SQLite cannot give
};

constexpr std::string_view blob_bytes("\0\xFF\x80"
                                      "AZ\n",
                                      6);

// MariaDB's codes 13 (YEAR) and 16 (BIT) are not in the type-code table: they load as text fields of
// the column's size. BIT values arrive as their number, ENUM and SET as text of code 254, TEXT and JSON
// as code 252 (their bytes in a blob field).
const Column columns[] = {
    {"TINYINT", "-128", "1", ftInteger, 0, 0, "-128"},
    {"SMALLINT", "32767", "2", ftInteger, 0, 0, "32767"},
    {"INT", "-2147483648", "3", ftInteger, 0, 0, "-2147483648"},
    {"FLOAT", "0.00006", "4", ftBCD, 4, 4, "0,0001"},
    {"DOUBLE", "1234.5", "5", ftBCD, 4, 4, "1234,5000"},
    {"TIMESTAMP NULL", "'2001-02-03 04:05:06'", "7", ftTimeStamp, 0, 0, "2001-02-03 04:05:06"},
    {"BIGINT", "9223372036854775807", "8", ftLargeint, 0, 0, "9223372036854775807"},
    {"MEDIUMINT", "-8388608", "9", ftLargeint, 0, 0, "-8388608"},
    {"DATE", "'2024-02-29'", "10", ftDate, 0, 0, "2024-02-29"},
    {"TIME", "'23:59:59'", "11", ftTime, 0, 0, "23:59:59"},
    {"DATETIME", "'2024-01-31 08:09:10'", "12", ftDateTime, 0, 0, "2024-01-31 08:09:10"},
    {"DECIMAL(12,2)", "-98765.43", "246", ftBCD, 4, 4, "-98765,4300"},
    {"DECIMAL(18,4)", "99999.9999", "246", ftBCD, 4, 4, "99999,9999"},
    {"BLOB", "X'00FF80415A0A'", "252", ftBlob, 0, 0, blob_bytes},
    {"TEXT", "'Analgésico \"forte\"'", "252", ftBlob, 0, 0, "Analgésico \"forte\""},
    {"VARCHAR(8)", "'Promoção'", "253", ftString, 8, 32, "Promoção"},
    {"CHAR(3)", "'abc'", "254", ftString, 3, 12, "abc"},
    {"YEAR", "2024", "13", ftString, 0, 4, "2024", true},
    {"BIGINT UNSIGNED", "9223372036854775807", "8", ftLargeint, 0, 0, "9223372036854775807", true},
    {"BIT(8)", "b'101'", "16", ftString, 0, 8, "5", true},
    {"ENUM('a','ção')", "'ção'", "254", ftString, 0, 12, "ção", true},
    {"SET('x','y')", "'x,y'", "254", ftString, 0, 12, "x,y", true},
    {"JSON", "'{\"a\": [1, \"é\"]}'", "252", ftBlob, 0, 0, "{\"a\": [1, \"é\"]}", true},
};

std::string backend_name(const ::testing::TestParamInfo<Backend> &info) {
  return info.param == Backend::sqlite ? "SQLite" : "MariaDB";
}

class ClienteDataSetService : public ::testing::TestWithParam<Backend> {
protected:
  static const queryd_test::QuerydServer &server(Backend backend) {
    static const queryd_test::QuerydServer sqlite;
    if (backend == Backend::sqlite)
      return sqlite;
#ifdef _WIN32
    throw Exception("MariaDB: only the native tests start a service on it");
#else
    static std::unique_ptr<queryd_test::QuerydServer> mariadb;
    if (!mariadb) {
      const char *socket = std::getenv("VELACORTE_MARIADB_SOCKET");
      if (!socket || !*socket)
        throw Exception("VELACORTE_MARIADB_SOCKET: not set; the test command names the fixture's socket");
      mariadb = std::make_unique<queryd_test::QuerydServer>(
          queryd_test::Options{.demo = false, .arguments = {"--mariadb", socket}});
    }
    return *mariadb;
#endif
  }

  Backend backend = GetParam();
  std::string host = server(backend).host();
  std::string table = "cds" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());

  void SetUp() override {
    queryd_test::use_default_token();
  }

  void run(const std::string &sql) {
    TDataXML q;
    q.ServidorWS(host);
    q.SetSQL(sql);
    ASSERT_TRUE(q.Execute()) << sql << ": " << q.Error();
  }

  std::vector<const Column *> backend_columns() const {
    std::vector<const Column *> chosen;
    for (const Column &c : columns)
      if (backend == Backend::mariadb || !c.mariadb_only)
        chosen.push_back(&c);
    return chosen;
  }
};

TEST_P(ClienteDataSetService, EveryMappedTypeCode) {
  const std::vector<const Column *> chosen = backend_columns();
  std::string create = "create table " + table + " (ID integer", values;
  for (size_t i = 0; i < chosen.size(); ++i) {
    create += ", C" + std::to_string(i) + " " + chosen[i]->declared;
    values += std::string(", ") + chosen[i]->literal;
  }
  run(create + ")");
  run("insert into " + table + " values (1" + values + ")");
  run("insert into " + table + " (ID) values (2)");

  for (bool compress : {false, true}) {
    TClientDataSet data;
    TDataXML host_object;
    ASSERT_TRUE(host_object.ClienteDataSet(data, "select * from " + table + " order by ID", table, host, 0,
                                           compress));
    ASSERT_EQ(data.FieldDefs().Count(), chosen.size() + 1);
    ASSERT_EQ(data.RecordCount(), 2u);
    EXPECT_EQ(data.RecNo(), 1u);
    EXPECT_EQ(data.FieldByName("id").AsInteger(), 1);
    for (size_t i = 0; i < chosen.size(); ++i) {
      const Column &c = *chosen[i];
      const TFieldDef &def = data.FieldDefs()[i + 1];
      EXPECT_EQ(def.Name(), "C" + std::to_string(i)) << c.declared;
      EXPECT_EQ(def.DataType(), c.type) << c.declared << " (" << c.tipo << ")";
      EXPECT_EQ(def.Size(), backend == Backend::mariadb ? c.mariadb_size : c.size) << c.declared;
      TField &field = data.FieldByName("c" + std::to_string(i));
      EXPECT_EQ(field.AsString(), c.as_string) << c.declared << (compress ? ", compressed" : "");
    }
    data.Next();
    EXPECT_EQ(data.FieldByName("ID").AsInteger(), 2);
    for (size_t i = 0; i < chosen.size(); ++i)
      EXPECT_TRUE(data.Fields(i + 1).IsNull()) << chosen[i]->declared;
  }

  // The type codes as the service reports them.
  TDataXML q;
  q.ServidorWS(host);
  q.SetSQL("select * from " + table + " where ID = 1");
  ASSERT_TRUE(q.Execute()) << q.Error();
  for (size_t i = 0; i < chosen.size(); ++i)
    EXPECT_EQ(q.FieldType("C" + std::to_string(i)), chosen[i]->tipo) << chosen[i]->declared;
}

TEST_P(ClienteDataSetService, FailuresReachTheCaller) {
  // A value that its field cannot take: SQLite keeps a text in an integer column and still reports the
  // column as integer; MariaDB's BIGINT UNSIGNED (code 8, a 64-bit signed field) goes past its range.
  const bool sqlite = backend == Backend::sqlite;
  run("create table " + table + " (N integer, V varchar(10), U " + (sqlite ? "integer" : "bigint unsigned") +
      ")");
  run("insert into " + table + " values (1, 'a', 1)");
  run("insert into " + table + " values (2, 'b', " + (sqlite ? "'três'" : "18446744073709551615") + ")");
  struct Case {
    std::string sql;
    std::string message_start;
  };
  const Case cases[] = {
      {"select * from " + table + " where N = 99", "DataXML não foi criado ou SQL não retornou registros."},
      {"select * from tabela_que_nao_existe", "DataXML não foi criado ou SQL não retornou registros."},
      {"select N, V as n from " + table, "Nome de campo duplicado: N"},
      {"select U from " + table + " order by N",
       sqlite ? "'três' não é um valor válido (campo U, Integer)"
              : "'18446744073709551615' está fora do intervalo (campo U, Largeint)"},
  };
  for (const Case &c : cases) {
    TClientDataSet data;
    TDataXML host_object;
    try {
      host_object.ClienteDataSet(data, c.sql, "", host, 0, false);
      ADD_FAILURE() << c.sql << ": nothing raised";
    } catch (const Exception &e) {
      EXPECT_EQ(std::string(e.what()).rfind(c.message_start, 0), 0u) << c.sql << ": " << e.what();
    }
  }
}

#ifdef _WIN32
INSTANTIATE_TEST_SUITE_P(Backends, ClienteDataSetService, ::testing::Values(Backend::sqlite), backend_name);
#else
INSTANTIATE_TEST_SUITE_P(Backends, ClienteDataSetService,
                         ::testing::Values(Backend::sqlite, Backend::mariadb), backend_name);
#endif

} // namespace
