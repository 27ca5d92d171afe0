#include "guarded_http_server.h"

#include "connection_stream.h"
#include "worker_pool.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace {

// The connection that this thread serves.
thread_local const ConnectionStream *serving = nullptr;

// Written at once to a connection that finds every worker busy and the queue full.
void answer_busy(socket_t sock) {
  static const std::string body = "Serviço ocupado: a fila de pedidos está cheia; tente de novo\n";
  static const std::string reply =
      "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain; "
      "charset=utf-8\r\nRetry-After: 1\r\nConnection: close\r\nContent-Length: " +
      std::to_string(body.size()) + "\r\n\r\n" + body;
  send(sock, reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  shutdown(sock, SHUT_WR);
  // What the client has sent already is read, so that closing sends no reset over the reply.
  char drain[4096];
  while (recv(sock, drain, sizeof drain, MSG_DONTWAIT) > 0) {
  }
}

// Address reuse only: SO_REUSEPORT would let a second server take the same port and half the requests.
void listening_socket_options(socket_t sock) {
  int yes = 1;
  setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

} // namespace

GuardedHttpServer::GuardedHttpServer(const ConnectionLimits &limits, const std::atomic<bool> &stopping,
                                     SSL_CTX *tls)
    : limits_(limits), stopping_(stopping), tls_(tls) {
  new_task_queue = [this] { return new WorkerPool(limits_.workers, limits_.queue); };
  set_socket_options(listening_socket_options);
  set_payload_max_length(limits_.max_body);
}

bool GuardedHttpServer::body_over_limit() {
  return serving && serving->body_over_limit();
}

bool GuardedHttpServer::request_timed_out() {
  return serving && serving->read_cut_short();
}

bool GuardedHttpServer::process_and_close_socket(socket_t sock) {
  bool ok = false;
  if (WorkerPool::busy_now()) {
    answer_busy(sock);
  } else if (!stopping_.load() && !tls_) {
    ConnectionStream stream(sock, stopping_, limits_.write_limit);
    ok = serve_requests(stream);
  } else if (!stopping_.load()) {
    SSL *tls = SSL_new(tls_);
    if (tls && SSL_set_fd(tls, sock) == 1) {
      fcntl(sock, F_SETFL, fcntl(sock, F_GETFL) | O_NONBLOCK);
      ConnectionStream stream(sock, stopping_, limits_.write_limit, tls);
      stream.start_request(limits_.read_deadline);
      if (stream.accept_tls()) {
        ok = serve_requests(stream);
        SSL_shutdown(tls);
      }
    }
    SSL_free(tls);
  }
  shutdown(sock, SHUT_RDWR);
  close(sock);
  return ok;
}

bool GuardedHttpServer::serve_requests(ConnectionStream &stream) {
  serving = &stream;
  auto before_body = [this, &stream](httplib::Request &req) {
    req.ranges.clear();
    uint64_t declared = req.get_header_value<uint64_t>("Content-Length");
    if (declared > limits_.max_body)
      stream.refuse_body();
    else
      stream.limit_body(limits_.max_body, req.has_header("Transfer-Encoding") ? SIZE_MAX : declared);
  };
  bool ok = false;
  for (std::size_t served = 0; served < limits_.requests_per_connection; ++served) {
    if (served > 0 && !stream.next_request_within(limits_.keep_alive))
      break;
    stream.start_request(limits_.read_deadline);
    bool closed = false;
    bool last = served + 1 == limits_.requests_per_connection;
    ok = process_request(stream, last, closed, before_body);
    if (!ok || closed || !stream.request_read_whole())
      break;
  }
  serving = nullptr;
  return ok;
}
