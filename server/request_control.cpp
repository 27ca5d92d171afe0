#include "request_control.h"

#include "base64.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <stdexcept>

namespace {

// "2026-01-31T12:00:00.250Z"
std::string utc_time_text() {
  auto now = std::chrono::system_clock::now();
  std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char buffer[40];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S", &utc);
  char with_millis[48];
  std::snprintf(with_millis, sizeof with_millis, "%s.%03dZ", buffer, static_cast<int>(millis));
  return with_millis;
}

// The first `characters` characters of UTF-8 text, its tabs, line ends and other controls as spaces.
std::string one_line_start(const std::string &text, size_t characters) {
  std::string out;
  size_t count = 0;
  for (char c : text) {
    bool continuation = (static_cast<unsigned char>(c) & 0xC0) == 0x80;
    if (!continuation && count++ == characters)
      break;
    out += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c;
  }
  return out;
}

// A client's bytes as one field of the tab-separated log: control bytes and "\\" written as escapes,
// so that no client can end a field or a line, or forge one.
std::string log_text(const std::string &text) {
  std::string out;
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == '\\') {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      out += escape;
    } else {
      out += c;
    }
  }
  return out;
}

} // namespace

std::string authorization_without_secret(const std::string &value) {
  size_t space = value.find(' ');
  std::string scheme = value.substr(0, space);
  if (scheme != "Basic" || space == std::string::npos)
    return scheme;
  std::string credentials = base64::decode(value.substr(space + 1));
  size_t colon = credentials.find(':');
  if (colon == std::string::npos)
    return scheme;
  return scheme + " " + one_line_start(credentials.substr(0, colon), 64);
}

const std::vector<std::string> &RequestControl::logged_headers() {
  static const std::vector<std::string> names = {"Authorization", "Cookie",     "Accept",      "User-Agent",
                                                 "Range",         "SOAPAction", "Content-Type"};
  return names;
}

RequestControl::RequestControl(const std::string &log_file) {
  if (log_file.empty())
    return;
  file_.open(log_file, std::ios::app);
  if (!file_.is_open())
    throw std::runtime_error("open the request log " + log_file + ": failed");
}

void RequestControl::record(const LoggedRequest &request) {
  std::string line = log_text(request.method) + "\t" + log_text(request.target);
  for (const auto &[name, value] : request.headers)
    line +=
        "\t" + name + ": " + log_text(name == "Authorization" ? authorization_without_secret(value) : value);
  line += "\tStatus: " + std::to_string(request.status) + "\tTime: " + utc_time_text();
  if (!request.sql.empty())
    line += "\tSQL: " + one_line_start(request.sql, 80);
  std::lock_guard lock(mutex_);
  lines_.push_back(line);
  if (lines_.size() > kept_lines)
    lines_.pop_front();
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

void RequestControl::fail(const std::string &path, int count, const PlannedFailure &failure) {
  std::lock_guard lock(mutex_);
  if (count > 0)
    failures_[path] = {count, failure};
  else
    failures_.erase(path);
}

std::optional<PlannedFailure> RequestControl::take_failure(const std::string &path) {
  std::lock_guard lock(mutex_);
  auto found = failures_.find(path);
  if (found == failures_.end())
    return std::nullopt;
  PlannedFailure failure = found->second.second;
  if (--found->second.first <= 0)
    failures_.erase(found);
  return failure;
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
