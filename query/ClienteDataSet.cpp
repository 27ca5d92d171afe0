// Loading a query result into an in-memory table.

#include "TClientDataSet.h"
#include "reply_text.h"
#include "uMySql.h"

#include "text.h"

#include <algorithm>

namespace {

// MySQL column type codes, compared as text. Codes outside the list become text fields, so that a
// column of a type added later still loads.
TFieldType field_type_of(std::string_view code) {
  static constexpr std::pair<std::string_view, TFieldType> types[] = {
      {"1", ftInteger},   {"2", ftInteger},  {"3", ftInteger},  {"4", ftBCD},      {"5", ftBCD},
      {"7", ftTimeStamp}, {"8", ftLargeint}, {"9", ftLargeint}, {"10", ftDate},    {"11", ftTime},
      {"12", ftDateTime}, {"246", ftBCD},    {"252", ftBlob},   {"253", ftString}, {"254", ftString},
  };
  for (auto [text, type] : types)
    if (text == code)
      return type;
  return ftString;
}

} // namespace

void TDataXML::CriaCampo(TClientDataSet &Aux, const std::string &Nome, const std::string &Tipo,
                         int32_t Tamanho) {
  TFieldDef &def = Aux.FieldDefs().Add(Nome, field_type_of(Tipo));
  if (def.DataType() == ftString)
    def.SetSize(Tamanho > 0 ? Tamanho : 1);
}

bool TDataXML::ClienteDataSet(TClientDataSet &Aux, const std::string &SQL_QUERY, const std::string &,
                              const std::string &NOME_SERVER, int32_t Rede, bool Compress) {
  // The temporary client empties the process-wide addresses: with a network id the statement goes to
  // the default host, without one to NOME_SERVER.
  TDataXML Temp;
  Temp.SetSQL(SQL_QUERY);
  if (Rede != 0)
    Temp.SetRedeID(std::to_string(Rede));
  else
    Temp.ServidorWS(NOME_SERVER);
  // A statement without a result set is refused by FieldsCount below.
  if (Compress)
    Temp.ExecuteZ();
  else
    Temp.Execute();

  const int32_t Count = Temp.FieldsCount();
  for (int32_t i = 0; i < Count; ++i) {
    const std::string Nome = Temp.FieldName(i);
    CriaCampo(Aux, Nome, Temp.FieldType(Nome), static_cast<int32_t>(Temp.FieldSize(Nome)));
  }
  Aux.CreateDataSet();
  Aux.LogChanges(false);

  while (!Temp.EOF()) {
    Aux.Append();
    const int32_t Columns = Temp.FieldsCount();
    for (int32_t i = 0; i < Columns; ++i) {
      std::string Valor = Temp.FieldByIndex(i);
      if (Valor.empty())
        continue;
      TField &Field = Aux.FieldByName(Temp.FieldName(i));
      switch (Field.DataType()) {
      case ftBCD:
        // The service writes decimals with "."; the field reads them with "," to the nearest
        // ten-thousandth, exactly, so a thousands separator ("1,234.5") fails.
        std::replace(Valor.begin(), Valor.end(), '.', ',');
        Field.AsVariant(Valor);
        break;
      case ftDate:
        if (Valor != "0000-00-00")
          Field.AsVariant(Valor);
        break;
      case ftDateTime:
        if (Valor != "0000-00-00 00:00:00")
          Field.AsVariant(Valor);
        break;
      case ftBlob: {
        // Field access has decoded the value from base64 once; the service encodes blobs twice, so
        // the bytes are one more decoding away.
        std::string Bytes = reply_text::decode_base64(text::utf8_to_cp1252(Valor));
        Field.AsVariant(std::span(reinterpret_cast<const std::uint8_t *>(Bytes.data()), Bytes.size()));
        break;
      }
      default:
        Field.AsVariant(Valor);
        break;
      }
    }
    Aux.Post();
    Temp.Next();
  }
  Temp.Close();
  Aux.First();
  return true;
}
