#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

// A loopback relay in front of an HTTP host, as a shop's link that drops: the first transfer of each
// path ends, connection and all, after half its body. One request per connection; it counts the body
// bytes that it sends back, what the link carries of the files. With `ignore_range` it drops Range and
// If-Range on the way, as a host that serves no ranges.
class CuttingRelay {
public:
  explicit CuttingRelay(int upstream_port, bool ignore_range = false);
  ~CuttingRelay();
  CuttingRelay(const CuttingRelay &) = delete;
  CuttingRelay &operator=(const CuttingRelay &) = delete;

  struct Request {
    std::string target;
    std::string range; // the client's Range header, empty when it sent none
  };

  int port() const { return port_; }
  std::string url(const std::string &path) const;
  std::vector<Request> requests() const;
  uint64_t body_bytes_sent() const { return sent; }

  // Runs after a transfer was cut, before the next request is read.
  std::function<void(const std::string &target)> after_cut;

private:
  void serve();
  void relay(unsigned long long client);

  int upstream_port;
  bool ignore_range;
  unsigned long long listener;
  int port_ = 0;
  std::atomic<uint64_t> sent{0};
  mutable std::mutex lock;
  std::vector<Request> seen;
  std::set<std::string> cut;
  std::thread thread;
};
