#include "cutting_relay.h"

#include "loopback_listener.h"

#include <winsock2.h>

#include <cstdlib>

namespace {

std::string receive_all(SOCKET connection) {
  std::string bytes;
  char piece[65536];
  for (int got; (got = recv(connection, piece, sizeof(piece), 0)) > 0;)
    bytes.append(piece, got);
  return bytes;
}

void send_all(SOCKET connection, const char *data, size_t size) {
  while (size > 0) {
    int put = send(connection, data, static_cast<int>(size < 65536 ? size : 65536), 0);
    if (put <= 0)
      return;
    data += put;
    size -= static_cast<size_t>(put);
  }
}

bool named(const std::string &line, const char *name) {
  return _strnicmp(line.c_str(), name, strlen(name)) == 0;
}

} // namespace

CuttingRelay::CuttingRelay(int upstream_port, bool ignore_range)
    : upstream_port(upstream_port), ignore_range(ignore_range) {
  listener = listen_on_loopback(port_);
  thread = std::thread([this] { serve(); });
}

CuttingRelay::~CuttingRelay() {
  closesocket(listener); // ends the accept loop
  thread.join();
  WSACleanup();
}

std::string CuttingRelay::url(const std::string &path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<CuttingRelay::Request> CuttingRelay::requests() const {
  std::lock_guard<std::mutex> hold(lock);
  return seen;
}

void CuttingRelay::serve() {
  for (;;) {
    SOCKET client = accept(listener, nullptr, nullptr);
    if (client == INVALID_SOCKET)
      return;
    relay(client);
    shutdown(client, SD_SEND);
    closesocket(client);
  }
}

void CuttingRelay::relay(unsigned long long client) {
  std::string head;
  char piece[4096];
  for (int got;
       head.find("\r\n\r\n") == std::string::npos && (got = recv(client, piece, sizeof(piece), 0)) > 0;)
    head.append(piece, got);
  size_t end = head.find("\r\n\r\n");
  if (end == std::string::npos)
    return;
  // The request again, for one exchange on its own connection.
  Request request;
  std::string forwarded;
  for (size_t start = 0, line_end; start < end; start = line_end + 2) {
    line_end = head.find("\r\n", start);
    std::string line = head.substr(start, line_end - start);
    if (start == 0) {
      size_t space = line.find(' ');
      request.target = line.substr(space + 1, line.rfind(' ') - space - 1);
    } else if (named(line, "Range:")) {
      request.range = line.substr(line.find(':') + 2);
      if (ignore_range)
        continue;
    } else if (named(line, "If-Range:") && ignore_range) {
      continue;
    } else if (named(line, "Connection:")) {
      continue;
    }
    forwarded += line + "\r\n";
  }
  forwarded += "Connection: close\r\n\r\n";
  {
    std::lock_guard<std::mutex> hold(lock);
    seen.push_back(request);
  }

  SOCKET upstream = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<u_short>(upstream_port));
  if (connect(upstream, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0) {
    closesocket(upstream);
    return;
  }
  send_all(upstream, forwarded.data(), forwarded.size());
  std::string reply = receive_all(upstream);
  closesocket(upstream);

  size_t body = reply.find("\r\n\r\n");
  size_t length = body == std::string::npos ? 0 : reply.size() - body - 4;
  bool first_of_path;
  {
    std::lock_guard<std::mutex> hold(lock);
    first_of_path = length > 1 && cut.insert(request.target).second;
  }
  size_t passed = first_of_path ? body + 4 + length / 2 : reply.size();
  send_all(client, reply.data(), passed);
  if (body != std::string::npos)
    sent += passed - body - 4;
  if (first_of_path && after_cut)
    after_cut(request.target);
}
