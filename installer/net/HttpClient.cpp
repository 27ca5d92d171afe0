#include "HttpClient.h"

#include "Exception.h"
#include "network_route.h"
#include "text.h"
#include "time_limits.h"
#include "tls_failure.h"
#include "windows_owners.h"

#include <windows.h>

#include <winhttp.h>

#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

namespace {

// The body is moved in pieces of this size, so a download's memory stays the same whatever its length.
constexpr DWORD piece_size = 256 * 1024;

[[noreturn]] void fail(const std::string &url, const std::string &what) {
  throw Exception("Falha ao baixar " + url + ": " + what);
}

[[noreturn]] void fail_system(const std::string &url, const char *call) {
  DWORD error = GetLastError();
  // Wine's WinHTTP reports the socket's own time-out (WSAETIMEDOUT) where Windows reports its own code.
  bool timed_out = error == ERROR_WINHTTP_TIMEOUT || error == WSAETIMEDOUT;
  fail(url,
       std::string(call) + (timed_out ? ": tempo esgotado" : "") + " (erro " + std::to_string(error) + ")");
}

// A refused certificate is named with what WinHTTP found wrong with it, never passed over.
[[noreturn]] void fail_secure(const std::string &url, const char *call, DWORD error, DWORD failures) {
  std::string reason = tls_failure::flags_text(failures);
  if (reason.empty())
    reason = tls_failure::error_text(error);
  fail(url,
       std::string(call) + ": conexão segura recusada: " + reason + " (erro " + std::to_string(error) + ")");
}

// Collects the flags of WinHTTP's secure-failure notifications into the DWORD given as the context.
void CALLBACK note_secure_failure(HINTERNET, DWORD_PTR context, DWORD status, LPVOID information, DWORD) {
  if (status == WINHTTP_CALLBACK_STATUS_SECURE_FAILURE && context && information)
    *reinterpret_cast<DWORD *>(context) |= *static_cast<const DWORD *>(information);
}

// The status of a reply that is not a success; a redirect says where it pointed, since it is refused.
std::string status_text(HINTERNET request, DWORD status) {
  std::string text = "HTTP " + std::to_string(status);
  if (status == HTTP_STATUS_PROXY_AUTH_REQ)
    return text + ": o proxy pede autenticação";
  if (status < 300 || status > 399)
    return text;
  wchar_t location[2048];
  DWORD size = sizeof(location);
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, location, &size,
                           WINHTTP_NO_HEADER_INDEX))
    return text + ": redirecionamento recusado";
  return text + ": redirecionamento para " + text::narrow(location) + " recusado";
}

void set_time_limits(HINTERNET handle) {
  WinHttpSetTimeouts(handle, 0, time_limits::download_connect_ms, time_limits::download_read_ms,
                     time_limits::download_read_ms);
}

// The wait for a reply's headers has a limit of its own, which the timeouts above leave alone.
void set_reply_time_limit(HINTERNET request) {
  DWORD limit = time_limits::download_read_ms;
  WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &limit, sizeof(limit));
}

struct InternetTraits {
  using Value = HINTERNET;
  static Value none() { return nullptr; }
  static void close(Value value) { WinHttpCloseHandle(value); }
};
using Request = win::Owned<InternetTraits>;

int64_t content_length(HINTERNET request) {
  wchar_t value[32];
  DWORD size = sizeof(value);
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, value, &size,
                           WINHTTP_NO_HEADER_INDEX))
    return 0;
  wchar_t *end = nullptr;
  long long length = wcstoll(value, &end, 10);
  return end != value && length > 0 ? length : 0;
}

std::string header(HINTERNET request, DWORD which) {
  wchar_t value[512];
  DWORD size = sizeof(value);
  if (!WinHttpQueryHeaders(request, which, WINHTTP_HEADER_NAME_BY_INDEX, value, &size,
                           WINHTTP_NO_HEADER_INDEX))
    return {};
  return text::narrow(value);
}

// Nothing when a 206 continues `partial`: "bytes START-END/TOTAL" from the kept size, the total that
// the first reply announced, and the same validators where both replies have them. Otherwise what differs.
std::optional<std::string> continuation_mismatch(HINTERNET request, const PartialBody &partial) {
  std::string range = header(request, WINHTTP_QUERY_CONTENT_RANGE);
  long long start = -1, end = -1, total = -1;
  int read = 0;
  if (std::sscanf(range.c_str(), "bytes %lld-%lld/%lld%n", &start, &end, &total, &read) != 3 ||
      read != static_cast<int>(range.size()))
    return "Content-Range \"" + range + "\"";
  if (start != partial.kept || partial.total <= 0 || total != partial.total || end != total - 1)
    return "Content-Range " + range + ", esperado bytes " + std::to_string(partial.kept) + "-/" +
           std::to_string(partial.total);
  for (auto [which, kept] : {std::pair{DWORD(WINHTTP_QUERY_ETAG), &partial.etag},
                             std::pair{DWORD(WINHTTP_QUERY_LAST_MODIFIED), &partial.last_modified}}) {
    std::string now = header(request, which);
    if (!kept->empty() && !now.empty() && now != *kept)
      return "validador " + now + ", esperado " + *kept;
  }
  return std::nullopt;
}

// Windows 7's WinHTTP offers only TLS 1.0 unless asked; one that knows no TLS 1.3 refuses the flag.
void offer_current_tls(HINTERNET session) {
  DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
  if (!WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols))) {
    protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
    WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols));
  }
}

} // namespace

HttpClient::HttpClient() = default;

HttpClient::~HttpClient() {
  Disconnect();
  if (session)
    WinHttpCloseHandle(session);
}

bool HttpClient::open_session_for(const std::string &url) {
  NetworkRoute route = network_route_for(url);
  if (session && route.proxy == session_proxy && route.bypass == session_bypass)
    return true;
  Disconnect();
  if (session)
    WinHttpCloseHandle(session);
  std::wstring proxy = text::widen(route.proxy), bypass = text::widen(route.bypass);
  session = WinHttpOpen(text::widen(download_user_agent).c_str(),
                        route.direct() ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_NAMED_PROXY,
                        route.direct() ? WINHTTP_NO_PROXY_NAME : proxy.c_str(),
                        bypass.empty() ? WINHTTP_NO_PROXY_BYPASS : bypass.c_str(), 0);
  session_proxy = route.proxy;
  session_bypass = route.bypass;
  if (!session)
    return false;
  set_time_limits(session);
  offer_current_tls(session);
  return true;
}

void HttpClient::Disconnect() {
  if (connection)
    WinHttpCloseHandle(connection);
  connection = nullptr;
  connected_host.clear();
  connected_port = 0;
}

void HttpClient::NoteFailure(const std::string &failure) {
  if (last.failure.empty())
    last.failure = failure;
}

void HttpClient::Get(const std::string &url, const std::function<void(const char *, size_t)> &write) {
  last = Transfer{};
  try {
    Fetch(url, nullptr, {}, write);
  } catch (const std::exception &failure) {
    last.failure = failure.what();
    throw;
  }
}

void HttpClient::Get(const std::string &url, PartialBody &partial, const std::function<void(int64_t)> &begin,
                     const std::function<void(const char *, size_t)> &write) {
  last = Transfer{};
  try {
    Fetch(url, &partial, begin, write);
  } catch (const std::exception &failure) {
    last.failure = failure.what();
    throw;
  }
}

void HttpClient::Fetch(const std::string &url, PartialBody *partial,
                       const std::function<void(int64_t)> &begin,
                       const std::function<void(const char *, size_t)> &write) {
  if (!open_session_for(url))
    fail_system(url, "WinHttpOpen");

  std::wstring wide_url = text::widen(url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof(parts);
  parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = DWORD(-1);
  if (!WinHttpCrackUrl(wide_url.c_str(), 0, 0, &parts))
    fail(url, "endereço inválido");
  bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (path.empty())
    path = L"/";

  if (!connection || host != connected_host || parts.nPort != connected_port) {
    Disconnect();
    connection = WinHttpConnect(session, host.c_str(), parts.nPort, 0);
    if (!connection)
      fail_system(url, "WinHttpConnect");
    connected_host = host;
    connected_port = parts.nPort;
  }

  Request request(WinHttpOpenRequest(connection, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                     WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0));
  if (!request)
    fail_system(url, "WinHttpOpenRequest");
  set_time_limits(request.get());
  set_reply_time_limit(request.get());
  DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  WinHttpSetOption(request.get(), WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof(never));
  DWORD no_redirects = WINHTTP_DISABLE_REDIRECTS;
  WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &no_redirects, sizeof(no_redirects));
  std::wstring accept = L"Accept: " + text::widen(download_accept);
  if (!WinHttpAddRequestHeaders(request.get(), accept.c_str(), DWORD(-1),
                                WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE))
    fail_system(url, "WinHttpAddRequestHeaders");

  bool resuming = partial && partial->kept > 0;
  if (resuming) {
    std::wstring range = L"Range: bytes=" + std::to_wstring(partial->kept) + L"-";
    // A weak tag cannot vouch for the bytes; the date then stands in.
    const std::string &validator =
        !partial->etag.empty() && partial->etag.rfind("W/", 0) != 0 ? partial->etag : partial->last_modified;
    if (!validator.empty())
      range += L"\r\nIf-Range: " + text::widen(validator);
    if (!WinHttpAddRequestHeaders(request.get(), range.c_str(), DWORD(-1), WINHTTP_ADDREQ_FLAG_ADD))
      fail_system(url, "WinHttpAddRequestHeaders");
  }

  DWORD secure_failures = 0;
  if (secure)
    WinHttpSetStatusCallback(request.get(), note_secure_failure, WINHTTP_CALLBACK_FLAG_SECURE_FAILURE, 0);
  auto fail_call = [&](const char *call) {
    DWORD error = GetLastError();
    if (secure && (secure_failures || !tls_failure::error_text(error).empty()))
      fail_secure(url, call, error, secure_failures);
    SetLastError(error);
    fail_system(url, call);
  };
  if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                          reinterpret_cast<DWORD_PTR>(&secure_failures)))
    fail_call("WinHttpSendRequest");
  if (!WinHttpReceiveResponse(request.get(), nullptr))
    fail_call("WinHttpReceiveResponse");

  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
    fail_system(url, "WinHttpQueryHeaders");
  last.status = static_cast<int>(status);
  if (status < 200 || status > 299) {
    // 416: the kept bytes are past the file's end, so it is another file now.
    if (resuming && status == 416)
      *partial = PartialBody{};
    fail(url, status_text(request.get(), status));
  }

  int64_t announced = content_length(request.get());
  int64_t received = 0;
  if (status == HTTP_STATUS_PARTIAL_CONTENT) {
    std::optional<std::string> mismatch =
        resuming ? continuation_mismatch(request.get(), *partial) : std::string("sem pedido de intervalo");
    if (mismatch) {
      if (partial)
        *partial = PartialBody{};
      fail(url, "HTTP 206 não continua o arquivo (" + *mismatch + "); recomeça do 0");
    }
    received = partial->kept;
    announced = partial->total;
    last.resumed_from = received;
  } else if (partial) {
    *partial = PartialBody{0, announced, header(request.get(), WINHTTP_QUERY_ETAG),
                           header(request.get(), WINHTTP_QUERY_LAST_MODIFIED)};
  }
  if (begin)
    begin(received);
  if (OnWorkBegin)
    OnWorkBegin(wmRead, announced);
  std::vector<char> piece(piece_size);
  for (;;) {
    // Only what has arrived is read: the bytes before a stall are written, and kept, before it times out.
    DWORD available = 0, got = 0;
    if (!WinHttpQueryDataAvailable(request.get(), &available))
      fail_system(url, "WinHttpQueryDataAvailable");
    if (available == 0)
      break;
    if (!WinHttpReadData(request.get(), piece.data(), available < piece_size ? available : piece_size, &got))
      fail_system(url, "WinHttpReadData");
    if (got == 0)
      break;
    write(piece.data(), got);
    received += got;
    last.bytes = received - last.resumed_from;
    if (partial)
      partial->kept = received;
    if (OnWork)
      OnWork(wmRead, received);
  }
  if (announced > 0 && received < announced)
    fail(url,
         "resposta incompleta (" + std::to_string(received) + " de " + std::to_string(announced) + " bytes)");
}
