#pragma once

// The window's HTTP client for downloads, over WinHTTP: HTTP/1.1 GET with exactly the Accept and
// User-Agent headers below, no proxy, no authentication, no time limits, cookies kept in memory for the
// client's life and sent back, redirects refused.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

enum TWorkMode { wmRead, wmWrite };

class HttpClient {
public:
  HttpClient();
  ~HttpClient();
  HttpClient(const HttpClient &) = delete;
  HttpClient &operator=(const HttpClient &) = delete;

  // Raised when a body starts to arrive, with its announced size (0 when unknown), and after every piece
  // with the bytes received so far.
  std::function<void(TWorkMode, int64_t)> OnWorkBegin;
  std::function<void(TWorkMode, int64_t)> OnWork;

  // GETs `url` and hands the body, piece by piece, to `write`. Throws Exception when the host cannot be
  // reached, when the reply is not a success (a redirect included) and when the body ends before its
  // announced size.
  void Get(const std::string &url, const std::function<void(const char *data, size_t size)> &write);
  // Closes the connection kept for the last host.
  void Disconnect();

private:
  using Handle = void *; // HINTERNET: winhttp.h stays out of headers, since wininet.h cannot live with it.
  Handle session = nullptr;
  Handle connection = nullptr;
  std::wstring connected_host;
  unsigned connected_port = 0;
};

constexpr const char *download_accept = "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
constexpr const char *download_user_agent = "Mozilla/3.0 (compatible; Indy Library)";
