// ClienteDataSet against a running velacorte-queryd: a column of every mapped type code, with a value and
// with NULL, plain and compressed.

#include "TClientDataSet.h"
#include "uMySql.h"

#include "Exception.h"
#include "queryd_server.h"
#include "token_file.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

struct Column {
  const char *declared; // the SQL type the service describes
  const char *literal;  // the value inserted
  const char *tipo;     // the type code the service reports
  TFieldType type;      // the field that CriaCampo makes of it
  int size;
  const char *as_string; // the field's AsString after loading
};

const Column columns[] = {
    {"TINYINT", "-128", "1", ftInteger, 0, "-128"},
    {"SMALLINT", "32767", "2", ftInteger, 0, "32767"},
    {"INT", "-2147483648", "3", ftInteger, 0, "-2147483648"},
    {"FLOAT", "0.00006", "4", ftBCD, 4, "0,0001"},
    {"DOUBLE", "1234.5", "5", ftBCD, 4, "1234,5000"},
    {"TIMESTAMP", "'2001-02-03 04:05:06'", "7", ftTimeStamp, 0, "2001-02-03 04:05:06"},
    {"BIGINT", "9223372036854775807", "8", ftLargeint, 0, "9223372036854775807"},
    {"MEDIUMINT", "-8388608", "9", ftLargeint, 0, "-8388608"},
    {"DATE", "'2024-02-29'", "10", ftDate, 0, "2024-02-29"},
    {"TIME", "'23:59:59'", "11", ftTime, 0, "23:59:59"},
    {"DATETIME", "'2024-01-31 08:09:10'", "12", ftDateTime, 0, "2024-01-31 08:09:10"},
    {"DECIMAL(12,2)", "-98765.43", "246", ftBCD, 4, "-98765,4300"},
    {"BLOB", "X'00FF80415A0A'", "252", ftBlob, 0,
     std::string_view("\0\xFF\x80"
                      "AZ\n",
                      6)
         .data()},
    {"VARCHAR(8)", "'Promoção'", "253", ftString, 8, "Promoção"},
    {"CHAR(3)", "'abcde'", "254", ftString, 3, "abc"},
};

class ClienteDataSetService : public ::testing::Test {
protected:
  static const queryd_test::QuerydServer &server() {
    static const queryd_test::QuerydServer running;
    return running;
  }

  std::string host = server().host();
  std::string table = "cds" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());

  void SetUp() override { queryd_test::use_default_token(); }

  void run(const std::string &sql) {
    TDataXML q;
    q.ServidorWS(host);
    q.SetSQL(sql);
    ASSERT_TRUE(q.Execute()) << sql << ": " << q.Error();
  }
};

TEST_F(ClienteDataSetService, EveryMappedTypeCode) {
  std::string create = "create table " + table + " (ID integer", values;
  for (size_t i = 0; i < std::size(columns); ++i) {
    create += ", C" + std::to_string(i) + " " + columns[i].declared;
    values += std::string(", ") + columns[i].literal;
  }
  run(create + ")");
  run("insert into " + table + " values (1" + values + ")");
  run("insert into " + table + " (ID) values (2)");

  for (bool compress : {false, true}) {
    TClientDataSet data;
    TDataXML host_object;
    ASSERT_TRUE(host_object.ClienteDataSet(data, "select * from " + table + " order by ID", table, host, 0,
                                           compress));
    ASSERT_EQ(data.FieldDefs().Count(), std::size(columns) + 1);
    ASSERT_EQ(data.RecordCount(), 2u);
    EXPECT_EQ(data.RecNo(), 1u);
    EXPECT_EQ(data.FieldByName("id").AsInteger(), 1);
    for (size_t i = 0; i < std::size(columns); ++i) {
      const Column &c = columns[i];
      const TFieldDef &def = data.FieldDefs()[i + 1];
      EXPECT_EQ(def.Name(), "C" + std::to_string(i)) << c.declared;
      EXPECT_EQ(def.DataType(), c.type) << c.declared << " (" << c.tipo << ")";
      EXPECT_EQ(def.Size(), c.size) << c.declared;
      TField &field = data.FieldByName("c" + std::to_string(i));
      std::string expected = c.type == ftBlob ? std::string("\0\xFF\x80"
                                                            "AZ\n",
                                                            6)
                                              : c.as_string;
      EXPECT_EQ(field.AsString(), expected) << c.declared << (compress ? ", compressed" : "");
    }
    data.Next();
    EXPECT_EQ(data.FieldByName("ID").AsInteger(), 2);
    for (size_t i = 0; i < std::size(columns); ++i)
      EXPECT_TRUE(data.Fields(i + 1).IsNull()) << columns[i].declared;
  }
}

TEST_F(ClienteDataSetService, FailuresReachTheCaller) {
  run("create table " + table + " (N integer, V varchar(10))");
  run("insert into " + table + " values (1, 'a')");
  // The database keeps a text in an integer column; the service still reports the column as integer.
  run("insert into " + table + " values ('três', 'b')");
  struct Case {
    std::string sql;
    const char *message_start;
  };
  const Case cases[] = {
      {"select * from " + table + " where N = 99", "DataXML não foi criado ou SQL não retornou registros."},
      {"select * from tabela_que_nao_existe", "DataXML não foi criado ou SQL não retornou registros."},
      {"select N, V as n from " + table, "Nome de campo duplicado: N"},
      {"select N from " + table + " order by V", "'três' não é um valor válido (campo N, Integer)"},
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

} // namespace
