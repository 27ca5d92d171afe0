#include "sqlite_connection.h"

#include "reply_document.h"
#include "sqlite_instr.h"
#include "text.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <ctime>
#include <memory>
#include <strings.h>
#include <thread>

namespace {

void now_function(sqlite3_context *context, int, sqlite3_value **) {
  std::string now = local_now_text();
  sqlite3_result_text(context, now.c_str(), static_cast<int>(now.size()), SQLITE_TRANSIENT);
}

std::string value_bytes(sqlite3_stmt *stmt, int column, const ColumnType &type) {
  int storage = sqlite3_column_type(stmt, column);
  if (type.tipo == 246 && type.scale >= 0 && storage != SQLITE_TEXT && storage != SQLITE_BLOB) {
    // A double reaches 309 digits before its point: the text is as long as it needs.
    double value = sqlite3_column_double(stmt, column);
    std::string digits(static_cast<size_t>(std::snprintf(nullptr, 0, "%.*f", type.scale, value)), '\0');
    std::snprintf(digits.data(), digits.size() + 1, "%.*f", type.scale, value);
    return digits;
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

// The type code that a value of an expression column takes when its column holds only such values.
int type_of_stored(int storage) {
  if (storage == SQLITE_BLOB)
    return 252;
  return storage == SQLITE_TEXT ? 253 : 8;
}

bool only_blanks(const char *s) {
  for (; *s; ++s)
    if (*s != ';' && static_cast<unsigned char>(*s) > ' ')
      return false;
  return true;
}

// Progress checks run every this many virtual machine instructions.
constexpr int progress_interval = 1000;

} // namespace

SqliteConnection::SqliteConnection(const std::string &path, const StatementLimits &limits,
                                   const std::atomic<bool> &stopping)
    : limits_(limits), stopping_(stopping) {
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
    std::string message = db_ ? sqlite3_errmsg(db_) : "sem memória";
    sqlite3_close(db_);
    throw SqlError("abrir o banco de dados " + path + ": " + message);
  }
  sqlite3_busy_handler(db_, busy, this);
  sqlite3_create_function(db_, "NOW", 0, SQLITE_UTF8, nullptr, now_function, nullptr, nullptr);
  replace_instr(db_);
  sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
  char *quoted = sqlite3_mprintf("PRAGMA main.journal_mode = WAL; ATTACH DATABASE %Q AS sistema;"
                                 "PRAGMA sistema.journal_mode = WAL",
                                 (path + ".sistema").c_str());
  std::unique_ptr<char, decltype(&sqlite3_free)> setup(quoted, sqlite3_free);
  try {
    exec(setup.get());
  } catch (const SqlError &e) {
    sqlite3_close(db_);
    throw SqlError("abrir o banco de dados " + path + ": " + e.what());
  }
  // A value past the reply limit could never be sent: SQLite refuses to make one (zeroblob(900000000))
  // instead of building it first.
  constexpr std::size_t smallest_value_limit = std::size_t(1) << 20;
  sqlite3_limit(db_, SQLITE_LIMIT_LENGTH,
                static_cast<int>(std::clamp<std::size_t>(limits.reply_bytes, smallest_value_limit, INT_MAX)));
  sqlite3_set_authorizer(db_, authorize, this);
  sqlite3_progress_handler(db_, progress_interval, progress, this);
}

SqliteConnection::~SqliteConnection() {
  sqlite3_close(db_);
}

bool SqliteConnection::cancelled() const {
  return stopping_.load() || std::chrono::steady_clock::now() >= deadline_;
}

int SqliteConnection::progress(void *self) {
  return static_cast<SqliteConnection *>(self)->cancelled() ? 1 : 0;
}

int SqliteConnection::busy(void *self, int) {
  if (static_cast<SqliteConnection *>(self)->cancelled())
    return 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  return 1;
}

int SqliteConnection::authorize(void *self, int action, const char *first, const char *second, const char *,
                                const char *) {
  auto *connection = static_cast<SqliteConnection *>(self);
  switch (action) {
  case SQLITE_ATTACH:
    // A plain VACUUM attaches a temporary database named ''; VACUUM INTO attaches its target.
    if (connection->vacuum_ && first && !*first)
      return SQLITE_OK;
    connection->refused_ = connection->vacuum_ ? "VACUUM INTO" : "ATTACH";
    return SQLITE_DENY;
  case SQLITE_DETACH:
    if (connection->vacuum_)
      return SQLITE_OK;
    connection->refused_ = "DETACH";
    return SQLITE_DENY;
  case SQLITE_PRAGMA:
    // Reading a setting is harmless; changing one would change it for every later request that the
    // pooled connection serves (or, like journal_mode, for the database file).
    if (!second)
      return SQLITE_OK;
    connection->refused_ = std::string("PRAGMA ") + (first ? first : "");
    return SQLITE_DENY;
  case SQLITE_FUNCTION:
    if (second && strcasecmp(second, "load_extension") == 0) {
      connection->refused_ = "load_extension";
      return SQLITE_DENY;
    }
    return SQLITE_OK;
  default:
    return SQLITE_OK;
  }
}

void SqliteConnection::fail(const std::string &statement) {
  if (!refused_.empty())
    throw SqlError(refused_ +
                   (refused_.rfind("PRAGMA", 0) == 0
                        ? " recusado: as configurações das conexões do serviço são fixas"
                        : " recusado: o serviço não abre nem grava outros arquivos de banco de dados"));
  if (sqlite3_errcode(db_) == SQLITE_INTERRUPT) {
    if (stopping_.load())
      throw SqlError("comando cancelado: o serviço está parando");
    throw SqlError(statement_too_long(limits_.time, statement));
  }
  throw SqlError(sqlite3_errmsg(db_));
}

void SqliteConnection::exec(const std::string &script) {
  char *error = nullptr;
  if (sqlite3_exec(db_, script.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : sqlite3_errmsg(db_);
    sqlite3_free(error);
    throw SqlError(message);
  }
}

bool SqliteConnection::in_transaction() const {
  return sqlite3_get_autocommit(db_) == 0;
}

bool SqliteConnection::end_request() {
  if (in_transaction())
    rollback();
  // Temporary objects would outlive the request and shadow the database's tables in later ones: a
  // connection that has any is closed, and the next request gets a new one.
  sqlite3_stmt *raw = nullptr;
  if (sqlite3_prepare_v2(db_, "SELECT 1 FROM temp.sqlite_master", -1, &raw, nullptr) != SQLITE_OK)
    return false;
  std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> temporary(raw, sqlite3_finalize);
  return sqlite3_step(raw) == SQLITE_DONE;
}

void SqliteConnection::begin_transaction() {
  exec("BEGIN IMMEDIATE");
}

void SqliteConnection::commit_transaction() {
  exec("COMMIT");
}

void SqliteConnection::rollback() {
  // The statement limit does not apply: a rollback must not be cancelled half-way.
  sqlite3_progress_handler(db_, 0, nullptr, nullptr);
  sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_progress_handler(db_, progress_interval, progress, this);
}

StatementResult SqliteConnection::run(const std::string &sql) {
  vacuum_ = first_keyword(sql) == "VACUUM";
  refused_.clear();
  deadline_ = std::chrono::steady_clock::now() + limits_.time;
  struct EndOfStatement {
    std::chrono::steady_clock::time_point &deadline;
    ~EndOfStatement() { deadline = std::chrono::steady_clock::time_point::max(); }
  } end_of_statement{deadline_};

  sqlite3_stmt *raw = nullptr;
  const char *tail = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &raw, &tail) != SQLITE_OK)
    fail(sql);
  std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> stmt(raw, sqlite3_finalize);
  if (!stmt)
    throw SqlError("comando vazio");
  if (tail && !only_blanks(tail))
    throw SqlError("mais de um comando; envie-os como script");
  hold_writes_of(sql, !sqlite3_stmt_readonly(raw));

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
    size_t bytes = 0;
    for (int c = 0; c < count; ++c) {
      auto column = static_cast<size_t>(c);
      int stored = sqlite3_column_type(raw, c);
      if (stored == SQLITE_NULL) {
        row.emplace_back();
        bytes += reply::value_cost(result.columns[column].name, nullptr, 0);
        continue;
      }
      row.emplace_back(value_bytes(raw, c, result.columns[column].type));
      // An expression column's type is known once every row is read: counted by the value's own.
      int tipo = declared[column] ? result.columns[column].type.tipo : type_of_stored(stored);
      bytes += reply::value_cost(result.columns[column].name, &*row.back(), tipo);
      if (!declared[column]) {
        storage[column].push_back(stored);
        texts[column].push_back(*row.back());
      }
    }
    count_reply_bytes(bytes, limits_);
    result.rows.push_back(std::move(row));
  }
  if (rc != SQLITE_DONE)
    fail(sql);
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
