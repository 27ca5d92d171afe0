#include "TClientDataSet.h"

#include "Exception.h"

namespace {

// ASCII letters, and the Latin-1 letters that Portuguese uses (U+00E0 to U+00FE but the division
// sign, two bytes in UTF-8), folded to upper case.
unsigned char fold(unsigned char previous, unsigned char c) {
  if (c >= 'a' && c <= 'z')
    return c - 32;
  if (previous == 0xC3 && c >= 0xA0 && c <= 0xBE && c != 0xB7)
    return c - 32;
  return c;
}

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  unsigned char previous_a = 0, previous_b = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char ca = a[i], cb = b[i];
    if (fold(previous_a, ca) != fold(previous_b, cb))
      return false;
    previous_a = ca;
    previous_b = cb;
  }
  return true;
}

bool has_bytes(TFieldType type) {
  return type == ftString || type == ftBlob;
}

} // namespace

const char *FieldTypeName(TFieldType type) {
  switch (type) {
  case ftString:
    return "String";
  case ftInteger:
    return "Integer";
  case ftLargeint:
    return "Largeint";
  case ftBCD:
    return "BCD";
  case ftDate:
    return "Date";
  case ftTime:
    return "Time";
  case ftDateTime:
    return "DateTime";
  case ftTimeStamp:
    return "TimeStamp";
  case ftBlob:
    return "Blob";
  case ftUnknown:
    break;
  }
  return "Unknown";
}

void TFieldDef::SetDataType(TFieldType type) {
  type_ = type;
  size_ = type == ftBCD ? FixedDecimal::Places : type == ftString ? 20 : 0;
}

void TFieldDef::SetSize(int size) {
  bool valid = type_ == ftString ? size >= 1 : size == (type_ == ftBCD ? FixedDecimal::Places : 0);
  if (!valid)
    throw Exception("Tamanho " + std::to_string(size) + " inválido para o campo " + name_ + " (" +
                    FieldTypeName(type_) + ")");
  size_ = size;
}

TFieldDef &TFieldDefs::Add(std::string_view name, TFieldType type) {
  if (name.empty())
    throw Exception("Nome de campo vazio");
  if (Find(name))
    throw Exception("Nome de campo duplicado: " + std::string(name));
  if (type == ftUnknown)
    throw Exception("Tipo de dado desconhecido para o campo " + std::string(name));
  TFieldDef &def = defs_.emplace_back();
  def.name_ = name;
  def.SetDataType(type);
  return def;
}

const TFieldDef *TFieldDefs::Find(std::string_view name) const {
  for (const TFieldDef &def : defs_)
    if (same_name(def.name_, name))
      return &def;
  return nullptr;
}

void TClientDataSet::CreateDataSet() {
  if (Active())
    throw Exception("A tabela já está aberta");
  if (defs_.Count() == 0)
    throw Exception("A tabela não tem definições de campos");
  for (size_t i = 0; i < defs_.Count(); ++i)
    fields_.push_back(TField(*this, i, defs_[i]));
  columns_.assign(defs_.Count(), Column{});
  pending_.assign(defs_.Count(), PendingCell{});
  rows_ = row_ = change_count_ = 0;
  state_ = dsBrowse;
}

void TClientDataSet::Close() {
  fields_.clear();
  columns_.clear();
  pending_.clear();
  rows_ = row_ = change_count_ = 0;
  state_ = dsInactive;
}

void TClientDataSet::RequireActive() const {
  if (!Active())
    throw Exception("A tabela não está aberta");
}

void TClientDataSet::RequireBrowse() const {
  RequireActive();
  if (state_ == dsInsert)
    throw Exception("Há um registro em inclusão: grave-o (Post) ou cancele-o (Cancel)");
}

void TClientDataSet::Append() {
  RequireBrowse();
  for (PendingCell &cell : pending_) {
    cell.null = true;
    cell.value = 0;
    cell.bytes.clear();
  }
  state_ = dsInsert;
}

void TClientDataSet::Post() {
  RequireActive();
  if (state_ != dsInsert)
    throw Exception("Não há registro em inclusão para gravar");
  for (size_t i = 0; i < columns_.size(); ++i) {
    Column &column = columns_[i];
    const PendingCell &cell = pending_[i];
    column.nulls.push_back(cell.null);
    if (has_bytes(fields_[i].DataType())) {
      column.bytes += cell.bytes;
      column.slots.push_back(static_cast<std::int64_t>(column.bytes.size()));
    } else {
      column.slots.push_back(cell.value);
    }
  }
  row_ = rows_++;
  if (log_changes_)
    ++change_count_;
  state_ = dsBrowse;
}

void TClientDataSet::Cancel() {
  RequireActive();
  state_ = dsBrowse;
}

void TClientDataSet::First() {
  RequireBrowse();
  row_ = 0;
}

void TClientDataSet::Next() {
  RequireBrowse();
  if (row_ < rows_)
    ++row_;
}

TField *TClientDataSet::FindField(std::string_view name) {
  for (TField &field : fields_)
    if (same_name(field.FieldName(), name))
      return &field;
  return nullptr;
}

TField &TClientDataSet::FieldByName(std::string_view name) {
  if (TField *field = FindField(name))
    return *field;
  throw Exception("Campo '" + std::string(name) + "' não encontrado");
}

TClientDataSet::CellView TClientDataSet::Cell(size_t field) const {
  if (state_ == dsInsert) {
    const PendingCell &cell = pending_[field];
    return {cell.null, cell.value, cell.bytes};
  }
  if (row_ >= rows_)
    return {};
  const Column &column = columns_[field];
  CellView view{column.nulls[row_], column.slots[row_], {}};
  if (has_bytes(fields_[field].DataType())) {
    size_t start = row_ == 0 ? 0 : static_cast<size_t>(column.slots[row_ - 1]);
    view.bytes = std::string_view(column.bytes).substr(start, static_cast<size_t>(view.value) - start);
  }
  return view;
}

TClientDataSet::PendingCell &TClientDataSet::Editable(size_t field) {
  if (state_ != dsInsert)
    throw Exception("A tabela não está em inclusão: use Append antes de alterar o campo " +
                    fields_[field].FieldName());
  return pending_[field];
}
