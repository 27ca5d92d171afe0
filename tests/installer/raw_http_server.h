#pragma once

#include <string>
#include <thread>

// A loopback HTTP server on a free port that answers every request with the same raw bytes and then
// closes the connection: for replies velacorte-queryd does not give (a body cut short, no announced
// size).
class RawHttpServer {
public:
  explicit RawHttpServer(std::string reply);
  ~RawHttpServer();
  RawHttpServer(const RawHttpServer &) = delete;
  RawHttpServer &operator=(const RawHttpServer &) = delete;

  std::string url(const std::string &path) const;

private:
  void serve();
  std::string reply;
  unsigned long long listener;
  int port = 0;
  std::thread thread;
};
