#include "raw_connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace {

using Clock = std::chrono::steady_clock;

// Reads until the peer closes or `time` is up; `closed` tells which.
std::string read_for(int socket, std::chrono::milliseconds time, bool &closed) {
  std::string text;
  auto end = Clock::now() + time;
  closed = false;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    pollfd watched{socket, POLLIN, 0};
    if (left <= 0 || poll(&watched, 1, static_cast<int>(left)) <= 0)
      return text;
    char buffer[4096];
    ssize_t n = recv(socket, buffer, sizeof buffer, 0);
    if (n <= 0) {
      closed = true;
      return text;
    }
    text.append(buffer, static_cast<size_t>(n));
  }
}

} // namespace

RawConnection::RawConnection(int port) : socket_(::socket(AF_INET, SOCK_STREAM, 0)) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<unsigned short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(socket_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
    close(socket_);
    throw std::runtime_error("connect to port " + std::to_string(port) + " failed");
  }
}

RawConnection::~RawConnection() {
  close(socket_);
}

bool RawConnection::send_text(const std::string &text) const {
  return ::send(socket_, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

std::string RawConnection::receive(std::chrono::milliseconds time) const {
  bool closed;
  return read_for(socket_, time, closed);
}

std::optional<std::string> RawConnection::until_closed(std::chrono::milliseconds time) const {
  bool closed;
  std::string text = read_for(socket_, time, closed);
  if (!closed)
    return std::nullopt;
  return text;
}
