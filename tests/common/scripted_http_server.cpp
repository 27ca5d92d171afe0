#include "scripted_http_server.h"

#include <cstring>
#include <stdexcept>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace queryd_test {
namespace {

#ifdef _WIN32
using Socket = SOCKET;
const Socket no_socket = INVALID_SOCKET;
void close_socket(Socket s) {
  closesocket(s);
}
constexpr int send_flags = 0;
#else
using Socket = int;
const Socket no_socket = -1;
void close_socket(Socket s) {
  close(s);
}
constexpr int send_flags = MSG_NOSIGNAL;
#endif

// Waits up to 100 ms for `s` to be readable, so that the serving loop notices a stop.
bool readable(Socket s) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval wait{0, 100000};
  return select(static_cast<int>(s) + 1, &set, nullptr, nullptr, &wait) > 0;
}

// Reads the request's headers and as much body as its Content-Length gives.
bool read_request(Socket s, const std::atomic<bool> &stopping) {
  std::string request;
  size_t wanted = std::string::npos;
  while (request.size() < wanted) {
    if (stopping)
      return false;
    if (!readable(s))
      continue;
    char buffer[4096];
    int got = static_cast<int>(recv(s, buffer, sizeof buffer, 0));
    if (got <= 0)
      return false;
    request.append(buffer, static_cast<size_t>(got));
    size_t end = request.find("\r\n\r\n");
    if (end != std::string::npos && wanted == std::string::npos) {
      size_t length = 0;
      for (const char *name : {"Content-Length:", "content-length:"}) {
        size_t at = request.find(name);
        if (at != std::string::npos && at < end)
          length = std::strtoul(request.c_str() + at + std::strlen(name), nullptr, 10);
      }
      wanted = end + 4 + length;
    }
  }
  return true;
}

bool send_all(Socket s, const std::string &bytes) {
  for (size_t at = 0; at < bytes.size();) {
    int sent = static_cast<int>(send(s, bytes.data() + at, static_cast<int>(bytes.size() - at), send_flags));
    if (sent <= 0)
      return false;
    at += static_cast<size_t>(sent);
  }
  return true;
}

} // namespace

ScriptedHttpServer::ScriptedHttpServer(std::string answer, std::chrono::milliseconds trickle)
    : answer_(std::move(answer)), trickle_(trickle) {
#ifdef _WIN32
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
#endif
  Socket listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (listener == no_socket || bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
      listen(listener, 8) != 0 || getsockname(listener, reinterpret_cast<sockaddr *>(&address), &size) != 0)
    throw std::runtime_error("scripted HTTP server: cannot listen on the loopback");
  listener_ = static_cast<intptr_t>(listener);
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { serve(); });
}

ScriptedHttpServer::~ScriptedHttpServer() {
  stopping_ = true;
  thread_.join();
  close_socket(static_cast<Socket>(listener_));
}

std::string ScriptedHttpServer::host() const {
  return "127.0.0.1:" + std::to_string(port_);
}

std::string ScriptedHttpServer::url() const {
  return "http://" + host() + "/servicos/wsdl/selectxml/selectxml.php";
}

void ScriptedHttpServer::serve() {
  const Socket listener = static_cast<Socket>(listener_);
  while (!stopping_) {
    if (!readable(listener))
      continue;
    Socket client = accept(listener, nullptr, nullptr);
    if (client == no_socket)
      continue;
    if (read_request(client, stopping_) && send_all(client, answer_) && trickle_.count() > 0)
      for (auto next = std::chrono::steady_clock::now(); !stopping_ && send_all(client, " ");) {
        next += trickle_;
        while (!stopping_ && std::chrono::steady_clock::now() < next)
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    close_socket(client);
  }
}

} // namespace queryd_test
