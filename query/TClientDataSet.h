#pragma once

// TClientDataSet: a typed table held in memory. Define its fields with FieldDefs, build it with
// CreateDataSet, then Append, set the fields and Post each row; walk it with First, Next and EOF and
// read the fields of the current row through FieldByName.
//
// Rows are stored by column: one 64-bit slot and one null bit per cell, and for text and blob columns
// one shared byte buffer, so a table costs no heap object per cell. Text is UTF-8; failures throw
// Exception with a message for the person using the program.

#include "FixedDecimal.h"

#include <cstdint>
#include <cstdio>
#include <deque>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The tables' end-of-rows test is named EOF; the C library's macro of that name would swallow it.
// Including <cstdio> first keeps a later include from defining it again.
#undef EOF

enum TFieldType {
  ftUnknown,
  ftString,
  ftInteger,
  ftLargeint,
  ftBCD,
  ftDate,
  ftTime,
  ftDateTime,
  ftTimeStamp,
  ftBlob
};

enum TDataSetState { dsInactive, dsBrowse, dsInsert };

// The name of a data type, as messages show it ("Integer", "BCD"...).
const char *FieldTypeName(TFieldType type);

class TFieldDef {
public:
  const std::string &Name() const { return name_; }
  TFieldType DataType() const { return type_; }
  // Decimal places for ftBCD, characters for ftString, 0 for the other types.
  int Size() const { return size_; }

  // Also gives the type's default size: 4 for ftBCD, 20 for ftString, 0 otherwise.
  void SetDataType(TFieldType type);
  // Only ftString takes a size (at least 1); ftBCD keeps its four places.
  void SetSize(int size);

private:
  friend class TFieldDefs;
  std::string name_;
  TFieldType type_ = ftUnknown;
  int size_ = 0;
};

// The ordered field definitions of a table. Names are unique without regard to letter case.
class TFieldDefs {
public:
  // Adds a definition at the end; a name that is empty or already defined is refused.
  TFieldDef &Add(std::string_view name, TFieldType type);
  size_t Count() const { return defs_.size(); }
  const TFieldDef &operator[](size_t i) const { return defs_[i]; }
  // The definition of that name, or null.
  const TFieldDef *Find(std::string_view name) const;
  void Clear() { defs_.clear(); }

private:
  std::deque<TFieldDef> defs_; // a deque keeps references from Add valid
};

class TClientDataSet;

// One field of an open table. Reading gives the current row's value (the row being appended while one
// is); a null value reads as an empty text or zero. Writing is allowed only on the appended row.
class TField {
public:
  const std::string &FieldName() const { return name_; }
  TFieldType DataType() const { return type_; }
  int Size() const { return size_; }

  bool IsNull() const;
  // Dates and times in the service's forms, decimals with "," and four places, blobs as their bytes.
  std::string AsString() const;
  std::int32_t AsInteger() const;
  std::int64_t AsLargeInt() const;
  FixedDecimal AsBCD() const;
  // The runtime's date-time: days since 1899-12-30, the time of day as the fraction.
  double AsDateTime() const;
  std::vector<std::uint8_t> AsBytes() const;

  // Converts the text to the field's type: integers in decimal, decimals with "," (ftBCD), dates and
  // times in the service's forms; a text field keeps its first Size() characters, a blob the bytes.
  // An empty text makes every field but a text field null. A text that does not convert is refused.
  void AsVariant(std::string_view text);
  // The bytes of a ftBlob field.
  void AsVariant(std::span<const std::uint8_t> bytes);
  void AsBCD(FixedDecimal value);
  void Clear();

private:
  friend class TClientDataSet;
  TField(TClientDataSet &table, size_t index, const TFieldDef &def);
  // Throws "'text' reason (campo NAME, Type)".
  [[noreturn]] void Refuse(std::string_view text, const char *reason) const;
  void Store(std::int64_t value);

  TClientDataSet *table_;
  size_t index_;
  std::string name_;
  TFieldType type_;
  int size_;
};

class TClientDataSet {
public:
  TClientDataSet() = default;
  TClientDataSet(const TClientDataSet &) = delete;
  TClientDataSet &operator=(const TClientDataSet &) = delete;

  TFieldDefs &FieldDefs() { return defs_; }
  const TFieldDefs &FieldDefs() const { return defs_; }

  // Builds the open, empty table from the definitions; refused without definitions or when open.
  void CreateDataSet();
  // Drops the rows and the fields; the definitions stay for the next CreateDataSet.
  void Close();
  bool Active() const { return state_ != dsInactive; }
  TDataSetState State() const { return state_; }

  // While on (the default), posted rows are also held as changes not yet applied; off, posted rows
  // are plain rows of the table. MergeChangeLog makes the held changes plain rows.
  bool LogChanges() const { return log_changes_; }
  void LogChanges(bool on) { log_changes_ = on; }
  size_t ChangeCount() const { return change_count_; }
  void MergeChangeLog() { change_count_ = 0; }

  // Starts a new row, every field null, after the last one.
  void Append();
  // Stores the appended row at the end of the table and makes it the current row.
  void Post();
  // Drops the appended row.
  void Cancel();

  void First();
  void Next();
  // True when there is no current row: past the last row, or an empty table.
  bool EOF() const { return state_ != dsInsert && row_ >= RecordCount(); }
  size_t RecordCount() const { return rows_; }
  // The current row, counted from 1; 0 when there is none.
  size_t RecNo() const { return state_ == dsInsert || row_ >= rows_ ? 0 : row_ + 1; }

  size_t FieldCount() const { return fields_.size(); }
  TField &Fields(size_t i) { return fields_.at(i); }
  // The field of that name, without regard to letter case; an unknown name is refused.
  TField &FieldByName(std::string_view name);
  // The field of that name, or null.
  TField *FindField(std::string_view name);

private:
  friend class TField;

  // The 64-bit slot holds the value of number, date and time fields; for text and blob fields it is
  // the end of the cell's bytes in `bytes`, whose start is the previous row's end.
  struct Column {
    std::vector<std::int64_t> slots;
    std::vector<bool> nulls;
    std::string bytes;
  };
  struct PendingCell {
    bool null = true;
    std::int64_t value = 0;
    std::string bytes;
  };
  struct CellView {
    bool null = true;
    std::int64_t value = 0;
    std::string_view bytes;
  };

  CellView Cell(size_t field) const;
  PendingCell &Editable(size_t field);
  void RequireActive() const;
  void RequireBrowse() const;

  TFieldDefs defs_;
  std::deque<TField> fields_;
  std::vector<Column> columns_;
  std::vector<PendingCell> pending_;
  TDataSetState state_ = dsInactive;
  bool log_changes_ = true;
  size_t change_count_ = 0;
  size_t rows_ = 0;
  size_t row_ = 0;
};
