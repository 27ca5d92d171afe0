#include "guarded_http_server.h"

#include "connection_stream.h"
#include "request_framing.h"
#include "worker_pool.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace {

// The connection that this thread serves, and why the framing of its request is refused.
thread_local ConnectionStream *serving = nullptr;
thread_local const char *framing_refused = nullptr;
thread_local std::string encoding_of_body;

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

bool GuardedHttpServer::head_too_large() {
  return serving && serving->head_too_large();
}

const std::string &GuardedHttpServer::body_encoding() {
  return encoding_of_body;
}

const char *GuardedHttpServer::refused_framing() {
  return framing_refused;
}

void GuardedHttpServer::end_connection_after_answer() {
  if (serving)
    serving->end_after_answer();
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
  bool head_read = false;
  auto before_body = [this, &stream, &head_read](httplib::Request &req) {
    head_read = true;
    req.ranges.clear();
    // The library would inflate the body without a limit; the handler decodes it under one.
    encoding_of_body = req.get_header_value("Content-Encoding");
    req.headers.erase("Content-Encoding");
    framing_refused = framing_refusal(req);
    // Without Content-Length the body is empty: it ends where the head ends.
    uint64_t declared = req.get_header_value<uint64_t>("Content-Length");
    if (framing_refused || declared > limits_.max_body)
      stream.refuse_body();
    else
      stream.limit_body(limits_.max_body, req.has_header("Transfer-Encoding") ? SIZE_MAX : declared);
  };
  bool ok = false;
  for (std::size_t served = 0; served < limits_.requests_per_connection; ++served) {
    if (served > 0 && !stream.next_request_within(limits_.keep_alive))
      break;
    stream.start_request(limits_.read_deadline, limits_.max_head_bytes, limits_.max_head_lines);
    head_read = false;
    framing_refused = nullptr;
    encoding_of_body.clear();
    bool closed = false;
    bool last = served + 1 == limits_.requests_per_connection;
    ok = process_request(stream, last, closed, before_body);
    // After a refused head nothing tells where the next request would begin.
    if (!ok || closed || !head_read || !stream.request_read_whole() || stream.ends_after_answer())
      break;
  }
  serving = nullptr;
  framing_refused = nullptr;
  return ok;
}
