// The cursor over the rows of the current result set and the access to its fields and columns.

#include "reply_text.h"
#include "uMySql.h"

#include "Exception.h"

#include <cstring>
#include <unordered_map>

namespace {

[[noreturn]] void out_of_range(int64_t index) {
  throw Exception("Índice da lista fora dos limites (" + std::to_string(index) + ")");
}

pugi::xml_node child_at(pugi::xml_node parent, int64_t index) {
  if (index >= 0) {
    pugi::xml_node child = parent.first_child();
    for (int64_t i = 0; child && i < index; ++i)
      child = child.next_sibling();
    if (child)
      return child;
  }
  out_of_range(index);
}

std::string_view local_name(pugi::xml_node node) {
  std::string_view name = node.name();
  size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// Whether `name` is `field` with its letters a-z upper-cased; compared in place, as every field call
// of every row goes through here.
bool equals_upper(const char *name, std::string_view field) {
  for (char f : field) {
    char c = *name++;
    if (c == '\0' || c != (f >= 'a' && f <= 'z' ? static_cast<char>(f - 'a' + 'A') : f))
      return false;
  }
  return *name == '\0';
}

// The text of a field element; only an element holding a single piece of text (or none) has one.
std::string_view element_value(pugi::xml_node field) {
  if (field.type() != pugi::node_element)
    throw Exception("O campo não é um elemento");
  pugi::xml_node child = field.first_child();
  if (!child)
    return field.value();
  if (*field.value() == '\0' && !child.next_sibling() &&
      (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata))
    return child.value();
  throw Exception("O campo não contém somente texto");
}

// Past this many columns, names are found through a hash rather than by comparing each in turn.
constexpr size_t hashed_width = 32;

// Adds a name and its part after the prefix, keeping the first position each was seen at.
void index_name(std::unordered_map<std::string_view, size_t> &index, const char *name, const char *local,
                size_t position) {
  index.emplace(name, position);
  if (local)
    index.emplace(local, position);
}

// The asked name as element names are compared: the letters a-z upper-cased.
const std::string &upper_name(std::string &buffer, std::string_view field) {
  buffer.assign(field);
  for (char &c : buffer)
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
  return buffer;
}

bool has_lower_letter(const char *name) {
  for (; *name != '\0'; ++name)
    if (*name >= 'a' && *name <= 'z')
      return true;
  return false;
}

bool carries_base64(std::string_view type) {
  return type == "252" || type == "253" || type == "254";
}

} // namespace

const TDataXML::ResultSet &TDataXML::CurrentResultSet() {
  if (FResultSet.doc == FDoc.get() && FResultSet.script == FScript &&
      FResultSet.script_index == FScript_Index)
    return FResultSet;
  return LoadResultSet();
}

const TDataXML::ResultSet &TDataXML::LoadResultSet() {
  pugi::xml_node holder = FDoc->document_element();
  int64_t rows_at = 1;
  if (FScript) {
    holder = child_at(holder, FScript_Index);
    rows_at = 0;
  }
  pugi::xml_node rows = child_at(holder, rows_at);
  pugi::xml_node definitions = rows.next_sibling();
  ResultSet set;
  for (pugi::xml_node row : rows.children())
    set.rows.push_back(row);
  set.has_definitions = static_cast<bool>(definitions);
  for (pugi::xml_node definition : definitions.children()) {
    set.definitions.push_back(definition);
    if (definition.type() != pugi::node_element)
      continue;
    const char *name = definition.name();
    const char *colon = std::strchr(name, ':');
    std::string_view type = definition.attribute("tipo").value();
    set.columns.push_back({name, colon ? colon + 1 : nullptr, type, carries_base64(type), definition, 0, 0});
  }
  set.doc = FDoc.get();
  set.script = FScript;
  set.script_index = FScript_Index;
  FResultSet = std::move(set);
  return FResultSet;
}

// Each column's name hashed, for the calls that find columns by name: on the first of them, so that a
// walk by position alone never pays for it.
void TDataXML::IndexColumnNames() {
  ResultSet &set = FResultSet;
  if (set.names_indexed)
    return;
  // A name first seen at k keeps k; one seen before keeps where it was first seen.
  set.column_by_name.reserve(set.columns.size());
  for (size_t k = 0; k < set.columns.size(); ++k) {
    ResultSet::Column &column = set.columns[k];
    column.first_by_name = set.column_by_name.emplace(column.name, k).first->second;
    column.first_by_local = column.local ? set.column_by_name.emplace(column.local, k).first->second : 0;
  }
  set.column_of_position.reserve(set.definitions.size());
  size_t k = 0;
  for (pugi::xml_node definition : set.definitions) {
    // An upper-case name without a prefix is what FieldName gives and FieldType looks for.
    const bool element = definition.type() == pugi::node_element;
    if (element && set.columns[k].local == nullptr && !has_lower_letter(set.columns[k].name)) {
      set.column_of_position.push_back(set.columns[k++].first_by_name);
      continue;
    }
    k += element ? 1 : 0;
    auto found = set.column_by_name.find(upper_name(set.wanted, local_name(definition)));
    set.column_of_position.push_back(found == set.column_by_name.end() ? std::string::npos : found->second);
  }
  set.names_indexed = true;
}

// Finding the definitions element is not guarded: its absence fails the call that needs it.
const TDataXML::ResultSet &TDataXML::CurrentDefinitions() {
  const ResultSet &set = CurrentResultSet();
  if (!set.has_definitions)
    out_of_range(FScript ? 1 : 2);
  return set;
}

pugi::xml_node TDataXML::CurrentRow(const ResultSet &Set) const {
  if (static_cast<size_t>(FPosition - 1) >= Set.rows.size())
    out_of_range(FPosition - 1);
  return Set.rows[static_cast<size_t>(FPosition - 1)];
}

void TDataXML::ReadCurrentRow() {
  pugi::xml_node row = CurrentRow(CurrentResultSet());
  ResultSet &set = FResultSet;
  if (set.row_position == FPosition)
    return;
  set.row_children.clear();
  set.row_elements.clear();
  set.child_by_name.clear();
  set.row_named = false;
  for (pugi::xml_node child = row.first_child(); child; child = child.next_sibling()) {
    set.row_children.push_back(child);
    if (child.type() == pugi::node_element)
      set.row_elements.push_back({child, child.name(), nullptr});
  }
  set.row_follows_columns = set.has_definitions && set.row_elements.size() == set.columns.size();
  for (size_t k = 0; set.row_follows_columns && k < set.columns.size(); ++k)
    set.row_follows_columns = std::strcmp(set.row_elements[k].name, set.columns[k].name) == 0;
  set.row_position = FPosition;
}

pugi::xml_node TDataXML::CurrentRowChild(int32_t Indice) {
  ReadCurrentRow();
  if (static_cast<size_t>(Indice) >= FResultSet.row_children.size())
    out_of_range(Indice);
  return FResultSet.row_children[static_cast<size_t>(Indice)];
}

void TDataXML::Next() {
  // A reply may claim the largest row count there is; past its last row no position is left.
  if (FPosition > FRecordCount || FPosition == INT32_MAX)
    Report(5, "Fim do Registro", "Fim do Registro");
  else
    ++FPosition;
}

void TDataXML::Previous() {
  if (FPosition < 1)
    Report(4, "Início do Registro", "Início do Registro");
  else
    --FPosition;
}

static const char *const no_data = "DataXML não foi criado ou SQL não retornou registros.";
static const char *const bad_index = "Valor inválido para ocorrência de valor";

int32_t TDataXML::FieldsCount() {
  if (!Guarded()) {
    Report(6, no_data, no_data);
    return 0;
  }
  return static_cast<int32_t>(CurrentDefinitions().definitions.size());
}

// The checks that FieldName and FieldByIndex make before they touch the document: errors 6 and 11.
bool TDataXML::ColumnIndexUsable(int32_t Indice) {
  if (!Guarded()) {
    Report(6, no_data, no_data);
    return false;
  }
  if (Indice < 0) {
    Report(11, bad_index, bad_index);
    return false;
  }
  return true;
}

std::string TDataXML::FieldName(int32_t Indice) {
  if (!ColumnIndexUsable(Indice))
    return "";
  const ResultSet &set = CurrentDefinitions();
  if (static_cast<size_t>(Indice) >= set.definitions.size()) {
    Report(14, "Erro inesperado ao retornar nome do campo.", "Erro inesperado ao retornar nome do campo");
    return "";
  }
  return std::string(local_name(set.definitions[static_cast<size_t>(Indice)]));
}

std::string TDataXML::FieldByIndex(int32_t Indice) {
  if (!ColumnIndexUsable(Indice))
    return "";
  CurrentResultSet();
  try {
    std::string_view value = element_value(CurrentRowChild(Indice));
    const ResultSet &set = CurrentDefinitions();
    if (static_cast<size_t>(Indice) >= set.definitions.size()) {
      // FieldName's failure; when it raises nothing, the value goes out as the reply holds it.
      Report(14, "Erro inesperado ao retornar nome do campo.", "Erro inesperado ao retornar nome do campo");
      return std::string(value);
    }
    IndexColumnNames();
    const size_t column = set.column_of_position[static_cast<size_t>(Indice)];
    return column != std::string::npos && set.columns[column].base64 ? DecodificaBase64(value)
                                                                     : std::string(value);
  } catch (const std::exception &) {
    Report(12, "Erro inesperado ao retornar valor.", "Erro inesperado ao retornar valor");
    return "";
  }
}

std::string TDataXML::FieldByName(const std::string &Field) {
  if (!Guarded()) {
    Report(6, no_data, no_data);
    return "";
  }
  const ResultSet::Column *column = nullptr;
  pugi::xml_node field = CurrentField(Field, column);
  if (!field) {
    Report(7, "Nome do campo não foi encontrado.", "Nome do campo não foi encontrado.");
    return "";
  }
  try {
    std::string_view value = element_value(field);
    if (column == nullptr)
      column = ColumnNamed(Field);
    return column && column->base64 ? DecodificaBase64(value) : std::string(value);
  } catch (const std::exception &) {
    Report(8, "Erro inesperado ao retornar valor.", "Erro inesperado ao retornar valor");
    return "";
  }
}

bool TDataXML::FieldExist(const std::string &Field) {
  if (!Guarded())
    return false;
  const ResultSet::Column *column = nullptr;
  pugi::xml_node field = CurrentField(Field, column);
  if (!field)
    return false;
  try {
    element_value(field);
    return true;
  } catch (const std::exception &) {
    return false;
  }
}

bool TDataXML::FieldText(int32_t Indice, std::string_view &Value) {
  if (!Guarded() || Indice < 0)
    return false;
  // Finding the row is not guarded, as for the field calls by name.
  ReadCurrentRow();
  if (static_cast<size_t>(Indice) >= FResultSet.row_children.size())
    return false;
  try {
    Value = element_value(FResultSet.row_children[static_cast<size_t>(Indice)]);
    return true;
  } catch (const std::exception &) {
    return false;
  }
}

bool TDataXML::FieldIsNull(int32_t Indice) {
  std::string_view value;
  try {
    return FieldText(Indice, value) && value.empty();
  } catch (const std::exception &) {
    return false;
  }
}

std::string_view TDataXML::FieldTypeAt(int32_t Indice) {
  if (!Guarded() || Indice < 0)
    return {};
  try {
    const ResultSet &set = CurrentDefinitions();
    if (static_cast<size_t>(Indice) >= set.definitions.size())
      return {};
    return set.definitions[static_cast<size_t>(Indice)].attribute("tipo").value();
  } catch (const std::exception &) {
    return {};
  }
}

int64_t TDataXML::RowsAffected() {
  if (FDoc == nullptr)
    return -1;
  try {
    pugi::xml_node holder = FDoc->document_element();
    pugi::xml_node rows = FScript ? child_at(child_at(holder, FScript_Index), 0) : child_at(holder, 1);
    pugi::xml_attribute afetados = rows.attribute("afetados");
    return afetados ? reply_text::to_int64(afetados.value()) : -1;
  } catch (const std::exception &) {
    return -1;
  }
}

const TDataXML::ResultSet::Column *TDataXML::ColumnNamed(std::string_view Field) {
  CurrentDefinitions();
  IndexColumnNames();
  std::vector<ResultSet::Column> &columns = FResultSet.columns;
  if (columns.empty())
    return nullptr;
  size_t hint = FResultSet.next_column < columns.size() ? FResultSet.next_column : 0;
  const ResultSet::Column &guess = columns[hint];
  if (equals_upper(guess.name, Field)) {
    FResultSet.next_column = hint + 1;
    return &columns[guess.first_by_name];
  }
  if (guess.local && equals_upper(guess.local, Field)) {
    FResultSet.next_column = hint + 1;
    return &columns[guess.first_by_local];
  }
  if (columns.size() > hashed_width) {
    auto found = FResultSet.column_by_name.find(upper_name(FResultSet.wanted, Field));
    if (found == FResultSet.column_by_name.end())
      return nullptr;
    FResultSet.next_column = found->second + 1;
    return &columns[found->second];
  }
  for (size_t k = 0; k < columns.size(); ++k)
    if (equals_upper(columns[k].name, Field) || (columns[k].local && equals_upper(columns[k].local, Field))) {
      FResultSet.next_column = k + 1;
      return &columns[k];
    }
  return nullptr;
}

// The field element of that name in the current row; Column is its column when the row follows the
// columns, and is found that way at no further cost.
pugi::xml_node TDataXML::CurrentField(std::string_view Field, const ResultSet::Column *&Column) {
  ReadCurrentRow();
  ResultSet &set = FResultSet;
  if (set.row_follows_columns) {
    Column = ColumnNamed(Field);
    return Column ? set.row_elements[static_cast<size_t>(Column - set.columns.data())].node
                  : pugi::xml_node();
  }
  // A row that does not follow the columns: its names after their prefixes are read, and those of a
  // wide row hashed, on the first call that needs them.
  std::vector<ResultSet::Child> &children = set.row_elements;
  const bool wide = children.size() > hashed_width;
  if (!set.row_named) {
    if (wide)
      set.child_by_name.reserve(children.size());
    for (size_t k = 0; k < children.size(); ++k) {
      const char *colon = std::strchr(children[k].name, ':');
      children[k].local = colon ? colon + 1 : nullptr;
      if (wide)
        index_name(set.child_by_name, children[k].name, children[k].local, k);
    }
    set.row_named = true;
  }
  if (wide) {
    auto found = set.child_by_name.find(upper_name(set.wanted, Field));
    return found == set.child_by_name.end() ? pugi::xml_node() : children[found->second].node;
  }
  for (const ResultSet::Child &child : children)
    if (equals_upper(child.name, Field) || (child.local && equals_upper(child.local, Field)))
      return child.node;
  return {};
}

std::string TDataXML::FieldType(const std::string &Field) {
  if (!Guarded())
    return "";
  const ResultSet::Column *column = ColumnNamed(Field);
  return column ? std::string(column->type) : std::string();
}

int64_t TDataXML::FieldSize(const std::string &Field) {
  if (!Guarded())
    return 0;
  const ResultSet::Column *column = ColumnNamed(Field);
  if (!column)
    return 0;
  return reply_text::to_int64(column->definition.attribute("tamanho").value());
}

void TDataXML::SetScript_Index(int32_t Value) {
  if (!FScriptLoaded || Value < 1 || Value > FScript_Count)
    return;
  EscolheScript(Value);
}

// The count is read and checked first, so that a refused one changes nothing.
void TDataXML::EscolheScript(int32_t Index) {
  pugi::xml_node rows = child_at(child_at(FDoc->document_element(), Index), 0);
  const int32_t count = reply_text::to_row_count(rows.attribute("rows").value());
  FScript_Index = Index;
  FPosition = 1;
  FRecordCount = count;
}
