#pragma once

// One connection of the query service to its database, whichever engine holds it. Every client
// statement runs under the same guards: a time limit and a size limit on its rows.

#include "column_types.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct ResultColumn {
  std::string name;
  ColumnType type;
  bool binary = false; // bytes without a character set (BLOB, BINARY), never re-encoded
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
  virtual ~SqlConnection() = default;

  // Begins the statements of one request: their rows share one size limit. A write that the client
  // runs outside a transaction of its own is held, uncommitted, until commit_held_writes(), so that a
  // request answered with a failure (its reply past the limit) has written nothing.
  void start_request() {
    reply_bytes_ = 0;
    holding_ = false;
  }

  // Commits the writes held for the request, once its reply is known to be sent.
  void commit_held_writes();

  // Whether the client left a transaction of its own open.
  bool client_transaction_open() const { return in_transaction() && !holding_; }

  // Ends a request: what it left open is undone and the connection is ready for the next one; false
  // when the connection is lost and must not be used again.
  virtual bool end_request() = 0;

  // Runs exactly one client statement; trailing blanks and one final ";" are allowed.
  virtual StatementResult run(const std::string &sql) = 0;

  // Runs a script of statements without results, unguarded (setting up a catalogue).
  virtual void exec(const std::string &script) = 0;

  // Whether a transaction is open.
  virtual bool in_transaction() const = 0;

  // Called from another thread when the service stops: ends the statement that runs now. An engine
  // that watches the stop flag while it runs needs nothing more.
  virtual void cancel() {}

  // The column of the sample tables' row number, filled by the engine when an insert leaves it out.
  virtual const char *row_key_declaration() const = 0;

protected:
  // Counts `bytes` of rows against the request's limit; fails past it.
  void count_reply_bytes(std::size_t bytes, const StatementLimits &limits);

  // Called by run() before the client statement `sql`, which `writes` or not: holds the writes of a
  // query or change when no transaction is open, and commits the held ones before any other statement
  // (one that controls transactions or the schema: the client's transaction takes over, or the engine
  // would commit them itself).
  void hold_writes_of(const std::string &sql, bool writes);

  // The engine's own statements that begin and commit the held transaction.
  virtual void begin_transaction() = 0;
  virtual void commit_transaction() = 0;

private:
  std::size_t reply_bytes_ = 0;
  bool holding_ = false; // the open transaction is the service's, holding the request's writes
};

// The local time as "YYYY-MM-DD HH:MM:SS".
std::string local_now_text();

// The failure text of a reply past the size limit.
std::string reply_too_large(std::size_t limit);

// The failure text of a statement cancelled at its time limit.
std::string statement_too_long(std::chrono::milliseconds limit, const std::string &statement);

// The first keyword of a statement, upper-cased, past blanks and comments ("" when there is none).
std::string first_keyword(const std::string &sql);
