#pragma once

// A plain TCP connection to a server on loopback, for tests whose clients send what and when they
// like: part of a request, a request cut short, or nothing at all.

#include <chrono>
#include <optional>
#include <string>

class RawConnection {
public:
  explicit RawConnection(int port);
  ~RawConnection();
  RawConnection(const RawConnection &) = delete;
  RawConnection &operator=(const RawConnection &) = delete;

  // Whether every byte went out.
  bool send_text(const std::string &text) const;
  // What arrives until the server closes, at most for `time`.
  std::string receive(std::chrono::milliseconds time) const;
  // What arrives until the server closes; nullopt when it has not closed within `time`.
  std::optional<std::string> until_closed(std::chrono::milliseconds time) const;
  // Whether the server has closed the connection within `time`.
  bool closed_within(std::chrono::milliseconds time) const { return until_closed(time).has_value(); }

private:
  int socket_;
};
