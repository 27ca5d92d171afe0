#include "connection_stream.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace {

using Clock = std::chrono::steady_clock;

void address_of(const sockaddr_storage &address, std::string &ip, int &port) {
  char text[INET6_ADDRSTRLEN] = "";
  if (address.ss_family == AF_INET) {
    const auto &v4 = reinterpret_cast<const sockaddr_in &>(address);
    inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
    port = ntohs(v4.sin_port);
  } else if (address.ss_family == AF_INET6) {
    const auto &v6 = reinterpret_cast<const sockaddr_in6 &>(address);
    inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
    port = ntohs(v6.sin6_port);
  }
  ip = text;
}

} // namespace

ConnectionStream::ConnectionStream(int socket, const std::atomic<bool> &stopping,
                                   std::chrono::milliseconds write_limit, SSL *tls)
    : socket_(socket), tls_(tls), stopping_(stopping), write_limit_(write_limit),
      read_deadline_(Clock::now()) {}

bool ConnectionStream::accept_tls() {
  for (;;) {
    int result = SSL_accept(tls_);
    if (result == 1)
      return true;
    if (!wait_for_tls(result, read_deadline_))
      return false;
  }
}

bool ConnectionStream::wait_for_tls(int result, Clock::time_point deadline) const {
  switch (SSL_get_error(tls_, result)) {
  case SSL_ERROR_WANT_READ:
    return wait_for(POLLIN, deadline);
  case SSL_ERROR_WANT_WRITE:
    return wait_for(POLLOUT, deadline);
  default:
    return false;
  }
}

void ConnectionStream::start_request(std::chrono::milliseconds time, std::size_t head_bytes,
                                     std::size_t head_lines) {
  read_deadline_ = Clock::now() + time;
  read_cut_short_ = false;
  in_body_ = false;
  head_bytes_left_ = head_bytes;
  head_lines_left_ = head_lines;
  head_too_large_ = false;
  end_after_answer_ = false;
  body_left_ = SIZE_MAX;
  body_read_ = 0;
  body_declared_ = 0;
}

bool ConnectionStream::next_request_within(std::chrono::milliseconds time) const {
  return taken_ < buffered_ || tls_pending() || wait_for(POLLIN, Clock::now() + time);
}

void ConnectionStream::limit_body(std::size_t limit, std::size_t declared) {
  in_body_ = true;
  body_left_ = limit;
  body_declared_ = declared;
}

bool ConnectionStream::wait_for(short events, Clock::time_point deadline) const {
  for (;;) {
    if (stopping_.load())
      return false;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0)
      return false;
    pollfd watched{socket_, events, 0};
    int ready = poll(&watched, 1, static_cast<int>(std::min<long long>(left, 100)));
    if (ready > 0)
      return true;
    if (ready < 0 && errno != EINTR)
      return false;
  }
}

bool ConnectionStream::is_readable() const {
  if (taken_ < buffered_ || tls_pending() || wait_for(POLLIN, read_deadline_))
    return true;
  read_cut_short_ = true;
  return false;
}

bool ConnectionStream::is_writable() const {
  return wait_for(POLLOUT, Clock::now() + write_limit_);
}

ssize_t ConnectionStream::read(char *ptr, size_t size) {
  if (body_over_limit_ || head_too_large_ || (in_body_ && body_read_ >= body_declared_))
    return 0;
  if (taken_ == buffered_) {
    if (!is_readable())
      return -1;
    ssize_t n = receive(buffer_, sizeof buffer_);
    if (n <= 0)
      return n;
    buffered_ = static_cast<size_t>(n);
    taken_ = 0;
  }
  size_t n = std::min(size, buffered_ - taken_);
  if (in_body_ && body_declared_ != SIZE_MAX)
    n = std::min(n, body_declared_ - body_read_);
  if (!in_body_ && !take_head_bytes(buffer_ + taken_, n))
    return 0;
  if (n > body_left_) {
    body_over_limit_ = true;
    return 0;
  }
  if (body_left_ != SIZE_MAX) {
    body_left_ -= n;
    body_read_ += n;
  }
  std::copy_n(buffer_ + taken_, n, ptr);
  taken_ += n;
  return static_cast<ssize_t>(n);
}

bool ConnectionStream::take_head_bytes(const char *bytes, size_t size) {
  size_t lines = static_cast<size_t>(std::count(bytes, bytes + size, '\n'));
  if (size > head_bytes_left_ || lines > head_lines_left_) {
    head_too_large_ = true;
    return false;
  }
  head_bytes_left_ -= size;
  head_lines_left_ -= lines;
  return true;
}

ssize_t ConnectionStream::receive(char *into, size_t size) {
  ssize_t n;
  if (!tls_) {
    do
      n = recv(socket_, into, size, 0);
    while (n < 0 && errno == EINTR);
    return n;
  }
  // A record may arrive in pieces after the socket first shows readable.
  for (;;) {
    n = SSL_read(tls_, into, static_cast<int>(size));
    if (n > 0)
      return n;
    if (SSL_get_error(tls_, static_cast<int>(n)) == SSL_ERROR_ZERO_RETURN)
      return 0;
    if (!wait_for_tls(static_cast<int>(n), read_deadline_)) {
      read_cut_short_ = true;
      return -1;
    }
  }
}

ssize_t ConnectionStream::write(const char *ptr, size_t size) {
  if (!is_writable())
    return -1;
  if (tls_) {
    if (size == 0)
      return 0;
    for (;;) {
      int n = SSL_write(tls_, ptr, static_cast<int>(std::min<size_t>(size, INT_MAX)));
      if (n > 0)
        return n;
      if (!wait_for_tls(n, Clock::now() + write_limit_))
        return -1;
    }
  }
  ssize_t n;
  do
    n = send(socket_, ptr, size, MSG_NOSIGNAL);
  while (n < 0 && errno == EINTR);
  return n;
}

void ConnectionStream::get_remote_ip_and_port(std::string &ip, int &port) const {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (getpeername(socket_, reinterpret_cast<sockaddr *>(&address), &length) == 0)
    address_of(address, ip, port);
}

void ConnectionStream::get_local_ip_and_port(std::string &ip, int &port) const {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (getsockname(socket_, reinterpret_cast<sockaddr *>(&address), &length) == 0)
    address_of(address, ip, port);
}
