#pragma once

#include <atomic>
#include <string>
#include <thread>

// A loopback HTTP server on a free port that answers every request with the same raw bytes and then
// closes the connection: for replies velacorte-queryd does not give (a body cut short, no announced
// size). With `stall`, it keeps the connection open after the bytes, sending nothing more, until the
// client hangs up or the server ends.
class RawHttpServer {
public:
  explicit RawHttpServer(std::string reply, bool stall = false);
  ~RawHttpServer();
  RawHttpServer(const RawHttpServer &) = delete;
  RawHttpServer &operator=(const RawHttpServer &) = delete;

  std::string url(const std::string &path) const;

private:
  void serve();
  std::string reply;
  bool stall;
  std::atomic<bool> ending{false};
  unsigned long long listener;
  int port = 0;
  std::thread thread;
};
