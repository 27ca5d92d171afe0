#include "raw_http_server.h"

#include "loopback_listener.h"

#include <winsock2.h>

RawHttpServer::RawHttpServer(std::string reply, bool stall) : reply(std::move(reply)), stall(stall) {
  listener = listen_on_loopback(port);
  thread = std::thread([this] { serve(); });
}

RawHttpServer::~RawHttpServer() {
  ending = true;
  closesocket(listener); // ends the accept loop
  thread.join();
  WSACleanup();
}

std::string RawHttpServer::url(const std::string &path) const {
  return "http://127.0.0.1:" + std::to_string(port) + path;
}

void RawHttpServer::serve() {
  for (;;) {
    SOCKET connection = accept(listener, nullptr, nullptr);
    if (connection == INVALID_SOCKET)
      return;
    std::string request;
    char piece[4096];
    int got;
    while (request.find("\r\n\r\n") == std::string::npos &&
           (got = recv(connection, piece, sizeof(piece), 0)) > 0)
      request.append(piece, got);
    send(connection, reply.data(), static_cast<int>(reply.size()), 0);
    while (stall && !ending) {
      fd_set readable;
      FD_ZERO(&readable);
      FD_SET(connection, &readable);
      timeval tick{0, 100000};
      if (select(0, &readable, nullptr, nullptr, &tick) > 0 && recv(connection, piece, sizeof(piece), 0) <= 0)
        break;
    }
    shutdown(connection, SD_SEND);
    closesocket(connection);
  }
}
