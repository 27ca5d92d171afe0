#include "request_control.h"

const std::vector<std::string> &RequestControl::logged_headers() {
  static const std::vector<std::string> names = {"Authorization", "Cookie",     "Accept",      "User-Agent",
                                                 "Range",         "SOAPAction", "Content-Type"};
  return names;
}

RequestControl::RequestControl(const std::string &log_file) {
  if (!log_file.empty())
    file_.open(log_file, std::ios::app);
}

void RequestControl::record(const std::string &method, const std::string &target,
                            const std::vector<std::pair<std::string, std::string>> &headers) {
  std::string line = method + "\t" + target;
  for (const auto &[name, value] : headers)
    line += "\t" + name + ": " + value;
  std::lock_guard lock(mutex_);
  lines_.push_back(line);
  if (file_.is_open())
    file_ << line << '\n' << std::flush;
}

std::string RequestControl::log() const {
  std::lock_guard lock(mutex_);
  std::string out;
  for (const std::string &line : lines_)
    out += line + "\n";
  return out;
}

void RequestControl::clear_log() {
  std::lock_guard lock(mutex_);
  lines_.clear();
}

void RequestControl::fail(const std::string &path, int count, int status) {
  std::lock_guard lock(mutex_);
  if (count > 0)
    failures_[path] = {count, status};
  else
    failures_.erase(path);
}

std::optional<int> RequestControl::take_failure(const std::string &path) {
  std::lock_guard lock(mutex_);
  auto found = failures_.find(path);
  if (found == failures_.end())
    return std::nullopt;
  int status = found->second.second;
  if (--found->second.first <= 0)
    failures_.erase(found);
  return status;
}

void RequestControl::reset() {
  std::lock_guard lock(mutex_);
  lines_.clear();
  failures_.clear();
}

void RequestControl::hold() {
  std::unique_lock lock(mutex_);
  released_.wait(lock, [this] { return stopping_; });
}

void RequestControl::stop_holding() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  released_.notify_all();
}
