#pragma once

// One SQLite connection of the query service: the database file in WAL mode with the schema "sistema"
// attached, the NOW() function, and the guards that every client statement runs under (a time limit,
// a size limit on its rows, and an authorizer that keeps clients away from other files and from the
// settings that the connection keeps for later requests).

#include "sql_connection.h"

#include <atomic>
#include <chrono>
#include <string>

struct sqlite3;

class SqliteConnection : public SqlConnection {
public:
  // `stopping`, once true, cancels the statement that runs and every later one.
  SqliteConnection(const std::string &path, const StatementLimits &limits, const std::atomic<bool> &stopping);
  ~SqliteConnection() override;
  SqliteConnection(const SqliteConnection &) = delete;
  SqliteConnection &operator=(const SqliteConnection &) = delete;

  bool end_request() override;
  StatementResult run(const std::string &sql) override;
  void exec(const std::string &script) override;
  bool in_transaction() const override;
  const char *row_key_declaration() const override { return "INTEGER PRIMARY KEY"; }

protected:
  void begin_transaction() override;
  void commit_transaction() override;

private:
  // Called by SQLite: whether the running statement is past its limit or the service is stopping.
  static int progress(void *self);
  static int busy(void *self, int attempts);
  static int authorize(void *self, int action, const char *, const char *, const char *, const char *);
  bool cancelled() const;
  void rollback();
  [[noreturn]] void fail(const std::string &statement);

  sqlite3 *db_ = nullptr;
  const StatementLimits &limits_;
  const std::atomic<bool> &stopping_;
  std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
  bool vacuum_ = false; // the running statement is a VACUUM, whose own ATTACH of '' is allowed
  std::string refused_; // the action the authorizer refused in the running statement
};
