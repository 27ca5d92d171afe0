#pragma once

// What tests see and steer of the service: the request log and the failures they ask for.

#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class RequestControl {
public:
  // Headers that the log shows, in this order, when a request carries them.
  static const std::vector<std::string> &logged_headers();

  // With a file name, log lines are appended to that file as well.
  explicit RequestControl(const std::string &log_file);

  // `headers` in the order of logged_headers(), absent ones left out.
  void record(const std::string &method, const std::string &target,
              const std::vector<std::pair<std::string, std::string>> &headers);
  std::string log() const;
  void clear_log();

  // The next `count` requests for `path` answer `status`; status 0 is a stall (see hold).
  void fail(const std::string &path, int count, int status);
  // The status to answer in place of the normal one, using up one planned failure.
  std::optional<int> take_failure(const std::string &path);
  // A stalled request: holds its connection open, unanswered, until stop_holding.
  void hold();
  // Ends every hold, and those that come later at once; called when the server stops.
  void stop_holding();

  void reset();

private:
  mutable std::mutex mutex_;
  std::condition_variable released_;
  bool stopping_ = false;
  std::vector<std::string> lines_;
  std::ofstream file_;
  std::map<std::string, std::pair<int, int>> failures_; // path -> (remaining, status)
};
