#pragma once

// One SQLite connection of the query service: the database file in WAL mode with the schema "sistema"
// attached, the NOW() function, and the guards that every client statement runs under (a time limit,
// a size limit on its rows, and an authorizer that keeps clients away from other files and from the
// settings that the connection keeps for later requests).

#include "column_types.h"

#include <atomic>
#include <chrono>
#include <cstddef>
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

struct StatementLimits {
  std::chrono::milliseconds time{std::chrono::seconds(30)};
  std::size_t reply_bytes = std::size_t(256) << 20;
};

class SqlConnection {
public:
  // `stopping`, once true, cancels the statement that runs and every later one.
  SqlConnection(const std::string &path, const StatementLimits &limits, const std::atomic<bool> &stopping);
  ~SqlConnection();
  SqlConnection(const SqlConnection &) = delete;
  SqlConnection &operator=(const SqlConnection &) = delete;

  // Begins the statements of one request: their rows share one size limit.
  void start_request() { reply_bytes_ = 0; }

  // Runs exactly one client statement; trailing blanks and one final ";" are allowed.
  StatementResult run(const std::string &sql);

  // Runs a script of statements without results, unguarded (setting up a catalogue).
  void exec(const std::string &script);

  // Whether a transaction is open, and its rollback.
  bool in_transaction() const;
  void rollback();

private:
  // Called by SQLite: whether the running statement is past its limit or the service is stopping.
  static int progress(void *self);
  static int busy(void *self, int attempts);
  static int authorize(void *self, int action, const char *, const char *, const char *, const char *);
  bool cancelled() const;
  [[noreturn]] void fail(const std::string &statement);

  sqlite3 *db_ = nullptr;
  const StatementLimits &limits_;
  const std::atomic<bool> &stopping_;
  std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
  bool vacuum_ = false; // the running statement is a VACUUM, whose own ATTACH of '' is allowed
  std::string refused_; // the action the authorizer refused in the running statement
  std::size_t reply_bytes_ = 0;
};

// The local time as "YYYY-MM-DD HH:MM:SS".
std::string local_now_text();

// The failure text of a reply past the size limit.
std::string reply_too_large(std::size_t limit);

// The first keyword of a statement, upper-cased, past blanks and comments ("" when there is none).
std::string first_keyword(const std::string &sql);
