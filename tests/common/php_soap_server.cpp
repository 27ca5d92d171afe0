#include "php_soap_server.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <httplib.h>

extern char **environ;

namespace php_test {
namespace {

// A port that nothing listens on right now. Another program may take it before php does; start()
// then sees php exit and tries again.
int free_port() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (s < 0 || bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
    if (s >= 0)
      close(s);
    throw std::runtime_error("no free loopback port");
  }
  close(s);
  return ntohs(address.sin_port);
}

} // namespace

PhpSoapServer::PhpSoapServer(const std::string &script) {
  for (int attempt = 0; attempt < 5; ++attempt)
    if (start(script))
      return;
  throw std::runtime_error("php -S did not serve " + script + ": " +
                           (probe_reply_.empty() ? "is php (Debian's php-cli) installed?" : probe_reply_));
}

PhpSoapServer::~PhpSoapServer() {
  stop();
}

std::string PhpSoapServer::url(const std::string &path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

bool PhpSoapServer::start(const std::string &script) {
  port_ = free_port();
  std::string listen = "127.0.0.1:" + std::to_string(port_);
  // The built-in server logs every request on stderr; the test's output has no use for it.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  const char *argv[] = {"php", "-S", listen.c_str(), script.c_str(), nullptr};
  pid_t child = 0;
  int rc = posix_spawnp(&child, "php", &actions, nullptr, const_cast<char *const *>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0)
    throw std::runtime_error("cannot start php (Debian's php-cli): " + std::string(strerror(rc)));
  pid_ = child;

  httplib::Client client("127.0.0.1", port_);
  client.set_connection_timeout(1);
  for (int wait = 0; wait < 100; ++wait) {
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1; // exited: the port was taken, or php cannot run the script
      return false;
    }
    if (httplib::Result probe = client.Get("/?probe")) {
      probe_reply_ = probe->body;
      if (probe->status == 200 && probe->body == "validador ready")
        return true;
      stop();
      throw std::runtime_error("php -S answered the probe with: " + probe->body);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  stop();
  return false;
}

void PhpSoapServer::stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (waitpid(pid_, nullptr, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() >= deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        ADD_FAILURE() << "php -S on port " << port_ << " did not end within 5 s of SIGTERM; killed";
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  pid_ = -1;
}

} // namespace php_test
