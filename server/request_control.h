#pragma once

// What tests see and steer of the service: the request log and the failures they ask for.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct LoggedRequest {
  std::string method;
  std::string target;
  // In the order of RequestControl::logged_headers(), absent ones left out.
  std::vector<std::pair<std::string, std::string>> headers;
  int status = 0;
  std::string sql; // the SQL of a selectxml call
};

// A failure that a test planned for a path.
struct PlannedFailure {
  int status = 500;
  std::string location; // where a redirect points; empty: the same URL
};

class RequestControl {
public:
  // Headers that the log shows, in this order, when a request carries them.
  static const std::vector<std::string> &logged_headers();
  // The log keeps the last this many lines.
  static constexpr std::size_t kept_lines = 10000;

  // With a file name, log lines are appended to that file as well.
  explicit RequestControl(const std::string &log_file);

  // One line: method, target, the headers (of Authorization only the scheme and the ID), the status
  // answered, the time and the first 80 characters of the SQL, separated by tabs. Control bytes and
  // "\" of the client's texts are written as "\xNN"; those of the SQL as spaces.
  void record(const LoggedRequest &request);
  std::string log() const;
  void clear_log();

  // The next `count` requests for `path` answer the planned failure; status 0 is a stall (see hold).
  void fail(const std::string &path, int count, const PlannedFailure &failure);
  // What to answer in place of the normal answer, using up one planned failure.
  std::optional<PlannedFailure> take_failure(const std::string &path);
  // A stalled request: holds its connection open, unanswered, until stop_holding.
  void hold();
  // Ends every hold, and those that come later at once; called when the server stops.
  void stop_holding();

  void reset();

private:
  mutable std::mutex mutex_;
  std::condition_variable released_;
  bool stopping_ = false;
  std::deque<std::string> lines_;
  std::ofstream file_;
  std::map<std::string, std::pair<int, PlannedFailure>> failures_; // path -> (remaining, failure)
};

// An Authorization value as the log shows it: the scheme, and for Basic the ID before the ":", never
// the password.
std::string authorization_without_secret(const std::string &value);
