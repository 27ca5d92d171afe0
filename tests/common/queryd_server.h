#pragma once

// A running velacorte-queryd for a test, and its control API.
//
// Native builds: each QuerydServer starts its own velacorte-queryd on a free loopback port and stops
// it when destroyed:
//
//     QuerydServer server;                        // the demo catalogue
//     QuerydServer server({.demo = false, .db = path, .files = folder});
//     URLPadrao = server.service_url();
//
// Windows builds (tests run under Wine): Wine does not start the Linux program, so ctest starts one
// velacorte-queryd --demo for the whole run (fixture "queryd", see tests/common/CMakeLists.txt; give
// a test PROPERTIES FIXTURES_REQUIRED queryd). QuerydServer then attaches to it and resets its log and
// failures; only default options are accepted. files_folder() names the download host's folder
// (as a Z: path), where a test may put its own archives.
//
// Control calls and raw requests use plain sockets, so they leave WinINet's and WinHTTP's state alone.

#include <string>
#include <vector>

namespace queryd_test {

struct Options {
  bool demo = true;
  std::string db;    // database file; empty: in memory
  std::string files; // download host folder; empty with demo: a temporary folder of the server's
  std::string token; // "ID:SENHA" accepted; empty: the installer's default token
};

struct HttpReply {
  int status = 0;
  std::string headers; // the raw header lines
  std::string body;
};

class QuerydServer {
public:
  explicit QuerydServer(const Options &options = {});
  ~QuerydServer();
  QuerydServer(const QuerydServer &) = delete;
  QuerydServer &operator=(const QuerydServer &) = delete;

  int port() const { return port_; }
  std::string host() const;        // "127.0.0.1:PORT", what ServidorWS takes
  std::string base_url() const;    // "http://127.0.0.1:PORT"
  std::string service_url() const; // the selectxml address
  std::string wsdl_url() const;
  std::string files_folder() const { return files_; }

  // The request log, one entry per request: METHOD, TAB, target, then TAB "Header: value" for each
  // logged header present.
  std::vector<std::string> log() const;
  void clear_log() const;
  // The next `count` requests for `path` answer `status` (0: no answer, the connection held open until
  // the server stops; 200: an HTML page; 301/302: a redirect to the same URL).
  void fail(const std::string &path, int count, int status = 500) const;
  void reset() const;

  // A raw HTTP/1.0 request to the server.
  HttpReply request(const std::string &method, const std::string &target, const std::string &body = {},
                    const std::vector<std::string> &header_lines = {}) const;

private:
  int port_ = 0;
  std::string files_;
#ifndef _WIN32
  int pid_ = -1;
  std::string owned_folder_;
#endif
};

// The per-day password of today's local date, as the query client sends it.
std::string senha_of_today();

} // namespace queryd_test
