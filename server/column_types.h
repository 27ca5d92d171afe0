#pragma once

// MySQL client-protocol column type codes, as the query service reports its columns.

#include <string>
#include <string_view>
#include <vector>

struct ColumnType {
  int tipo = 253;
  long long tamanho = 0;
  int scale = -1; // decimal places of a decimal column, -1 when none are fixed
};

// From a declared SQL type ("VARCHAR(60)", "INTEGER", "DATE"...), as MySQL would describe that column.
ColumnType column_type_from_declaration(std::string_view declared);

// For a column without a declared type (an expression): from the storage classes and texts of its
// values. `storage` holds one SQLite type per non-NULL value, `texts` their text forms.
ColumnType column_type_from_values(const std::vector<int> &storage, const std::vector<std::string> &texts);

// Type codes 252, 253 and 254 carry base64 values.
inline bool carries_base64(int tipo) {
  return tipo == 252 || tipo == 253 || tipo == 254;
}
