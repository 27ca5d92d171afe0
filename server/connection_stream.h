#pragma once

// The socket of one client connection as cpp-httplib reads and writes it, with the deadlines that keep
// a slow or silent client from holding a worker: a request must arrive whole before its read deadline,
// each write must make progress within the write limit, and everything ends when the service stops.
// A request body past its limit reads as ended, so that it is neither kept nor read to its end.
// Over TLS the socket is non-blocking and every byte goes through OpenSSL, under the same deadlines.

#include <httplib.h>
#include <openssl/ssl.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>

class ConnectionStream : public httplib::Stream {
public:
  // `tls`: the connection's TLS session, already tied to `socket`; null for plain HTTP.
  ConnectionStream(int socket, const std::atomic<bool> &stopping, std::chrono::milliseconds write_limit,
                   SSL *tls = nullptr);

  // The TLS handshake, within the read deadline of start_request.
  bool accept_tls();

  // The next request must be read whole within `time`, and its head (request line and headers) must
  // fit in `head_bytes` bytes of `head_lines` lines; past them the head reads as ended.
  void start_request(std::chrono::milliseconds time, std::size_t head_bytes = SIZE_MAX,
                     std::size_t head_lines = SIZE_MAX);
  // Whether the head went past its limits.
  bool head_too_large() const { return head_too_large_; }
  // Whether another request begins within `time` (keep-alive).
  bool next_request_within(std::chrono::milliseconds time) const;

  // From here on the request's body, of `declared` bytes (SIZE_MAX for chunks), may take `limit`
  // bytes, and reads as ended after `declared`; refuse_body() gives it none.
  void limit_body(std::size_t limit, std::size_t declared);
  void refuse_body() { body_over_limit_ = true; }
  // Whether the body went past its limit.
  bool body_over_limit() const { return body_over_limit_; }
  // Whether the request was read to its end, so that the next bytes begin the next request (an
  // answer given before the body was read leaves it unread).
  // Whether the read deadline (or the stop) came before the request's end.
  bool read_cut_short() const { return read_cut_short_; }
  bool request_read_whole() const {
    return !read_cut_short_ && !body_over_limit_ && body_read_ >= body_declared_;
  }
  // The answer to this request is the connection's last.
  void end_after_answer() { end_after_answer_ = true; }
  bool ends_after_answer() const { return end_after_answer_; }

  bool is_readable() const override;
  bool is_writable() const override;
  ssize_t read(char *ptr, size_t size) override;
  ssize_t write(const char *ptr, size_t size) override;
  void get_remote_ip_and_port(std::string &ip, int &port) const override;
  void get_local_ip_and_port(std::string &ip, int &port) const override;
  socket_t socket() const override { return socket_; }

private:
  // Waits for `events` on the socket until `deadline`, looking at `stopping` every tenth of a second.
  bool wait_for(short events, std::chrono::steady_clock::time_point deadline) const;
  // Waits for what OpenSSL asked for after `result`; false when it failed for good or the wait ran out.
  bool wait_for_tls(int result, std::chrono::steady_clock::time_point deadline) const;
  // Bytes decrypted and not yet taken by OpenSSL's reader.
  bool tls_pending() const { return tls_ && SSL_pending(tls_) > 0; }
  ssize_t receive(char *into, size_t size);
  // Counts `size` bytes of the head against its limits; false past them.
  bool take_head_bytes(const char *bytes, size_t size);

  int socket_;
  SSL *tls_;
  const std::atomic<bool> &stopping_;
  std::chrono::milliseconds write_limit_;
  std::chrono::steady_clock::time_point read_deadline_;
  // Bytes received and not yet read: the library reads request lines one byte at a time.
  char buffer_[4096];
  std::size_t buffered_ = 0;
  std::size_t taken_ = 0;
  bool in_body_ = false;
  std::size_t head_bytes_left_ = SIZE_MAX;
  std::size_t head_lines_left_ = SIZE_MAX;
  bool head_too_large_ = false;
  bool end_after_answer_ = false;
  std::size_t body_left_ = SIZE_MAX;
  std::size_t body_read_ = 0;
  std::size_t body_declared_ = 0;
  bool body_over_limit_ = false;
  mutable bool read_cut_short_ = false; // the deadline or the stop came before the request's end
};
