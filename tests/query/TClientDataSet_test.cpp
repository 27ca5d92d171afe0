#include "TClientDataSet.h"

#include "Exception.h"

#include <functional>

#include <gtest/gtest.h>

namespace {

// The message of the Exception that `action` throws, or "" when it throws none.
template <typename F> std::string failure_of(F action) {
  try {
    action();
  } catch (const Exception &e) {
    return e.what();
  }
  return "";
}

// A table with one field of each type, open and empty.
void define_all(TClientDataSet &table) {
  TFieldDefs &defs = table.FieldDefs();
  defs.Add("NOME", ftString).SetSize(5);
  defs.Add("QTD", ftInteger);
  defs.Add("GRANDE", ftLargeint);
  defs.Add("PRECO", ftBCD);
  defs.Add("DIA", ftDate);
  defs.Add("HORA", ftTime);
  defs.Add("MOMENTO", ftDateTime);
  defs.Add("CARIMBO", ftTimeStamp);
  defs.Add("DADOS", ftBlob);
  table.CreateDataSet();
}

TEST(TClientDataSet, FieldDefinitions) {
  TClientDataSet table;
  TFieldDefs &defs = table.FieldDefs();
  defs.Add("ID", ftInteger);
  defs.Add("Descrição", ftString).SetSize(60);
  defs.Add("valor", ftBCD);
  defs.Add("FOTO", ftBlob);
  ASSERT_EQ(defs.Count(), 4u);
  EXPECT_EQ(defs[1].Name(), "Descrição");
  EXPECT_EQ(defs[1].Size(), 60);
  EXPECT_EQ(defs[2].Size(), 4) << "a decimal field has four places";
  EXPECT_EQ(defs[0].Size(), 0);
  EXPECT_EQ(defs[3].Size(), 0);
  EXPECT_EQ(defs.Find("VALOR"), &defs[2]);
  EXPECT_EQ(defs.Find("DESCRIÇÃO"), &defs[1]);
  EXPECT_EQ(defs.Find("VALOR "), nullptr);

  const std::pair<std::function<void()>, const char *> refused[] = {
      {[&] { defs.Add("id", ftString); }, "Nome de campo duplicado: id"},
      {[&] { defs.Add("DESCRIÇÃO", ftString); }, "Nome de campo duplicado: DESCRIÇÃO"},
      {[&] { defs.Add("", ftString); }, "Nome de campo vazio"},
      {[&] { defs.Add("X", ftUnknown); }, "Tipo de dado desconhecido para o campo X"},
      {[&] { defs.Add("S", ftString).SetSize(0); }, "Tamanho 0 inválido para o campo S (String)"},
      {[&] { defs.Add("B", ftBCD).SetSize(2); }, "Tamanho 2 inválido para o campo B (BCD)"},
      {[&] { defs.Add("I", ftInteger).SetSize(4); }, "Tamanho 4 inválido para o campo I (Integer)"},
  };
  for (auto &[action, message] : refused)
    EXPECT_EQ(failure_of(action), message);
  EXPECT_EQ(defs.Count(), 7u) << "the three definitions refused only their size stay";
  EXPECT_EQ(defs[4].Size(), 20) << "a refused size leaves the default";
}

TEST(TClientDataSet, CreateDataSet) {
  TClientDataSet table;
  EXPECT_EQ(failure_of([&] { table.CreateDataSet(); }), "A tabela não tem definições de campos");
  EXPECT_FALSE(table.Active());
  table.FieldDefs().Add("A", ftInteger);
  table.FieldDefs().Add("B", ftString).SetSize(3);
  table.CreateDataSet();
  EXPECT_TRUE(table.Active());
  EXPECT_EQ(table.State(), dsBrowse);
  EXPECT_EQ(table.RecordCount(), 0u);
  EXPECT_TRUE(table.EOF());
  EXPECT_EQ(table.FieldCount(), 2u);
  EXPECT_EQ(table.Fields(1).Size(), 3);
  EXPECT_EQ(failure_of([&] { table.CreateDataSet(); }), "A tabela já está aberta");

  table.Append();
  table.FieldByName("a").AsVariant("1");
  table.Post();
  table.Close();
  EXPECT_FALSE(table.Active());
  EXPECT_EQ(table.FieldCount(), 0u);
  EXPECT_EQ(failure_of([&] { table.Append(); }), "A tabela não está aberta");
  table.CreateDataSet();
  EXPECT_EQ(table.RecordCount(), 0u) << "closing drops the rows, keeps the definitions";
  EXPECT_EQ(table.FieldCount(), 2u);
}

TEST(TClientDataSet, AppendedRowStartsNull) {
  TClientDataSet table;
  define_all(table);
  table.Append();
  for (size_t i = 0; i < table.FieldCount(); ++i) {
    TField &field = table.Fields(i);
    EXPECT_TRUE(field.IsNull()) << field.FieldName();
    EXPECT_EQ(field.AsString(), "") << field.FieldName();
  }
  table.Post();
  EXPECT_TRUE(table.FieldByName("QTD").IsNull());
  EXPECT_EQ(table.FieldByName("QTD").AsInteger(), 0);
  EXPECT_EQ(table.FieldByName("PRECO").AsBCD(), FixedDecimal());
  EXPECT_EQ(table.FieldByName("DIA").AsDateTime(), 0.0);
}

// Text given to each type of field, and what the field then holds.
TEST(TClientDataSet, ConvertsTextToTheFieldType) {
  struct Case {
    const char *field;
    const char *text;
    const char *stored; // AsString afterwards; nullptr: null
  };
  const Case cases[] = {
      {"NOME", "Ana", "Ana"},
      {"NOME", "", ""},
      {"NOME", "Mariana", "Maria"},
      {"NOME", "ÇãoÉéÍx", "ÇãoÉé"},
      {"NOME", "日本語テキスト", "日本語テキ"},
      {"QTD", "-2147483648", "-2147483648"},
      {"QTD", "+17", "17"},
      {"QTD", "", nullptr},
      {"GRANDE", "9223372036854775807", "9223372036854775807"},
      {"GRANDE", "-9223372036854775808", "-9223372036854775808"},
      {"PRECO", "1234,5", "1234,5000"},
      {"PRECO", "0,00006", "0,0001"},
      {"PRECO", "-3", "-3,0000"},
      {"PRECO", "", nullptr},
      {"DIA", "2024-02-29", "2024-02-29"},
      {"HORA", "23:59:59", "23:59:59"},
      {"MOMENTO", "2024-01-31 08:09:10", "2024-01-31 08:09:10"},
      {"MOMENTO", "2024-01-31", "2024-01-31 00:00:00"},
      {"CARIMBO", "1999-12-31 23:59:59", "1999-12-31 23:59:59"},
      {"DADOS", "bytes as given", "bytes as given"},
  };
  for (const Case &c : cases) {
    TClientDataSet table;
    define_all(table);
    table.Append();
    table.FieldByName(c.field).AsVariant(c.text);
    table.Post();
    TField &field = table.FieldByName(c.field);
    EXPECT_EQ(field.IsNull(), c.stored == nullptr) << c.field << " " << c.text;
    EXPECT_EQ(field.AsString(), c.stored ? c.stored : "") << c.field << " " << c.text;
  }
}

TEST(TClientDataSet, RefusesTextThatDoesNotConvert) {
  struct Case {
    const char *field;
    const char *text;
    const char *message;
  };
  const Case cases[] = {
      {"QTD", "abc", "'abc' não é um valor válido (campo QTD, Integer)"},
      {"QTD", "1.5", "'1.5' não é um valor válido (campo QTD, Integer)"},
      {"QTD", " 1", "' 1' não é um valor válido (campo QTD, Integer)"},
      {"QTD", "2147483648", "'2147483648' está fora do intervalo (campo QTD, Integer)"},
      {"GRANDE", "9223372036854775808",
       "'9223372036854775808' está fora do intervalo (campo GRANDE, Largeint)"},
      {"GRANDE", "-", "'-' não é um valor válido (campo GRANDE, Largeint)"},
      {"PRECO", "1,234,5", "'1,234,5' não é um valor válido (campo PRECO, BCD)"},
      {"PRECO", "1e20", "'1e20' está fora do intervalo (campo PRECO, BCD)"},
      {"DIA", "0000-00-00", "'0000-00-00' não é um valor válido (campo DIA, Date)"},
      {"DIA", "31/01/2024", "'31/01/2024' não é um valor válido (campo DIA, Date)"},
      {"HORA", "25:00:00", "'25:00:00' não é um valor válido (campo HORA, Time)"},
      {"MOMENTO", "2024-01-31T08:09:10",
       "'2024-01-31T08:09:10' não é um valor válido (campo MOMENTO, DateTime)"},
      {"CARIMBO", "0000-00-00 00:00:00",
       "'0000-00-00 00:00:00' não é um valor válido (campo CARIMBO, TimeStamp)"},
  };
  for (const Case &c : cases) {
    TClientDataSet table;
    define_all(table);
    table.Append();
    TField &field = table.FieldByName(c.field);
    EXPECT_EQ(failure_of([&] { field.AsVariant(c.text); }), c.message);
    EXPECT_TRUE(field.IsNull()) << c.field << ": a refused text leaves the field as it was";
  }
}

TEST(TClientDataSet, TypedReading) {
  TClientDataSet table;
  define_all(table);
  table.Append();
  table.FieldByName("NOME").AsVariant("-12");
  table.FieldByName("QTD").AsVariant("42");
  table.FieldByName("GRANDE").AsVariant("5000000000");
  table.FieldByName("PRECO").AsBCD(FixedDecimal::FromScaled(-15));
  table.FieldByName("DIA").AsVariant("2024-01-01");
  table.FieldByName("HORA").AsVariant("18:00:00");
  table.FieldByName("MOMENTO").AsVariant("1899-12-29 06:00:00");
  const std::uint8_t bytes[] = {0, 0xFF, 0x80, 'x'};
  table.FieldByName("DADOS").AsVariant(bytes);
  table.Post();

  EXPECT_EQ(table.FieldByName("nome").AsInteger(), -12);
  EXPECT_EQ(table.FieldByName("nome").AsBCD(), FixedDecimal::FromScaled(-120000));
  EXPECT_EQ(table.FieldByName("QTD").AsLargeInt(), 42);
  EXPECT_EQ(table.FieldByName("QTD").AsBCD(), FixedDecimal::FromScaled(420000));
  EXPECT_EQ(table.FieldByName("GRANDE").AsLargeInt(), 5000000000);
  EXPECT_EQ(table.FieldByName("PRECO").AsString(), "-0,0015");
  EXPECT_DOUBLE_EQ(table.FieldByName("DIA").AsDateTime(), 45292.0);
  EXPECT_DOUBLE_EQ(table.FieldByName("HORA").AsDateTime(), 0.75);
  EXPECT_DOUBLE_EQ(table.FieldByName("MOMENTO").AsDateTime(), -1.25);
  EXPECT_EQ(table.FieldByName("DADOS").AsBytes(),
            std::vector<std::uint8_t>(std::begin(bytes), std::end(bytes)));

  const std::pair<std::function<void()>, const char *> refused[] = {
      {[&] { table.FieldByName("GRANDE").AsInteger(); },
       "'5000000000' não pode ser lido como Integer (campo GRANDE, Largeint)"},
      {[&] { table.FieldByName("PRECO").AsInteger(); },
       "'-0,0015' não pode ser lido como Largeint (campo PRECO, BCD)"},
      {[&] { table.FieldByName("DIA").AsBCD(); },
       "'2024-01-01' não pode ser lido como BCD (campo DIA, Date)"},
      {[&] { table.FieldByName("QTD").AsDateTime(); },
       "'42' não pode ser lido como data e hora (campo QTD, Integer)"},
      {[&] { table.FieldByName("FALTA"); }, "Campo 'FALTA' não encontrado"},
      {[&] { table.FieldByName("QTD").AsVariant("1"); },
       "A tabela não está em inclusão: use Append antes de alterar o campo QTD"},
  };
  for (auto &[action, message] : refused)
    EXPECT_EQ(failure_of(action), message);

  table.Append();
  const std::pair<std::function<void()>, const char *> wrong_kind[] = {
      {[&] { table.FieldByName("NOME").AsVariant(std::span<const std::uint8_t>(bytes)); },
       "O campo NOME (String) não recebe bytes"},
      {[&] { table.FieldByName("QTD").AsBCD(FixedDecimal()); },
       "O campo QTD (Integer) não recebe um valor decimal"},
  };
  for (auto &[action, message] : wrong_kind)
    EXPECT_EQ(failure_of(action), message);
}

TEST(TClientDataSet, CursorAndAppendState) {
  TClientDataSet table;
  table.FieldDefs().Add("N", ftInteger);
  table.FieldDefs().Add("T", ftString).SetSize(10);
  table.CreateDataSet();
  for (int i = 1; i <= 3; ++i) {
    table.Append();
    EXPECT_EQ(table.State(), dsInsert);
    table.FieldByName("N").AsVariant(std::to_string(i));
    if (i != 2)
      table.FieldByName("T").AsVariant("linha " + std::to_string(i));
    table.Post();
    EXPECT_EQ(table.RecNo(), static_cast<size_t>(i)) << "a posted row is the current row";
    EXPECT_EQ(table.FieldByName("N").AsInteger(), i);
  }

  table.Append();
  table.FieldByName("N").AsVariant("99");
  EXPECT_EQ(table.FieldByName("N").AsInteger(), 99) << "fields read the row being appended";
  EXPECT_FALSE(table.EOF());
  EXPECT_EQ(failure_of([&] { table.First(); }),
            "Há um registro em inclusão: grave-o (Post) ou cancele-o (Cancel)");
  EXPECT_EQ(failure_of([&] { table.Append(); }),
            "Há um registro em inclusão: grave-o (Post) ou cancele-o (Cancel)");
  table.Cancel();
  EXPECT_EQ(failure_of([&] { table.Post(); }), "Não há registro em inclusão para gravar");
  EXPECT_EQ(table.RecordCount(), 3u);

  std::vector<std::string> walked;
  for (table.First(); !table.EOF(); table.Next())
    walked.push_back(table.FieldByName("n").AsString() + ":" + table.FieldByName("t").AsString() +
                     (table.FieldByName("T").IsNull() ? "(null)" : ""));
  EXPECT_EQ(walked, (std::vector<std::string>{"1:linha 1", "2:(null)", "3:linha 3"}));
  EXPECT_EQ(table.RecNo(), 0u);
  table.Next();
  EXPECT_TRUE(table.EOF()) << "Next at the end stays at the end";
  EXPECT_TRUE(table.FieldByName("N").IsNull()) << "no current row reads as null";
}

TEST(TClientDataSet, ChangeLog) {
  TClientDataSet table;
  table.FieldDefs().Add("N", ftInteger);
  table.CreateDataSet();
  EXPECT_TRUE(table.LogChanges());
  auto add = [&] {
    table.Append();
    table.Post();
  };
  add();
  add();
  EXPECT_EQ(table.ChangeCount(), 2u);
  table.LogChanges(false);
  add();
  EXPECT_EQ(table.ChangeCount(), 2u) << "rows posted with the log off are plain rows";
  table.MergeChangeLog();
  EXPECT_EQ(table.ChangeCount(), 0u);
  EXPECT_EQ(table.RecordCount(), 3u);
}

} // namespace
