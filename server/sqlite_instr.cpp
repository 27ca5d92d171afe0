#include "sqlite_instr.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

std::string_view value_bytes(sqlite3_value *value, bool blob) {
  const void *data = blob ? sqlite3_value_blob(value) : static_cast<const void *>(sqlite3_value_text(value));
  return {static_cast<const char *>(data), static_cast<size_t>(sqlite3_value_bytes(value))};
}

void instr(sqlite3_context *context, int, sqlite3_value **values) {
  if (sqlite3_value_type(values[0]) == SQLITE_NULL || sqlite3_value_type(values[1]) == SQLITE_NULL)
    return;
  bool blobs = sqlite3_value_type(values[0]) == SQLITE_BLOB && sqlite3_value_type(values[1]) == SQLITE_BLOB;
  std::string_view text = value_bytes(values[0], blobs);
  std::string_view wanted = value_bytes(values[1], blobs);
  if (!text.data() || !wanted.data()) {
    if (sqlite3_errcode(sqlite3_context_db_handle(context)) == SQLITE_NOMEM)
      sqlite3_result_error_nomem(context);
    else
      sqlite3_result_int64(context, wanted.empty() ? 1 : 0);
    return;
  }
  // glibc's memmem is the two-way search: linear time, constant memory.
  const void *at =
      wanted.empty() ? text.data() : memmem(text.data(), text.size(), wanted.data(), wanted.size());
  if (!at) {
    sqlite3_result_int64(context, 0);
    return;
  }
  const char *found = static_cast<const char *>(at);
  // Characters of UTF-8 text are counted by their first bytes.
  auto position = blobs ? found - text.data()
                        : std::count_if(text.data(), found, [](char c) { return (c & 0xC0) != 0x80; });
  sqlite3_result_int64(context, static_cast<sqlite3_int64>(position) + 1);
}

} // namespace

void replace_instr(sqlite3 *db) {
  sqlite3_create_function(db, "instr", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, instr, nullptr,
                          nullptr);
}
