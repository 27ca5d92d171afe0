#include "queryd_server.h"

#include "base64.h"

#include <cctype>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <stdexcept>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
extern char **environ;
#endif

namespace queryd_test {
namespace {

constexpr const char *default_credentials = "06192284400461:1E0CA7B3:C56F0A14:9B2E7D06:E3F81C5A";

#ifdef _WIN32
using Socket = SOCKET;
void close_socket(Socket s) {
  closesocket(s);
}
bool valid(Socket s) {
  return s != INVALID_SOCKET;
}
struct WinsockStartup {
  WinsockStartup() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
};
#else
using Socket = int;
void close_socket(Socket s) {
  close(s);
}
bool valid(Socket s) {
  return s >= 0;
}
#endif

std::string percent_encode(const std::string &text) {
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      char buffer[4];
      std::snprintf(buffer, sizeof buffer, "%%%02X", c);
      out += buffer;
    }
  }
  return out;
}

void check_ok(const HttpReply &reply, const std::string &what) {
  if (reply.status != 200)
    throw std::runtime_error(what + " answered HTTP " + std::to_string(reply.status));
}

#ifndef _WIN32
// The environment of the tests with TMPDIR set to `temporary`.
std::vector<std::string> child_environment(const std::string &temporary) {
  std::vector<std::string> variables;
  for (char **variable = environ; *variable; ++variable)
    if (std::strncmp(*variable, "TMPDIR=", 7) != 0)
      variables.emplace_back(*variable);
  variables.push_back("TMPDIR=" + temporary);
  return variables;
}

std::vector<char *> pointers(std::vector<std::string> &texts) {
  std::vector<char *> out;
  for (std::string &text : texts)
    out.push_back(text.data());
  out.push_back(nullptr);
  return out;
}

// Starts velacorte-queryd with stdout (and stderr when `both`) on a pipe; returns the pipe's read end.
int spawn_queryd(std::vector<std::string> args, bool both, int &pid, const std::string &temporary) {
  std::filesystem::create_directories(temporary);
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0)
    throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  if (both)
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  args.insert(args.begin(), QUERYD_PROGRAM);
  std::vector<std::string> environment = child_environment(temporary);
  pid_t child = 0;
  int rc = posix_spawn(&child, QUERYD_PROGRAM, &actions, nullptr, pointers(args).data(),
                       pointers(environment).data());
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  if (rc != 0) {
    close(pipe_fds[0]);
    throw std::runtime_error("cannot start " QUERYD_PROGRAM);
  }
  pid = child;
  return pipe_fds[0];
}

// Reads what `fd` gives until a line end (when `line_only`) or its end, at most until `deadline`.
std::string read_until(int fd, bool line_only, std::chrono::steady_clock::time_point deadline) {
  std::string text;
  for (;;) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd watched{fd, POLLIN, 0};
    if (left.count() <= 0 || poll(&watched, 1, static_cast<int>(left.count())) <= 0)
      return text;
    char c;
    if (read(fd, &c, 1) != 1 || (line_only && c == '\n'))
      return text;
    text += c;
  }
}

// Starts velacorte-queryd and reads the port from its first line.
int start_queryd(const std::vector<std::string> &args, int &pid, const std::string &temporary) {
  int out = spawn_queryd(args, false, pid, temporary);
  std::string line = read_until(out, true, std::chrono::steady_clock::now() + std::chrono::seconds(20));
  close(out);
  size_t colon = line.rfind(':');
  if (line.rfind("velacorte-queryd listening on ", 0) != 0 || colon == std::string::npos) {
    kill(pid, SIGKILL);
    wait_for_exit(pid, std::chrono::seconds(5));
    throw std::runtime_error("velacorte-queryd did not start: " + line);
  }
  return std::stoi(line.substr(colon + 1));
}
#endif

} // namespace

QuerydServer::QuerydServer(const Options &options)
    : token_(options.token.empty() ? default_credentials : options.token) {
#ifdef _WIN32
  static WinsockStartup winsock;
  if (!options.demo || !options.db.empty() || !options.files.empty() || !options.token.empty() ||
      !options.arguments.empty() || !options.control || !options.temporary.empty())
    throw std::runtime_error("under Wine only the shared demo velacorte-queryd is available");
  std::ifstream port_file(QUERYD_PORT_FILE);
  if (!(port_file >> port_))
    throw std::runtime_error("no velacorte-queryd: the ctest fixture \"queryd\" writes " QUERYD_PORT_FILE);
  files_ = QUERYD_FILES_FOLDER;
  reset();
#else
  std::vector<std::string> args = {"--port", "0"};
  if (options.control)
    args.push_back("--control");
  files_ = options.files;
  if (files_.empty() && options.demo) {
    std::filesystem::create_directories(temporary_root());
    std::string pattern = temporary_root() + "/queryd-test-XXXXXX";
    if (!mkdtemp(pattern.data()))
      throw std::runtime_error("mkdtemp failed");
    files_ = owned_folder_ = pattern;
  }
  if (!files_.empty())
    args.insert(args.end(), {"--files", files_});
  if (!options.db.empty())
    args.insert(args.end(), {"--db", options.db});
  if (!options.token.empty())
    args.insert(args.end(), {"--token", options.token});
  if (options.demo)
    args.push_back("--demo");
  args.insert(args.end(), options.arguments.begin(), options.arguments.end());
  port_ = start_queryd(args, pid_, options.temporary.empty() ? temporary_root() : options.temporary);
#endif
}

QuerydServer::~QuerydServer() {
#ifndef _WIN32
  if (pid_ > 0 && stop() != 0)
    ADD_FAILURE() << "velacorte-queryd on port " << port_ << " did not end well within 5 s of SIGTERM";
  if (!owned_folder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(owned_folder_, ignored);
  }
#endif
}

#ifndef _WIN32
int QuerydServer::stop(std::chrono::milliseconds deadline) {
  if (pid_ <= 0)
    return -1;
  kill(pid_, SIGTERM);
  int status = wait_for_exit(pid_, deadline);
  if (status == -1) {
    kill(pid_, SIGKILL);
    wait_for_exit(pid_, std::chrono::seconds(5));
  }
  pid_ = -1;
  return status;
}

void QuerydServer::kill_now() {
  kill(pid_, SIGKILL);
  wait_for_exit(pid_, std::chrono::seconds(5));
  pid_ = -1;
}
#endif

std::string QuerydServer::authorization() const {
  return "Authorization: Basic " + base64::encode(token_);
}

std::string QuerydServer::host() const {
  return "127.0.0.1:" + std::to_string(port_);
}
std::string QuerydServer::base_url() const {
  return "http://" + host();
}
std::string QuerydServer::service_url() const {
  return base_url() + "/servicos/wsdl/selectxml/selectxml.php";
}
std::string QuerydServer::wsdl_url() const {
  return service_url() + "?wsdl";
}

std::vector<std::string> QuerydServer::log() const {
  HttpReply reply = request("GET", "/_control/log", {}, {authorization()});
  check_ok(reply, "/_control/log");
  std::vector<std::string> lines;
  std::istringstream in(reply.body);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

void QuerydServer::clear_log() const {
  check_ok(request("POST", "/_control/log/clear", {}, {authorization()}), "/_control/log/clear");
}

void QuerydServer::fail(const std::string &path, int count, int status) const {
  check_ok(request("POST",
                   "/_control/fail?path=" + percent_encode(path) + "&count=" + std::to_string(count) +
                       "&status=" + std::to_string(status),
                   {}, {authorization()}),
           "/_control/fail");
}

void QuerydServer::reset() const {
  check_ok(request("POST", "/_control/reset", {}, {authorization()}), "/_control/reset");
}

HttpReply QuerydServer::request(const std::string &method, const std::string &target, const std::string &body,
                                const std::vector<std::string> &header_lines) const {
  Socket s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (!valid(s))
    throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<unsigned short>(port_));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
    close_socket(s);
    throw std::runtime_error("cannot connect to velacorte-queryd on " + host());
  }
  std::string message = method + " " + target + " HTTP/1.0\r\n";
  bool own_host = false;
  for (const std::string &line : header_lines) {
    message += line + "\r\n";
    own_host = own_host || line.rfind("Host:", 0) == 0;
  }
  if (!own_host)
    message += "Host: " + host() + "\r\n";
  message += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  for (size_t sent = 0; sent < message.size();) {
    int n = send(s, message.data() + sent, static_cast<int>(message.size() - sent), 0);
    if (n <= 0)
      break;
    sent += static_cast<size_t>(n);
  }
  std::string raw;
  char buffer[8192];
  for (int n; (n = recv(s, buffer, sizeof buffer, 0)) > 0;)
    raw.append(buffer, static_cast<size_t>(n));
  close_socket(s);

  HttpReply reply;
  size_t end = raw.find("\r\n\r\n");
  if (raw.rfind("HTTP/", 0) != 0 || end == std::string::npos)
    throw std::runtime_error("malformed HTTP reply from velacorte-queryd");
  reply.status = std::stoi(raw.substr(raw.find(' ') + 1, 3));
  reply.headers = raw.substr(0, end);
  reply.body = raw.substr(end + 4);
  return reply;
}

std::string log_field(const std::string &line, const std::string &name) {
  std::string wanted = "\t" + name + ": ";
  size_t at = line.find(wanted);
  if (at == std::string::npos)
    return "";
  at += wanted.size();
  return line.substr(at, line.find('\t', at) - at);
}

std::string senha_of_today() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  unsigned long number = static_cast<unsigned long>(local.tm_mday) * 1000000UL +
                         static_cast<unsigned long>(local.tm_mon + 1) * 10000UL +
                         static_cast<unsigned long>(local.tm_year + 1900);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02lX", number);
  return buffer;
}

#ifndef _WIN32
std::string temporary_root() {
  return QUERYD_TEMPORARY_ROOT;
}

int wait_for_exit(int pid, std::chrono::milliseconds deadline) {
  auto end = std::chrono::steady_clock::now() + deadline;
  for (;;) {
    int status = 0;
    pid_t ended = waitpid(pid, &status, WNOHANG);
    if (ended == pid)
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (ended < 0 || std::chrono::steady_clock::now() >= end)
      return -1;
    usleep(2000);
  }
}

int run_to_end(const std::vector<std::string> &arguments, std::chrono::milliseconds deadline,
               std::string &output) {
  int pid = -1;
  int out = spawn_queryd(arguments, true, pid, temporary_root());
  output = read_until(out, false, std::chrono::steady_clock::now() + deadline);
  close(out);
  int status = wait_for_exit(pid, std::chrono::milliseconds(500));
  if (status == -1) {
    kill(pid, SIGKILL);
    wait_for_exit(pid, std::chrono::seconds(5));
  }
  return status;
}
#endif

} // namespace queryd_test
