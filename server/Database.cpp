#include "Database.h"

#include <utility>

Database::Database(ConnectionOpener opener, const StatementLimits &limits, std::size_t connections)
    : opener_(std::move(opener)), limits_(limits), capacity_(connections < 1 ? 1 : connections) {
  // The first connection proves that the files can be opened, before anything is served.
  idle_.push_back(open());
  open_ = 1;
}

Database::~Database() = default;

std::unique_ptr<SqlConnection> Database::open() {
  return opener_(limits_, stopping_);
}

Database::Lease Database::lease() {
  std::unique_lock lock(mutex_);
  returned_.wait(lock, [&] { return stopping_ || !idle_.empty() || open_ < capacity_; });
  if (stopping_)
    throw SqlError("comando recusado: o serviço está parando");
  if (!idle_.empty()) {
    std::unique_ptr<SqlConnection> connection = std::move(idle_.back());
    idle_.pop_back();
    leased_.push_back(connection.get());
    lock.unlock();
    return Lease(*this, std::move(connection));
  }
  ++open_;
  lock.unlock();
  try {
    std::unique_ptr<SqlConnection> connection = open();
    lend(connection.get());
    return Lease(*this, std::move(connection));
  } catch (...) {
    lock.lock();
    --open_;
    returned_.notify_one();
    throw;
  }
}

void Database::lend(SqlConnection *connection) {
  std::lock_guard lock(mutex_);
  leased_.push_back(connection);
}

void Database::give_back(std::unique_ptr<SqlConnection> connection) {
  bool usable = connection->end_request();
  {
    std::lock_guard lock(mutex_);
    std::erase(leased_, connection.get());
    if (usable)
      idle_.push_back(std::move(connection));
    else
      --open_; // a lost connection is closed; the next lease opens a new one
  }
  returned_.notify_one();
}

void Database::exec(const std::string &script) {
  lease()->exec(script);
}

std::string Database::row_key_declaration() {
  return lease()->row_key_declaration();
}

void Database::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    for (SqlConnection *connection : leased_)
      connection->cancel();
  }
  returned_.notify_all();
}

Database::Lease::Lease(Database &owner, std::unique_ptr<SqlConnection> connection)
    : owner_(owner), connection_(std::move(connection)) {
  connection_->start_request();
}

Database::Lease::~Lease() {
  owner_.give_back(std::move(connection_));
}
