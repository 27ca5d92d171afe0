#pragma once

// The query service's SQL engine: a small pool of connections to one database (an SQLite file in WAL
// mode, or a MariaDB server), so that each request runs on a connection of its own.

#include "sql_connection.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Opens one more connection of the pool, under the pool's limits and its stop flag.
using ConnectionOpener = std::function<std::unique_ptr<SqlConnection>(const StatementLimits &limits,
                                                                      const std::atomic<bool> &stopping)>;

class Database {
public:
  // At most `connections` requests use the database at once.
  explicit Database(ConnectionOpener opener, const StatementLimits &limits = {}, std::size_t connections = 8);
  ~Database();
  Database(const Database &) = delete;
  Database &operator=(const Database &) = delete;

  // A connection taken from the pool for one request. When the lease ends, a transaction that the
  // request left open is rolled back and the connection goes back to the pool.
  class Lease {
  public:
    Lease(Database &owner, std::unique_ptr<SqlConnection> connection);
    ~Lease();
    Lease(const Lease &) = delete;
    Lease &operator=(const Lease &) = delete;
    SqlConnection *operator->() const { return connection_.get(); }

  private:
    Database &owner_;
    std::unique_ptr<SqlConnection> connection_;
  };

  // Waits for a free connection; fails once the service is stopping.
  Lease lease();

  // Runs a setup script of statements without results.
  void exec(const std::string &script);

  // The engine's declaration of a table's row number column (see SqlConnection).
  std::string row_key_declaration();

  // Cancels the statements that run and refuses new ones: the service is stopping.
  void stop();

  const StatementLimits &limits() const { return limits_; }

private:
  std::unique_ptr<SqlConnection> open();
  void lend(SqlConnection *connection);
  void give_back(std::unique_ptr<SqlConnection> connection);

  ConnectionOpener opener_;
  StatementLimits limits_;
  std::size_t capacity_;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::condition_variable returned_;
  std::vector<std::unique_ptr<SqlConnection>> idle_;
  std::vector<SqlConnection *> leased_; // cancelled when the service stops
  std::size_t open_ = 0;
};
