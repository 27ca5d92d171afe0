// ClienteDataSet against replies served in-process: how each column and value of a reply lands in
// the table, where the statement goes, and every failure raised.

#include "TClientDataSet.h"
#include "base64.h"
#include "uMySql.h"
#include "uwsselectxml.h"

#include "Exception.h"

#include <zlib.h>

#include <algorithm>

#include <gtest/gtest.h>

namespace {

struct Column {
  std::string name, tipo, tamanho;
};

// A "000" reply as the service writes it: 253 and 254 values in base64 (UTF-8 text with a byte-order
// mark when not ASCII), 252 values in base64 twice, the others plain.
std::string reply(const std::vector<Column> &columns, const std::vector<std::vector<std::string>> &rows) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<retorno><status><codigo>000</codigo>"
                    "<mensagem></mensagem></status><select rows=\"" +
                    std::to_string(rows.size()) + "\">";
  for (const auto &row : rows) {
    xml += "<row>";
    for (size_t i = 0; i < columns.size(); ++i) {
      std::string value = row[i];
      const std::string &tipo = columns[i].tipo;
      bool ascii = std::all_of(value.begin(), value.end(), [](char c) { return c >= 0; });
      if (!value.empty() && (tipo == "253" || tipo == "254"))
        value = base64::encode(ascii ? value : "\xEF\xBB\xBF" + value);
      else if (!value.empty() && tipo == "252")
        value = base64::encode(base64::encode(value));
      xml += "<" + columns[i].name + ">" + value + "</" + columns[i].name + ">";
    }
    xml += "</row>";
  }
  xml += "</select><fields>";
  for (const Column &c : columns)
    xml += "<" + c.name + " tipo=\"" + c.tipo + "\" tamanho=\"" + c.tamanho + "\"/>";
  return xml + "</fields></retorno>";
}

const std::string no_rows =
    "<?xml version=\"1.0\"?><retorno><status><codigo>003</codigo><mensagem></mensagem>"
    "</status></retorno>";

// Serves one reply to every selectxml call and keeps what was asked.
struct Service {
  std::string answer;
  std::string url, options;
  Service() {
    SetSelectXmlTransport(
        [this](const std::string &u, const std::string &, const std::string &, const std::string &o) {
          url = u;
          options = o;
          if (o.find(";zip=S") == std::string::npos)
            return answer;
          uLongf size = compressBound(answer.size());
          std::string packed(size, '\0');
          compress(reinterpret_cast<Bytef *>(packed.data()), &size,
                   reinterpret_cast<const Bytef *>(answer.data()), answer.size());
          packed.resize(size);
          return base64::encode(packed);
        });
  }
  ~Service() { SetSelectXmlTransport({}); }
};

// The table as text: "NAME:Type(size)" per definition, then one line per row with AsString of each
// field, "~" for null.
std::string describe(TClientDataSet &table) {
  std::string out;
  for (size_t i = 0; i < table.FieldDefs().Count(); ++i) {
    const TFieldDef &def = table.FieldDefs()[i];
    out += (i ? " " : "") + def.Name() + ":" + FieldTypeName(def.DataType()) + "(" +
           std::to_string(def.Size()) + ")";
  }
  if (!table.Active())
    return out + " closed";
  for (table.First(); !table.EOF(); table.Next()) {
    out += "\n";
    for (size_t i = 0; i < table.FieldCount(); ++i)
      out += (i ? "|" : "") + (table.Fields(i).IsNull() ? "~" : table.Fields(i).AsString());
  }
  return out;
}

// Loads the reply into `table` and describes the outcome; a row left unposted by a failure is marked
// and dropped.
std::string load(TClientDataSet &table, const std::string &answer, std::string &failure) {
  Service service;
  service.answer = answer;
  TDataXML host;
  std::string unposted;
  try {
    EXPECT_TRUE(host.ClienteDataSet(table, "select", "TABELA", "127.0.0.1:1", 0, false));
    EXPECT_EQ(table.RecNo(), table.RecordCount() ? 1u : 0u) << "the call leaves the first row current";
  } catch (const Exception &e) {
    failure = e.what();
    if (table.State() == dsInsert) {
      unposted = "unposted row; ";
      table.Cancel();
    }
  }
  EXPECT_EQ(host.Erro(), 0) << "the host object is not touched";
  return unposted + describe(table);
}

TEST(ClienteDataSet, Cases) {
  struct Case {
    const char *what;
    std::string answer;
    std::string table;   // describe() afterwards
    std::string failure; // the raised message, "" when none
  };
  const Column v253{"V", "253", "60"};
  const Case cases[] = {
      {"no rows: defined, open and empty", reply({{"A", "253", "10"}, {"B", "3", "11"}}, {}),
       "A:String(10) B:Integer(0)", ""},
      {"status 003", no_rows, " closed", "DataXML não foi criado ou SQL não retornou registros."},
      {"a failure status",
       "<retorno><status><codigo>100</codigo><mensagem>Tabela inexistente</mensagem></status></retorno>",
       " closed", "DataXML não foi criado ou SQL não retornou registros."},
      {"text sizes",
       reply({{"A", "253", "0"}, {"B", "254", "3"}, {"C", "253", "-5"}}, {{"xyz", "Ação!", "ok"}}),
       "A:String(1) B:String(3) C:String(1)\nx|Açã|o", ""},
      {"numbers",
       reply({{"T", "1", "4"}, {"S", "2", "6"}, {"L", "3", "11"}, {"M", "9", "8"}, {"G", "8", "20"}},
             {{"-128", "32767", "-2147483648", "8388607", "-9223372036854775808"}}),
       "T:Integer(0) S:Integer(0) L:Integer(0) M:Largeint(0) G:Largeint(0)\n"
       "-128|32767|-2147483648|8388607|-9223372036854775808",
       ""},
      {"decimals",
       reply({{"F", "4", "12"}, {"D", "5", "22"}, {"N", "246", "10"}},
             {{"1234.5", "0.00006", "-0.00005"}, {"1e-05", "922337203685477.5807", "7"}}),
       "F:BCD(4) D:BCD(4) N:BCD(4)\n1234,5000|0,0001|-0,0001\n0,0000|922337203685477,5807|7,0000", ""},
      {"a thousands separator", reply({{"N", "246", "10"}}, {{"1.5"}, {"1,234.5"}}),
       "unposted row; N:BCD(4)\n1,5000", "'1,234,5' não é um valor válido (campo N, BCD)"},
      {"a decimal out of range", reply({{"N", "5", "10"}}, {{"922337203685477.5808"}}),
       "unposted row; N:BCD(4)", "'922337203685477,5808' está fora do intervalo (campo N, BCD)"},
      {"dates and times",
       reply({{"D", "10", "10"}, {"H", "11", "10"}, {"DT", "12", "19"}, {"TS", "7", "19"}},
             {{"2024-02-29", "23:59:59", "2024-01-31 08:09:10", "2001-02-03 04:05:06"},
              {"0000-00-00", "00:00:00", "0000-00-00 00:00:00", "1970-01-01 00:00:01"}}),
       "D:Date(0) H:Time(0) DT:DateTime(0) TS:TimeStamp(0)\n"
       "2024-02-29|23:59:59|2024-01-31 08:09:10|2001-02-03 04:05:06\n~|00:00:00|~|1970-01-01 00:00:01",
       ""},
      {"a zero timestamp is given to its field as text",
       reply({{"TS", "7", "19"}}, {{"0000-00-00 00:00:00"}}), "unposted row; TS:TimeStamp(0)",
       "'0000-00-00 00:00:00' não é um valor válido (campo TS, TimeStamp)"},
      {"empty values are null",
       reply({v253, {"I", "3", "11"}, {"B", "252", "0"}, {"D", "10", "10"}}, {{"", "", "", ""}}),
       "V:String(60) I:Integer(0) B:Blob(0) D:Date(0)\n~|~|~|~", ""},
      {"blob bytes decoded twice", reply({{"B", "252", "65535"}}, {{std::string("\0\xFF\x80zip", 6)}}),
       "B:Blob(0)\n" + std::string("\0\xFF\x80zip", 6), ""},
      {"unknown type codes become text",
       reply({{"J", "245", "20"}, {"Z", "15", "0"}, {"E", "", "4"}}, {{"{\"a\":1}", "x", "abcdef"}}),
       "J:String(20) Z:String(1) E:String(4)\n{\"a\":1}|x|abcd", ""},
      {"a repeated column name",
       reply({{"A", "3", "11"}, {"B", "3", "11"}, {"A", "253", "5"}}, {{"1", "2", "x"}}),
       "A:Integer(0) B:Integer(0) closed", "Nome de campo duplicado: A"},
      {"a repeated name in another case", reply({{"A", "3", "11"}, {"a", "3", "11"}}, {}),
       "A:Integer(0) closed", "Nome de campo duplicado: a"},
      {"no columns", reply({}, {}), " closed", "A tabela não tem definições de campos"},
      {"a size that is not a number", reply({{"A", "253", "x"}}, {}), " closed",
       "'x' não é um número inteiro válido"},
      {"a text the field cannot convert keeps the rows posted",
       reply({{"N", "3", "11"}, v253}, {{"1", "um"}, {"2", "dois"}, {"três", "três"}, {"4", "quatro"}}),
       "unposted row; N:Integer(0) V:String(60)\n1|um\n2|dois",
       "'três' não é um valor válido (campo N, Integer)"},
  };
  for (const Case &c : cases) {
    TClientDataSet table;
    std::string failure;
    std::string seen = load(table, c.answer, failure);
    EXPECT_EQ(failure, c.failure) << c.what;
    EXPECT_EQ(seen, c.table) << c.what;
  }
}

TEST(ClienteDataSet, RefusesAnOpenTable) {
  TClientDataSet table;
  table.FieldDefs().Add("X", ftInteger);
  table.CreateDataSet();
  std::string failure;
  load(table, reply({{"A", "3", "11"}}, {{"1"}}), failure);
  EXPECT_EQ(failure, "A tabela já está aberta");
  EXPECT_EQ(table.RecordCount(), 0u);
}

TEST(ClienteDataSet, WhereTheStatementGoes) {
  struct Case {
    int32_t rede;
    const char *server;
    bool compress;
    std::string url, options;
  };
  const std::string path = "/servicos/wsdl/selectxml/selectxml.php";
  const Case cases[] = {
      {12, "ignorado:99", false, "http://" VELACORTE_SERVICE_HOST + path, "1:1;rede_id=12;script=N"},
      {0, "outro.host:8081", false, "http://outro.host:8081" + path, "1:1;script=N"},
      {0, "outro.host:8081", true, "http://outro.host:8081" + path, "1:1;script=N;zip=S"},
      {-3, "", true, "http://" VELACORTE_SERVICE_HOST + path, "1:1;rede_id=-3;script=N;zip=S"},
  };
  for (const Case &c : cases) {
    Service service;
    service.answer = reply({{"NOME", "253", "20"}}, {{"Ana"}, {"Bia"}});
    URLPadrao = "http://antes:1" + path;
    TClientDataSet table;
    TDataXML host;
    ASSERT_TRUE(
        host.ClienteDataSet(table, "select nome from clientes", "qualquer", c.server, c.rede, c.compress));
    EXPECT_EQ(service.url, c.url) << c.rede;
    EXPECT_EQ(URLPadrao, c.url) << "the address stays for every client of the process";
    EXPECT_EQ(service.options, c.options) << c.rede;
    EXPECT_EQ(describe(table), "NOME:String(20)\nAna\nBia");
  }
}

} // namespace
