#include "Database.h"

#include "text.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>

namespace {

void now_function(sqlite3_context *context, int, sqlite3_value **) {
  std::string now = local_now_text();
  sqlite3_result_text(context, now.c_str(), static_cast<int>(now.size()), SQLITE_TRANSIENT);
}

std::string value_bytes(sqlite3_stmt *stmt, int column, const ColumnType &type) {
  int storage = sqlite3_column_type(stmt, column);
  if (type.tipo == 246 && type.scale >= 0 && storage != SQLITE_TEXT && storage != SQLITE_BLOB) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", type.scale, sqlite3_column_double(stmt, column));
    return buffer;
  }
  if (storage == SQLITE_BLOB) {
    const void *data = sqlite3_column_blob(stmt, column);
    return std::string(static_cast<const char *>(data),
                       static_cast<size_t>(sqlite3_column_bytes(stmt, column)));
  }
  const unsigned char *data = sqlite3_column_text(stmt, column);
  return std::string(reinterpret_cast<const char *>(data),
                     static_cast<size_t>(sqlite3_column_bytes(stmt, column)));
}

bool only_blanks(const char *s) {
  for (; *s; ++s)
    if (*s != ';' && static_cast<unsigned char>(*s) > ' ')
      return false;
  return true;
}

} // namespace

std::string local_now_text() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
  return buffer;
}

Database::Database(const std::string &path) {
  if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) {
    std::string message = db_ ? sqlite3_errmsg(db_) : "sem memória";
    sqlite3_close(db_);
    throw SqlError("Não foi possível abrir o banco de dados " + path + ": " + message);
  }
  sqlite3_busy_timeout(db_, 5000);
  sqlite3_create_function(db_, "NOW", 0, SQLITE_UTF8, nullptr, now_function, nullptr, nullptr);
  std::string sistema = path == ":memory:" ? path : path + ".sistema";
  char *quoted = sqlite3_mprintf("ATTACH DATABASE %Q AS sistema", sistema.c_str());
  std::unique_ptr<char, decltype(&sqlite3_free)> attach(quoted, sqlite3_free);
  try {
    exec(attach.get());
  } catch (...) {
    sqlite3_close(db_);
    throw;
  }
}

Database::~Database() {
  sqlite3_close(db_);
}

void Database::exec(const std::string &script) {
  char *error = nullptr;
  if (sqlite3_exec(db_, script.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : sqlite3_errmsg(db_);
    sqlite3_free(error);
    throw SqlError(message);
  }
}

StatementResult Database::run(const std::string &sql) {
  sqlite3_stmt *raw = nullptr;
  const char *tail = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &raw, &tail) != SQLITE_OK)
    throw SqlError(sqlite3_errmsg(db_));
  std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> stmt(raw, sqlite3_finalize);
  if (!stmt)
    throw SqlError("comando vazio");
  if (tail && !only_blanks(tail))
    throw SqlError("mais de um comando; envie-os como script");

  StatementResult result;
  const sqlite3_int64 changes_before = sqlite3_total_changes64(db_);
  int count = sqlite3_column_count(raw);
  result.is_query = count > 0;
  std::vector<bool> declared(static_cast<size_t>(count));
  for (int c = 0; c < count; ++c) {
    ResultColumn column;
    column.name = text::upper_ascii(sqlite3_column_name(raw, c));
    const char *decl = sqlite3_column_decltype(raw, c);
    declared[static_cast<size_t>(c)] = decl != nullptr;
    if (decl)
      column.type = column_type_from_declaration(decl);
    result.columns.push_back(std::move(column));
  }

  // Expression columns are typed from their values, which need a first pass with raw texts.
  std::vector<std::vector<int>> storage(static_cast<size_t>(count));
  std::vector<std::vector<std::string>> texts(static_cast<size_t>(count));
  int rc;
  while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
    std::vector<std::optional<std::string>> row;
    for (int c = 0; c < count; ++c) {
      auto column = static_cast<size_t>(c);
      if (sqlite3_column_type(raw, c) == SQLITE_NULL) {
        row.emplace_back();
        continue;
      }
      row.emplace_back(value_bytes(raw, c, result.columns[column].type));
      if (!declared[column]) {
        storage[column].push_back(sqlite3_column_type(raw, c));
        texts[column].push_back(*row.back());
      }
    }
    result.rows.push_back(std::move(row));
  }
  if (rc != SQLITE_DONE)
    throw SqlError(sqlite3_errmsg(db_));
  for (int c = 0; c < count; ++c) {
    auto column = static_cast<size_t>(c);
    if (!declared[column])
      result.columns[column].type = column_type_from_values(storage[column], texts[column]);
  }
  result.last_id = sqlite3_last_insert_rowid(db_);
  // The count of the statement itself: sqlite3_changes would keep an earlier one after a CREATE.
  if (!result.is_query)
    result.changes = sqlite3_total_changes64(db_) - changes_before;
  return result;
}
