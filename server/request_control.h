#pragma once

// What tests see and steer of the service: the request log and the failures they ask for.

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

  // The next `count` requests for `path` answer `status`.
  void fail(const std::string &path, int count, int status);
  // The status to answer in place of the normal one, using up one planned failure.
  std::optional<int> take_failure(const std::string &path);

  void reset();

private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  std::ofstream file_;
  std::map<std::string, std::pair<int, int>> failures_; // path -> (remaining, status)
};
