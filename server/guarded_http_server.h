#pragma once

// cpp-httplib's server with the connection handling of velacorte-queryd: a request must arrive whole
// within the read deadline, workers come from a pool with a bounded queue (503 when it is full),
// connections end as soon as the service stops, the port is never shared with another server, request
// bodies past max_body are refused without being read, a body that no header announces is empty, a
// request head is capped in bytes and lines, and ranges are left to the handlers (the
// library would build one copy of the body per range). With a TLS context it serves HTTPS: the
// handshake, too, must end within the read deadline.

#include <httplib.h>
#include <openssl/ssl.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

class ConnectionStream;

struct ConnectionLimits {
  std::chrono::milliseconds read_deadline{std::chrono::seconds(10)};
  std::chrono::milliseconds write_limit{std::chrono::seconds(10)};
  std::chrono::milliseconds keep_alive{std::chrono::seconds(5)};
  std::size_t requests_per_connection = 100;
  std::size_t workers = 32;
  std::size_t queue = 64;
  std::size_t max_body = std::size_t(16) << 20;
  std::size_t max_head_bytes = std::size_t(64) << 10; // request line and headers
  std::size_t max_head_lines = 100;
};

class GuardedHttpServer : public httplib::Server {
public:
  // `tls`: the context of HTTPS, which must outlive the server; null for plain HTTP.
  GuardedHttpServer(const ConnectionLimits &limits, const std::atomic<bool> &stopping,
                    SSL_CTX *tls = nullptr);

  // Whether the body of the request that this thread serves went past max_body (for a post-routing
  // handler, which then answers 413 whatever the library made of the cut body).
  static bool body_over_limit();
  // Whether the request that this thread serves did not arrive whole before its read deadline.
  static bool request_timed_out();
  // Whether its head went past max_head_bytes or max_head_lines (then answered 431).
  static bool head_too_large();
  // Why its framing is refused (see request_framing.h); nullptr when it is sound. Its body is left
  // unread.
  static const char *refused_framing();
  // The Content-Encoding of its body, which is left encoded (see body_encoding.h).
  static const std::string &body_encoding();
  // Makes the answer to this thread's request the last of its connection.
  static void end_connection_after_answer();

private:
  bool process_and_close_socket(socket_t sock) override;
  bool serve_requests(ConnectionStream &stream);

  ConnectionLimits limits_;
  const std::atomic<bool> &stopping_;
  SSL_CTX *tls_;
};
