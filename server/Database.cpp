#include "Database.h"

Database::Database(const std::string &path, const StatementLimits &limits, std::size_t connections)
    : path_(path), limits_(limits), capacity_(connections < 1 ? 1 : connections) {
  // The first connection proves that the files can be opened, before anything is served.
  idle_.push_back(open());
  open_ = 1;
}

Database::~Database() = default;

std::unique_ptr<SqlConnection> Database::open() {
  return std::make_unique<SqlConnection>(path_, limits_, stopping_);
}

Database::Lease Database::lease() {
  std::unique_lock lock(mutex_);
  returned_.wait(lock, [&] { return stopping_ || !idle_.empty() || open_ < capacity_; });
  if (stopping_)
    throw SqlError("comando recusado: o serviço está parando");
  if (!idle_.empty()) {
    std::unique_ptr<SqlConnection> connection = std::move(idle_.back());
    idle_.pop_back();
    return Lease(*this, std::move(connection));
  }
  ++open_;
  lock.unlock();
  try {
    return Lease(*this, open());
  } catch (...) {
    lock.lock();
    --open_;
    returned_.notify_one();
    throw;
  }
}

void Database::give_back(std::unique_ptr<SqlConnection> connection) {
  if (connection->in_transaction())
    connection->rollback();
  {
    std::lock_guard lock(mutex_);
    idle_.push_back(std::move(connection));
  }
  returned_.notify_one();
}

void Database::exec(const std::string &script) {
  lease()->exec(script);
}

void Database::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
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
