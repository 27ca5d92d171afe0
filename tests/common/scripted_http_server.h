#pragma once

// A loopback HTTP server that answers every request with fixed bytes and then, when asked, goes on
// sending one byte at a time, forever: the server a client's limits on a reply are tested against.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

namespace queryd_test {

class ScriptedHttpServer {
public:
  // `answer`: the bytes sent once the request has arrived (status line, headers, any body).
  // `trickle`: when not zero, then one more byte per interval until the client goes away.
  explicit ScriptedHttpServer(std::string answer,
                              std::chrono::milliseconds trickle = std::chrono::milliseconds(0));
  ~ScriptedHttpServer();
  ScriptedHttpServer(const ScriptedHttpServer &) = delete;
  ScriptedHttpServer &operator=(const ScriptedHttpServer &) = delete;

  std::string host() const; // "127.0.0.1:PORT"
  std::string url() const;  // the selectxml address on it

private:
  void serve();

  std::string answer_;
  std::chrono::milliseconds trickle_;
  intptr_t listener_;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

} // namespace queryd_test
