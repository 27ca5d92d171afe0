#pragma once

// One connection of the query service to a MariaDB (or MySQL) server through MariaDB's C connector.
// The server's own result metadata gives each column its type code, size and decimals; its
// max_statement_time enforces the statement time limit.

#include "sql_connection.h"

#include <atomic>
#include <string>

struct st_mysql;

struct MariadbSettings {
  std::string socket; // a Unix socket path, or empty for host and port
  std::string host;
  unsigned port = 3306;
  std::string user = "root";
  std::string password;
  std::string database = "velacorte";
};

// "SOCKET_PATH" (anything with a "/") or "HOST[:PORT]"; false for a malformed port.
bool read_mariadb_address(const std::string &address, MariadbSettings &settings);

// Where the settings point, for messages: the socket or HOST:PORT, and the database.
std::string mariadb_place(const MariadbSettings &settings);

class MariadbConnection : public SqlConnection {
public:
  // Connects, with the character set utf8mb4 and the statement time limit set for the session.
  // `stopping`, once true, refuses every later statement.
  MariadbConnection(const MariadbSettings &settings, const StatementLimits &limits,
                    const std::atomic<bool> &stopping);
  ~MariadbConnection() override;
  MariadbConnection(const MariadbConnection &) = delete;
  MariadbConnection &operator=(const MariadbConnection &) = delete;

  bool end_request() override;
  StatementResult run(const std::string &sql) override;
  void exec(const std::string &script) override;
  bool in_transaction() const override;
  void cancel() override;
  const char *row_key_declaration() const override { return "INTEGER PRIMARY KEY AUTO_INCREMENT"; }

protected:
  void begin_transaction() override;
  void commit_transaction() override;

private:
  void set_up_session();
  void query(const std::string &sql);
  [[noreturn]] void fail(const std::string &sql);

  st_mysql *db_ = nullptr;
  MariadbSettings settings_;
  unsigned long thread_id_ = 0; // the server's id of this connection, for KILL QUERY
  std::string place_;
  const StatementLimits &limits_;
  const std::atomic<bool> &stopping_;
};
