#pragma once

// The window's HTTP client for downloads, over WinHTTP: HTTP/1.1 GET with exactly the Accept and
// User-Agent headers below, along the route that the queries take too (network_route.h), no
// authentication, cookies kept in memory for the client's life
// and sent back, redirects refused (from https:// to http:// above all). An https:// link goes over TLS
// with Windows' certificate checks left on and TLS 1.2 and 1.3 offered even where Windows
// would offer only older versions: a certificate refused fails the GET, with the reason in words. Connecting
// and each wait for bytes are bounded by the download time limits (time_limits.h): a host that stalls fails
// the download instead of freezing the installer.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

enum TWorkMode { wmRead, wmWrite };

// What the last GET did, for the install log.
struct Transfer {
  int status = 0; // HTTP status; 0 when no reply arrived
  int64_t bytes = 0;
  std::string failure;      // empty when the body arrived whole
  int64_t resumed_from = 0; // the bytes kept from before, when the reply continued them
};

// The start of a body that an earlier attempt received, and what the reply that sent it said of the
// whole: enough to ask for the rest and to tell whether a reply continues the same file.
struct PartialBody {
  int64_t kept = 0;
  int64_t total = 0; // as that reply announced it; 0 when it did not
  std::string etag, last_modified;
};

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
  // The same, continuing `partial` when it keeps bytes: asks for the rest (Range, and If-Range with its
  // validator), and takes a 206 only when its Content-Range starts at the kept size and names the same
  // total, with the same validator where both replies give one. A whole body (200) replaces what was kept
  // and refills `partial` from its headers; a 206 that continues something else empties it and fails,
  // so that the next attempt starts from 0. `begin` gets the offset of the first piece (the kept size,
  // or 0) before any piece arrives.
  void Get(const std::string &url, PartialBody &partial, const std::function<void(int64_t offset)> &begin,
           const std::function<void(const char *data, size_t size)> &write);
  // Closes the connection kept for the last host.
  void Disconnect();

  const Transfer &LastTransfer() const { return last; }
  void ForgetTransfer() { last = Transfer{}; }
  // A failure of the caller's own (writing the body), recorded as the transfer's when it had none.
  void NoteFailure(const std::string &failure);

private:
  void Fetch(const std::string &url, PartialBody *partial, const std::function<void(int64_t offset)> &begin,
             const std::function<void(const char *data, size_t size)> &write);
  // Opens the session for `url`'s route unless the one open takes it. False when WinHTTP refuses.
  bool open_session_for(const std::string &url);

  using Handle = void *; // HINTERNET: winhttp.h stays out of headers, since wininet.h cannot live with it.
  Handle session = nullptr;
  std::string session_proxy, session_bypass;
  Handle connection = nullptr;
  std::wstring connected_host;
  unsigned connected_port = 0;
  Transfer last;
};

constexpr const char *download_accept = "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
constexpr const char *download_user_agent = "Mozilla/3.0 (compatible; Indy Library)";
