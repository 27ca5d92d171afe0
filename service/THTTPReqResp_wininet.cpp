// The HTTP layer over WinINet. Kept apart from every user of winhttp.h: the two headers cannot share
// a translation unit.

#include "Exception.h"
#include "THTTPRIO.h"
#include "text.h"
#include "time_limits.h"
#include "url_parts.h"

#include <windows.h>
#include <wininet.h>

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

[[noreturn]] void fail(const std::string &what, const std::string &url) {
  DWORD error = GetLastError();
  throw Exception(what + " (" + url + "): " + (error == ERROR_INTERNET_TIMEOUT ? "tempo esgotado, " : "") +
                  "erro " + std::to_string(error));
}

// A service that accepts the connection and never answers fails the request instead of holding it.
void set_time_limits(HINTERNET handle) {
  DWORD connect = time_limits::query_connect_ms;
  DWORD answer = time_limits::query_answer_ms;
  InternetSetOptionW(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof(connect));
  InternetSetOptionW(handle, INTERNET_OPTION_SEND_TIMEOUT, &answer, sizeof(answer));
  InternetSetOptionW(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &answer, sizeof(answer));
}

void add_header(HINTERNET request, const std::string &line) {
  std::wstring wide = text::widen(line);
  HttpAddRequestHeadersW(request, wide.c_str(), static_cast<DWORD>(wide.size()),
                         HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
}

} // namespace

THTTPReqResp::Response THTTPReqResp::Send(const std::string &method, const std::string &url,
                                          const std::string &soap_action, const std::string &body) {
  UrlParts target = UrlParts::parse(url);
  InternetHandle session(
      InternetOpenW(L"Borland SOAP 1.2", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session)
    fail("Falha ao iniciar o WinINet", url);
  set_time_limits(session);
  InternetHandle connection(InternetConnectW(session, text::widen(target.host).c_str(),
                                             static_cast<INTERNET_PORT>(target.port), nullptr, nullptr,
                                             INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection)
    fail("Falha de conexão com o servidor", url);
  DWORD flags = INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD |
                INTERNET_FLAG_NO_UI | INTERNET_FLAG_PRAGMA_NOCACHE;
  InternetHandle request(HttpOpenRequestW(connection, text::widen(method).c_str(),
                                          text::widen(target.path_and_query).c_str(), nullptr, nullptr,
                                          nullptr, flags, 0));
  if (!request)
    fail("Falha ao abrir a requisição", url);
  set_time_limits(request);
  if (method == "POST") {
    add_header(request, "SOAPAction: \"" + soap_action + "\"");
    add_header(request, "Content-Type: text/xml; charset=utf-8");
  }
  if (OnBeforePost)
    OnBeforePost(this, static_cast<HINTERNET>(request));

  if (!HttpSendRequestW(request, nullptr, 0, const_cast<char *>(body.data()),
                        static_cast<DWORD>(body.size())))
    fail("Falha ao enviar a requisição", url);

  Response response;
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
    fail("Falha ao ler a resposta", url);
  response.status = static_cast<int>(status);
  char buffer[16384];
  for (;;) {
    DWORD read = 0;
    if (!InternetReadFile(request, buffer, sizeof(buffer), &read))
      fail("Falha ao ler a resposta", url);
    if (read == 0)
      break;
    response.body.append(buffer, read);
  }
  return response;
}
