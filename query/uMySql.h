#pragma once

// TDataXML, the remote query client: runs SQL on the query service through `selectxml` and serves
// the XML reply as a read-only record set.

#include <pugixml.hpp>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The runtime's date-time: days since 30 December 1899, the time of day as the fraction.
using TDateTime = double;

// The cursor's end test is named EOF; the C library's macro of that name would swallow it. Including
// <cstdio> first keeps a later include from defining it again.
#undef EOF

class TClientDataSet;

class TDataXML {
  using NameIndex = std::unordered_map<std::string_view, size_t>;

public:
  TDataXML();
  virtual ~TDataXML();
  TDataXML(const TDataXML &) = delete;
  TDataXML &operator=(const TDataXML &) = delete;

  void Close();

  // Run SQL once on the service; ExecuteZ asks for a compressed reply. True when a result set, or the
  // answer that there are no rows, was obtained.
  bool Execute() { return Executa(false); }
  bool ExecuteZ() { return Executa(true); }

  void GravaParam(const std::string &NomeParametro, const std::string &Value);
  std::string LeParam(const std::string &NomeParametro) const;
  std::string LeIndex(int32_t Index) const;

  bool ServidorWS(const std::string &Nome);
  bool ServidorMS(const std::string &Nome, const std::string &Usuario, const std::string &Password);
  bool IsOnLine();

  // Cursor.
  bool EOF() const { return FPosition > FRecordCount; }
  void First() { FPosition = 1; }
  void Next();
  void Previous();
  void Last() { FPosition = FRecordCount; }

  // Fields of the current row and the description of the columns.
  int32_t FieldsCount();
  std::string FieldName(int32_t Indice);
  std::string FieldByIndex(int32_t Indice);
  std::string FieldByName(const std::string &Field);
  bool FieldExist(const std::string &Field);
  std::string FieldType(const std::string &Field);
  int64_t FieldSize(const std::string &Field);
  // Whether the field of column Indice in the current row is an empty element, as the service
  // writes NULL; false when there is no such field. Records no error.
  bool FieldIsNull(int32_t Indice);
  // The text of the field of column Indice in the current row as the reply holds it, not decoded (""
  // for an empty element); false when the row has no such field or it holds more than text. The text
  // lives as long as the reply. Records no error; a Position past the last row fails with the
  // out-of-range failure of the calls by name.
  bool FieldText(int32_t Indice, std::string_view &Value);
  // The type code in the definition at position Indice itself, whatever other column shares its
  // name; "" when there is none. Lives as long as the reply. Records no error.
  std::string_view FieldTypeAt(int32_t Indice);
  // The rows that the statement of the current result set changed, as its rows element tells in
  // "afetados"; -1 when the reply does not say. Records no error.
  int64_t RowsAffected();

  // Runs SQL_QUERY through a temporary client (on NOME_SERVER, or the default host with network id
  // Rede when Rede is not 0) and copies the whole result into Aux, which must be closed and without
  // definitions: one field per column, typed from its type code. Every failure is raised.
  bool ClienteDataSet(TClientDataSet &Aux, const std::string &SQL_QUERY, const std::string &NOME_TABELA,
                      const std::string &NOME_SERVER, int32_t Rede, bool Compress);

  // Properties.
  const std::string &SQL() const { return FSQL; }
  void SetSQL(const std::string &Value) { FSQL = Value; }
  const std::string &RedeID() const { return FREDE; }
  void SetRedeID(const std::string &Value) { FREDE = Value; }
  bool Script() const { return FScript; }
  void SetScript(bool Value) { FScript = Value; }
  int32_t Script_Count() const { return FScript_Count; }
  int32_t Script_Index() const { return FScript_Index; }
  void SetScript_Index(int32_t Value);
  int32_t RecordCount() const { return FRecordCount; }
  int32_t Position() const { return FPosition; }
  int32_t ParamCount() const { return FParamCount; }
  int32_t Erro() const { return FErro; }
  const std::string &Error() const { return FError; }
  int64_t LastID() const { return FLastID; }
  bool NotFound() const { return FNotFound; }
  void SetNotFound(bool Value) { FNotFound = Value; }
  bool ShowErrors() const { return FShowErrors; }
  void SetShowErrors(bool Value) { FShowErrors = Value; }
  bool SalvarXML() const { return FSalvarXML; }
  void SetSalvarXML(bool Value) { FSalvarXML = Value; }
  const std::string &PathXML() const { return FPathXML; }
  // The reply text of the last execution, inflated when it came compressed.
  const std::string &XML() const { return FXML; }
  void SetPathXML(const std::string &Value) { FPathXML = Value; }
  TDateTime SYSDate();

private:
  // Adds to Aux the field definition of a column with type code Tipo and size Tamanho.
  void CriaCampo(TClientDataSet &Aux, const std::string &Nome, const std::string &Tipo, int32_t Tamanho);

  // The rows and definitions of the current result set, found once per document and choice of result
  // set, so that walking the rows costs one step per row.
  struct ResultSet {
    const pugi::xml_document *doc = nullptr;
    bool script = false;
    int32_t script_index = 0;
    std::vector<pugi::xml_node> rows;
    // A reply may lack the definitions element; only the calls that read it fail then.
    bool has_definitions = false;
    std::vector<pugi::xml_node> definitions;
    // The element definitions in order, with what each field call asks of them.
    struct Column {
      const char *name;
      const char *local; // after the prefix; null without one
      std::string_view type;
      bool base64;
      pugi::xml_node definition;
      // The first column that a field matching this one's name, or its name after the prefix, finds.
      size_t first_by_name;
      size_t first_by_local;
    };
    std::vector<Column> columns;
    // Each name, and each name after its prefix, to the first column that holds it; with the rest of
    // what depends on it, made when first needed.
    bool names_indexed = false;
    NameIndex column_by_name;
    // Per definition position, the column whose type decodes FieldByIndex's value: the one that the
    // name FieldName gives finds; npos for none.
    std::vector<size_t> column_of_position;
    // Callers ask for the columns in the same order row after row: the one after the last found is
    // tried first.
    size_t next_column = 0;
    // The children of the row at `row_position`, read once per row: all of them by position, the
    // elements by name.
    struct Child {
      pugi::xml_node node;
      const char *name;
      const char *local; // read with row_named
    };
    int32_t row_position = 0;
    std::vector<pugi::xml_node> row_children;
    std::vector<Child> row_elements;
    // The row's elements carry the columns' names in the columns' order, as the service writes
    // every row: a column found by name is then the row's element at its position.
    bool row_follows_columns = false;
    // For a row that does not: the names after their prefixes are read, and for a wide row hashed
    // likewise.
    bool row_named = false;
    NameIndex child_by_name;
    // The asked name in upper case, kept to spare an allocation per call.
    std::string wanted;
  };
  // Fills empty service addresses with the built-in defaults.
  static void UsaEnderecosPadrao();
  bool Executa(bool Compactado);
  void ExecutaPassos(bool Compactado, bool &Result);
  void SalvaDocumento();
  void EscolheScript(int32_t Index);
  bool Guarded() const { return FDoc != nullptr && FPosition >= 1; }
  bool ColumnIndexUsable(int32_t Indice);
  const ResultSet &CurrentResultSet();
  const ResultSet &LoadResultSet();
  const ResultSet &CurrentDefinitions();
  void IndexColumnNames();
  pugi::xml_node CurrentRow(const ResultSet &Set) const;
  void ReadCurrentRow();
  pugi::xml_node CurrentRowChild(int32_t Indice);
  const ResultSet::Column *ColumnNamed(std::string_view Field);
  pugi::xml_node CurrentField(std::string_view Field, const ResultSet::Column *&Column);
  void Report(int32_t Code, const char *Stored, const char *Raised);

  int32_t FScript_Count = 0;
  int32_t FScript_Index = 0;
  std::vector<std::string> FParametro;
  bool FScript = false;
  std::string FSQL;
  std::string FREDE;
  int32_t FRecordCount = -1;
  int32_t FParamCount = 0;
  int32_t FPosition = 0;
  int32_t FErro = 0;
  int64_t FLastID = 0;
  std::string FError;
  std::string FXML;
  TDateTime FDatetime = 0;
  std::unique_ptr<pugi::xml_document> FDoc;
  bool FNotFound = false;
  bool FShowErrors = true;
  bool FSalvarXML = false;
  std::string FPathXML;
  std::string FMS;
  std::string FMSU;
  std::string FMSP;

  // The held document came from a script-mode execution that found its result sets.
  bool FScriptLoaded = false;
  ResultSet FResultSet;
};

// Base64 text to text: UTF-8, UTF-16 LE or UTF-16 BE after a byte-order mark, else Windows-1252.
// Characters outside the base64 alphabet are skipped. The result is UTF-8; a failure gives "".
std::string DecodificaBase64(std::string_view Text);
