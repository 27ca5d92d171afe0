// The HTTP layer over WinINet. Kept apart from every user of winhttp.h: the two headers cannot share
// a translation unit.

#include "Exception.h"
#include "THTTPRIO.h"
#include "network_route.h"
#include "soap_envelope.h"
#include "text.h"
#include "time_limits.h"
#include "tls_failure.h"
#include "url_parts.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cwchar>

namespace {

class InternetHandle {
public:
  explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
  ~InternetHandle() {
    if (handle_)
      InternetCloseHandle(handle_);
  }
  InternetHandle(const InternetHandle &) = delete;
  InternetHandle &operator=(const InternetHandle &) = delete;
  operator HINTERNET() const { return handle_; }

private:
  HINTERNET handle_;
};

// The whole reply's time limit: every wait of the request is cut to the time that is left of it.
class Deadline {
public:
  explicit Deadline(int seconds) : seconds_(seconds), end_(GetTickCount64() + seconds * 1000ull) {}
  // `slack`: a wait cut at the deadline may end a clock tick before it.
  bool passed(ULONGLONG slack = 0) const { return GetTickCount64() + slack >= end_; }
  int seconds() const { return seconds_; }
  DWORD left_ms() const {
    ULONGLONG now = GetTickCount64();
    return now >= end_ ? 1 : static_cast<DWORD>(std::min<ULONGLONG>(end_ - now, MAXDWORD - 1));
  }

private:
  int seconds_;
  ULONGLONG end_;
};

void add_header(HINTERNET request, const std::string &line) {
  std::wstring wide = text::widen(line);
  HttpAddRequestHeadersW(request, wide.c_str(), static_cast<DWORD>(wide.size()),
                         HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
}

// The errors a user can act on are named; any other keeps its number.
std::string cause(DWORD error, const Deadline &deadline) {
  // Past the deadline WinINet reports a cut connection as well as a timeout.
  if (deadline.passed(100))
    error = ERROR_INTERNET_TIMEOUT;
  switch (error) {
  case ERROR_INTERNET_NAME_NOT_RESOLVED:
    return "host desconhecido";
  case ERROR_INTERNET_CANNOT_CONNECT:
    return "conexão recusada";
  case ERROR_INTERNET_TIMEOUT:
    return "sem resposta após " + std::to_string(deadline.seconds()) + " s";
  default: {
    std::string certificate = tls_failure::error_text(error);
    if (!certificate.empty())
      return "conexão segura recusada: " + certificate + " (erro " + std::to_string(error) + ")";
    return "erro " + std::to_string(error);
  }
  }
}

[[noreturn]] void fail(const std::string &what, const std::string &url, const Deadline &deadline) {
  DWORD error = GetLastError();
  throw Exception(what + " (" + url + "): " + cause(error, deadline));
}

// A service that accepts the connection and never answers fails the request instead of holding it;
// no wait outlasts what is left of the whole reply's time.
void set_time_limits(HINTERNET handle, const Deadline &deadline) {
  DWORD left = deadline.left_ms();
  DWORD connect = std::min<DWORD>(time_limits::query_connect_ms, left);
  DWORD answer = std::min<DWORD>(time_limits::query_answer_ms, left);
  InternetSetOptionW(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof(connect));
  InternetSetOptionW(handle, INTERNET_OPTION_SEND_TIMEOUT, &answer, sizeof(answer));
  InternetSetOptionW(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &answer, sizeof(answer));
}

} // namespace

THTTPReqResp::Response THTTPReqResp::Send(const std::string &method, const std::string &url,
                                          const std::string &soap_action, const std::string &body) {
  UrlParts target = UrlParts::parse(url);
  const Deadline deadline(TimeLimit);
  // The downloads' route: a proxy that the shop requires carries the queries too.
  NetworkRoute route = network_route_for(url);
  std::wstring proxy = text::widen(route.proxy), bypass = text::widen(route.bypass);
  InternetHandle session(InternetOpenW(
      text::widen(UserAgent).c_str(), route.direct() ? INTERNET_OPEN_TYPE_DIRECT : INTERNET_OPEN_TYPE_PROXY,
      route.direct() ? nullptr : proxy.c_str(), bypass.empty() ? nullptr : bypass.c_str(), 0));
  if (!session)
    fail("Falha ao iniciar o WinINet", url, deadline);
  set_time_limits(session, deadline);
  InternetHandle connection(InternetConnectW(session, text::widen(target.host).c_str(),
                                             static_cast<INTERNET_PORT>(target.port), nullptr, nullptr,
                                             INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection)
    fail("Falha de conexão com o servidor", url, deadline);
  // A redirect comes back as its status, a failure: following it would carry the token's credentials
  // elsewhere, perhaps from https:// to http://. Certificate checks stay as Windows makes them.
  DWORD flags = INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD |
                INTERNET_FLAG_NO_UI | INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_AUTO_REDIRECT;
  if (target.secure)
    flags |= INTERNET_FLAG_SECURE;
  InternetHandle request(HttpOpenRequestW(connection, text::widen(method).c_str(),
                                          text::widen(target.path_and_query).c_str(), nullptr, nullptr,
                                          nullptr, flags, 0));
  if (!request)
    fail("Falha ao abrir a requisição", url, deadline);
  if (method == "POST") {
    add_header(request, "SOAPAction: \"" + soap_action + "\"");
    add_header(request, std::string("Content-Type: ") + soap::envelope_content_type);
  }
  if (OnBeforePost)
    OnBeforePost(this, static_cast<HINTERNET>(request));

  set_time_limits(request, deadline);
  if (!HttpSendRequestW(request, nullptr, 0, const_cast<char *>(body.data()),
                        static_cast<DWORD>(body.size())))
    fail("Falha ao enviar a requisição", url, deadline);

  Response response;
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
    fail("Falha ao ler a resposta", url, deadline);
  response.status = static_cast<int>(status);
  auto too_large = [&] {
    return Exception("Resposta de " + url + " grande demais: mais de " + std::to_string(BodyLimit) +
                     " bytes");
  };
  wchar_t length[32];
  DWORD length_size = sizeof(length);
  if (HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, length, &length_size, nullptr) &&
      std::wcstoull(length, nullptr, 10) > BodyLimit)
    throw too_large();
  // Only what has arrived is read, so that a reply trickled byte by byte still meets the deadline.
  char buffer[16384];
  for (;;) {
    if (deadline.passed())
      fail("Falha ao ler a resposta", url, deadline);
    set_time_limits(request, deadline);
    DWORD available = 0;
    if (!InternetQueryDataAvailable(request, &available, 0, 0))
      fail("Falha ao ler a resposta", url, deadline);
    if (available == 0)
      break;
    DWORD read = 0;
    if (!InternetReadFile(request, buffer, std::min<DWORD>(available, sizeof(buffer)), &read))
      fail("Falha ao ler a resposta", url, deadline);
    if (read == 0)
      break;
    if (read > BodyLimit - response.body.size())
      throw too_large();
    response.body.append(buffer, read);
  }
  return response;
}
