#pragma once

// The query service's SQL engine: an SQLite database with the schema "sistema" attached, and a NOW()
// function that gives the local time as MySQL writes it.

#include "column_types.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct sqlite3;

struct ResultColumn {
  std::string name;
  ColumnType type;
};

// The outcome of one statement. A statement that yields no columns (INSERT, UPDATE, CREATE...) has
// is_query false. Values are bytes (text as UTF-8); NULL is nullopt.
struct StatementResult {
  bool is_query = false;
  std::vector<ResultColumn> columns;
  std::vector<std::vector<std::optional<std::string>>> rows;
  long long last_id = 0;
  long long changes = 0; // rows that a statement without columns changed
};

class SqlError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class Database {
public:
  // `path` ":memory:" keeps everything in memory; a file path creates the file, and the schema
  // "sistema" lives beside it in `path` + ".sistema".
  explicit Database(const std::string &path);
  ~Database();
  Database(const Database &) = delete;
  Database &operator=(const Database &) = delete;

  // Runs exactly one statement; trailing blanks and one final ";" are allowed.
  StatementResult run(const std::string &sql);

  // Runs a script of statements without results (setting up a catalogue).
  void exec(const std::string &script);

private:
  sqlite3 *db_ = nullptr;
};

// The local time as "YYYY-MM-DD HH:MM:SS".
std::string local_now_text();
