#include "Exception.h"
#include "canned_reply.h"
#include "uMySql.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const char *const no_data = "DataXML não foi criado ou SQL não retornou registros.";

struct Loaded {
  CannedService service;
  TDataXML q;
  explicit Loaded(const std::string &answer, bool show_errors = false) {
    service.answer = answer;
    q.SetShowErrors(show_errors);
    q.Execute();
  }
};

std::string files() {
  return reply(
      result_set({{"CHECK_ID", "253", "40"}, {"NOME", "254"}, {"TAMANHO", "3", "11"}, {"VAZIO", "253"}},
                 {{"a1", "Ação", "10", ""}, {"b2", "dmVsYQ==", "20", ""}, {"c3", "três", "30", ""}}));
}

} // namespace

TEST(Cursor, MovesAsTheTableGivesIt) {
  Loaded l(files());
  TDataXML &q = l.q;
  ASSERT_EQ(q.RecordCount(), 3);
  struct Step {
    std::function<void()> move;
    int32_t position, erro;
    bool eof;
  } steps[] = {
      {[&] { q.Next(); }, 2, 0, false},     {[&] { q.Next(); }, 3, 0, false},
      {[&] { q.Next(); }, 4, 0, true},      {[&] { q.Next(); }, 4, 5, true},
      {[&] { q.Previous(); }, 3, 5, false}, {[&] { q.First(); }, 1, 5, false},
      {[&] { q.Previous(); }, 0, 5, false}, {[&] { q.Previous(); }, 0, 4, false},
      {[&] { q.Next(); }, 1, 4, false},     {[&] { q.Last(); }, 3, 4, false},
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(i);
    steps[i].move();
    EXPECT_EQ(q.Position(), steps[i].position);
    EXPECT_EQ(q.Erro(), steps[i].erro);
    EXPECT_EQ(q.EOF(), steps[i].eof);
  }
  EXPECT_EQ(q.Error(), "Início do Registro");
}

TEST(Cursor, MoveErrorsRaiseWithShowErrors) {
  Loaded l(files(), true);
  l.q.Previous();
  EXPECT_THROW(
      try { l.q.Previous(); } catch (const Exception &e) {
        EXPECT_STREQ(e.what(), "Início do Registro");
        throw;
      },
      Exception);
  l.q.Last();
  l.q.Next();
  EXPECT_THROW(l.q.Next(), Exception);
  EXPECT_EQ(l.q.Erro(), 5);
  EXPECT_EQ(l.q.Position(), 4);
}

TEST(Cursor, LargestRowCountEndsAtItsLastRow) {
  Loaded l(
      reply("<select rows=\"2147483647\"><row><ID>1</ID></row></select><fields><ID tipo=\"3\"/></fields>"));
  l.q.Last();
  l.q.Next();
  EXPECT_EQ(l.q.Position(), INT32_MAX);
  EXPECT_EQ(l.q.Erro(), 5);
  EXPECT_EQ(l.q.Error(), "Fim do Registro");
}

TEST(Fields, ReadByNameAndPosition) {
  Loaded l(files());
  TDataXML &q = l.q;
  EXPECT_EQ(q.FieldsCount(), 4);
  EXPECT_EQ(q.FieldName(0), "CHECK_ID");
  EXPECT_EQ(q.FieldByName("check_id"), "a1");
  EXPECT_EQ(q.FieldByName("Check_Id"), "a1");
  EXPECT_EQ(q.FieldByName("nome"), "Ação");
  EXPECT_EQ(q.FieldByIndex(1), "Ação");
  EXPECT_EQ(q.FieldByIndex(2), "10");
  EXPECT_EQ(q.FieldByName("vazio"), "");
  EXPECT_TRUE(q.FieldExist("vazio"));
  EXPECT_FALSE(q.FieldExist("outro"));
  EXPECT_EQ(q.FieldType("tamanho"), "3");
  EXPECT_EQ(q.FieldType("outro"), "");
  EXPECT_EQ(q.FieldSize("check_id"), 40);
  EXPECT_EQ(q.FieldSize("outro"), 0);
  q.Next();
  EXPECT_EQ(q.FieldByName("NOME"), "dmVsYQ=="); // decoded once only
  q.Next();
  EXPECT_EQ(q.FieldByIndex(1), "três");
  EXPECT_EQ(q.Erro(), 0);
}

TEST(Fields, PlainColumnsAreNotDecoded) {
  Loaded l(reply("<select rows=\"1\"><row><N>dmVsYQ==</N><T>dmVsYQ==</T></row></select>"
                 "<fields><N tipo=\"3\"/><T tipo=\"253\"/></fields>"));
  EXPECT_EQ(l.q.FieldByName("n"), "dmVsYQ==");
  EXPECT_EQ(l.q.FieldByName("t"), "vela");
}

TEST(Fields, ErrorsAreStoredAndRaisedWithTheirTexts) {
  struct Case {
    const char *what;
    std::function<void(TDataXML &)> call;
    int32_t erro;
    const char *stored, *raised;
  } cases[] = {
      {"unknown name", [](TDataXML &q) { q.FieldByName("nome "); }, 7, "Nome do campo não foi encontrado.",
       "Nome do campo não foi encontrado."},
      {"negative index", [](TDataXML &q) { q.FieldByIndex(-1); }, 11,
       "Valor inválido para ocorrência de valor", "Valor inválido para ocorrência de valor"},
      {"negative name index", [](TDataXML &q) { q.FieldName(-1); }, 11,
       "Valor inválido para ocorrência de valor", "Valor inválido para ocorrência de valor"},
      {"index past the columns", [](TDataXML &q) { q.FieldByIndex(4); }, 12,
       "Erro inesperado ao retornar valor.", "Erro inesperado ao retornar valor"},
      {"name index past the columns", [](TDataXML &q) { q.FieldName(4); }, 14,
       "Erro inesperado ao retornar nome do campo.", "Erro inesperado ao retornar nome do campo"},
      {"before the first row", [](TDataXML &q) { q.Previous(), q.FieldByName("nome"); }, 6, no_data, no_data},
      {"count before the first row", [](TDataXML &q) { q.Previous(), q.FieldsCount(); }, 6, no_data, no_data},
      {"row past the last by index", [](TDataXML &q) { q.Last(), q.Next(), q.FieldByIndex(0); }, 12,
       "Erro inesperado ao retornar valor.", "Erro inesperado ao retornar valor"},
  };
  for (bool show : {false, true}) {
    for (const Case &c : cases) {
      SCOPED_TRACE(std::string(c.what) + (show ? ", raised" : ", stored"));
      Loaded l(files(), show);
      std::string raised;
      try {
        c.call(l.q);
      } catch (const Exception &e) {
        raised = e.what();
      }
      EXPECT_EQ(raised, show ? c.raised : "");
      EXPECT_EQ(l.q.Erro(), c.erro);
      EXPECT_EQ(l.q.Error(), c.stored);
    }
  }
}

TEST(Fields, BeforeAnyExecution) {
  TDataXML q;
  q.SetShowErrors(false);
  EXPECT_TRUE(q.EOF());
  EXPECT_EQ(q.FieldsCount(), 0);
  EXPECT_EQ(q.Erro(), 6);
  EXPECT_EQ(q.FieldName(0), "");
  EXPECT_EQ(q.FieldByIndex(0), "");
  EXPECT_EQ(q.FieldByName("a"), "");
  EXPECT_EQ(q.Error(), no_data);
  EXPECT_FALSE(q.FieldExist("a"));
  EXPECT_EQ(q.FieldType("a"), "");
  EXPECT_EQ(q.FieldSize("a"), 0);
}

TEST(Fields, NoRowsAndEmptyResults) {
  Loaded none(reply("", "<codigo>003</codigo><mensagem></mensagem>"), true);
  EXPECT_TRUE(none.q.EOF());
  EXPECT_THROW(none.q.FieldByName("a"), Exception);
  EXPECT_EQ(none.q.Erro(), 6);

  Loaded empty(reply(result_set({{"A", "3"}, {"B", "253"}}, {})));
  TDataXML &q = empty.q;
  EXPECT_EQ(q.Position(), 1);
  EXPECT_TRUE(q.EOF());
  EXPECT_EQ(q.FieldsCount(), 2);
  EXPECT_EQ(q.FieldName(1), "B");
  EXPECT_EQ(q.FieldByIndex(0), "");
  EXPECT_EQ(q.Erro(), 12);
  EXPECT_THROW(q.FieldByName("a"), Exception); // no row: out of range, whatever ShowErrors says
  EXPECT_THROW(q.FieldExist("a"), Exception);
  q.Last();
  EXPECT_EQ(q.Position(), 0);
  EXPECT_FALSE(q.EOF());
}

TEST(Fields, MalformedLayoutsFailWithoutACrash) {
  // Without the definitions element, the field reads store their codes; the calls that read the
  // definitions themselves fail unguarded, raised and never stored.
  const std::string no_definitions = reply("<select rows=\"1\"><row><A>1</A></row></select>");
  for (bool show : {false, true}) {
    SCOPED_TRACE(show);
    Loaded l(no_definitions, show);
    TDataXML &q = l.q;
    struct Case {
      const char *what;
      std::function<std::string(TDataXML &)> call;
      int32_t erro;
    } cases[] = {
        {"FieldByName", [](TDataXML &q) { return q.FieldByName("a"); }, 8},
        {"FieldByIndex", [](TDataXML &q) { return q.FieldByIndex(0); }, 12},
    };
    for (const Case &c : cases) {
      SCOPED_TRACE(c.what);
      std::string value = "unset";
      bool raised = false;
      try {
        value = c.call(q);
      } catch (const Exception &) {
        raised = true;
      }
      EXPECT_EQ(raised, show);
      EXPECT_EQ(value, show ? "unset" : "");
      EXPECT_EQ(q.Erro(), c.erro);
    }
    EXPECT_TRUE(q.FieldExist("a"));
    EXPECT_FALSE(q.FieldExist("b"));
    const int32_t erro = q.Erro();
    EXPECT_THROW(q.FieldsCount(), Exception);
    EXPECT_THROW(q.FieldName(0), Exception);
    EXPECT_THROW(q.FieldType("a"), Exception);
    EXPECT_THROW(q.FieldSize("a"), Exception);
    EXPECT_EQ(q.Erro(), erro);
  }

  Loaded short_rows(reply("<select rows=\"3\"><row><A>1</A></row></select><fields><A tipo=\"3\"/></fields>"));
  short_rows.q.Last();
  EXPECT_THROW(short_rows.q.FieldByName("a"), Exception);
  EXPECT_EQ(short_rows.q.FieldByIndex(0), "");
  EXPECT_EQ(short_rows.q.Erro(), 12);
}

TEST(Fields, ElementsThatHoldMoreThanText) {
  Loaded l(reply(
      "<select rows=\"1\"><row><A><b/></A><B>x<i/>y</B><C><![CDATA[<&>]]></C><p:D>d</p:D></row></select>"
      "<fields><A tipo=\"3\"/><B tipo=\"3\" tamanho=\"\"/><C tipo=\"3\" tamanho=\"x\"/>"
      "<D tipo=\"3\" tamanho=\"9\"/></fields>"));
  TDataXML &q = l.q;
  EXPECT_EQ(q.FieldByName("a"), "");
  EXPECT_EQ(q.Erro(), 8);
  EXPECT_FALSE(q.FieldExist("b"));
  EXPECT_EQ(q.FieldByIndex(1), "");
  EXPECT_EQ(q.Erro(), 12);
  EXPECT_EQ(q.FieldByName("c"), "<&>");
  EXPECT_EQ(q.FieldByName("d"), "d"); // matched without its prefix
  EXPECT_EQ(q.FieldSize("d"), 9);
  EXPECT_THROW(q.FieldSize("a"), Exception); // no tamanho
  EXPECT_THROW(q.FieldSize("b"), Exception);
  EXPECT_THROW(q.FieldSize("c"), Exception);
}

TEST(Fields, TheFirstOfRepeatedNamesWinsInAnyOrderOfAsking) {
  // Narrow, and wide enough that names are found through the hash.
  for (int filler : {0, 40}) {
    SCOPED_TRACE(filler);
    std::string extra_fields, extra_definitions;
    for (int k = 0; k < filler; ++k) {
      const std::string name = "F" + std::to_string(k);
      extra_fields += "<" + name + ">" + std::to_string(k) + "</" + name + ">";
      extra_definitions += "<" + name + " tipo=\"3\" tamanho=\"2\"/>";
    }
    Loaded l(reply("<select rows=\"2\"><row><N>1</N><X:N>2</X:N><T>dmVsYQ==</T>" + extra_fields +
                   "</row><row><T>b2s=</T><N>3</N>" + extra_fields +
                   "</row></select>"
                   "<fields><X:N tipo=\"3\" tamanho=\"5\"/><N tipo=\"253\" tamanho=\"7\"/><T tipo=\"253\"/>"
                   "<Y:T tipo=\"3\"/>" +
                   extra_definitions + "</fields>"));
    TDataXML &q = l.q;
    // Each name in turn after the column that holds it, then again from the start.
    for (int pass = 0; pass < 2; ++pass) {
      EXPECT_EQ(q.FieldType("x:n"), "3");
      EXPECT_EQ(q.FieldType("n"), "3");
      EXPECT_EQ(q.FieldSize("N"), 5);
      EXPECT_EQ(q.FieldType("t"), "253");
      EXPECT_EQ(q.FieldType("T"), "253");
      EXPECT_EQ(q.FieldType("y:t"), "3");
      EXPECT_EQ(q.FieldType("x:t"), "");
    }
    EXPECT_EQ(q.FieldByName("n"), "1");
    EXPECT_EQ(q.FieldByName("x:n"), "2");
    EXPECT_EQ(q.FieldByName("t"), "vela");
    if (filler > 0) {
      EXPECT_EQ(q.FieldByName("f39"), "39");
      EXPECT_EQ(q.FieldByName("F0"), "0");
      EXPECT_EQ(q.FieldByIndex(2 + filler), std::to_string(filler - 1));
    }
    q.Next();
    EXPECT_EQ(q.FieldByName("t"), "ok");
    EXPECT_EQ(q.FieldByName("n"), "3");
    EXPECT_EQ(q.FieldByName("x:n"), "");
    EXPECT_EQ(q.Erro(), 7);
    q.Previous();
    EXPECT_EQ(q.FieldByName("N"), "1");
  }
}

TEST(Fields, NullsAndChangedRowsAsTheReplyTellsThem) {
  // An empty element is NULL; the byte-order mark alone is the empty text.
  Loaded l(reply("<select rows=\"1\" afetados=\"x\"><row><T>77u/</T><N/><E></E><I>5</I></row></select>"
                 "<fields><T tipo=\"253\"/><N tipo=\"253\"/><E tipo=\"3\"/><I tipo=\"3\"/></fields>"));
  TDataXML &q = l.q;
  struct Case {
    int32_t column;
    bool null;
    const char *value;
  } cases[] = {{0, false, ""},  {1, true, ""},  {2, true, ""},
               {3, false, "5"}, {4, false, ""}, {-1, false, ""}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.column);
    EXPECT_EQ(q.FieldIsNull(c.column), c.null);
    if (c.column >= 0 && c.column < 4) {
      EXPECT_EQ(q.FieldByIndex(c.column), c.value);
    }
  }
  EXPECT_EQ(q.RowsAffected(), -1); // not a number
  q.Next();
  EXPECT_FALSE(q.FieldIsNull(1)); // past the last row: no field

  struct Count {
    std::string rows_element;
    int64_t affected;
  } counts[] = {{"<select rows=\"0\" afetados=\"12\"/>", 12},
                {"<select rows=\"0\" afetados=\"0\"/>", 0},
                {"<select rows=\"0\"/>", -1}};
  for (const Count &c : counts) {
    Loaded w(reply(c.rows_element + "<fields/>"));
    EXPECT_EQ(w.q.RowsAffected(), c.affected) << c.rows_element;
  }
  TDataXML none;
  EXPECT_EQ(none.RowsAffected(), -1);
  EXPECT_FALSE(none.FieldIsNull(0));
}

TEST(Fields, RawTextAndTheTypeOfEachPosition) {
  // A repeated name: FieldType and FieldByIndex follow the first definition of the name, FieldTypeAt
  // the position's own. Text between the fields counts as a position.
  Loaded l(reply("<select rows=\"2\"><row><A>1</A><A>eA==</A>solto<B/></row><row><B>OQ==</B><A>2</A></row>"
                 "</select><fields><A tipo=\"3\"/><A tipo=\"253\"/>texto<B tipo=\"252\"/></fields>"));
  TDataXML &q = l.q;
  struct Case {
    int32_t column;
    bool readable;
    const char *raw;
    const char *by_index;
    const char *own_type;
  } cases[] = {{0, true, "1", "1", "3"}, {1, true, "eA==", "eA==", "253"}, {2, false, "", "", ""},
               {3, true, "", "", "252"}, {4, false, "", "", ""},           {-1, false, "", "", ""}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.column);
    std::string_view raw = "unchanged";
    EXPECT_EQ(q.FieldText(c.column, raw), c.readable);
    if (c.readable) {
      EXPECT_EQ(raw, c.raw);
      EXPECT_EQ(q.FieldByIndex(c.column), c.by_index);
    }
    EXPECT_EQ(q.FieldTypeAt(c.column), c.own_type);
  }
  EXPECT_EQ(q.FieldType("A"), "3");
  q.Next(); // a row whose fields are not in the columns' order is still read by name and position
  EXPECT_EQ(q.FieldByName("a"), "2");
  EXPECT_EQ(q.FieldByName("B"), "9");
  std::string_view raw;
  EXPECT_TRUE(q.FieldText(1, raw));
  EXPECT_EQ(raw, "2");
  q.Next();
  EXPECT_THROW(q.FieldText(0, raw), Exception); // past the last row, as by name
  EXPECT_EQ(q.FieldTypeAt(0), "3");             // the definitions stay readable there
  TDataXML none;
  EXPECT_FALSE(none.FieldText(0, raw));
  EXPECT_EQ(none.FieldTypeAt(0), "");
}
