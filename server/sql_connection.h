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

  // Begins the statements of one request: their rows share one size limit.
  void start_request() { reply_bytes_ = 0; }

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

private:
  std::size_t reply_bytes_ = 0;
};

// The local time as "YYYY-MM-DD HH:MM:SS".
std::string local_now_text();

// The failure text of a reply past the size limit.
std::string reply_too_large(std::size_t limit);

// The failure text of a statement cancelled at its time limit.
std::string statement_too_long(std::chrono::milliseconds limit, const std::string &statement);

// The first keyword of a statement, upper-cased, past blanks and comments ("" when there is none).
std::string first_keyword(const std::string &sql);
