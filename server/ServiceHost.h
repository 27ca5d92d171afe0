#pragma once

// The HTTP face of velacorte-queryd: the SOAP endpoint and its WSDL, the download host and, when asked
// for, the control API of the tests.

#include "QueryService.h"
#include "guarded_http_server.h"
#include "request_control.h"

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

inline constexpr const char *service_path = "/servicos/wsdl/selectxml/selectxml.php";
inline constexpr const char *downloads_prefix = "/site/arquivos/";

struct HostSettings {
  std::string credentials;     // the token as clients send it, "ID:SENHA"
  std::filesystem::path files; // the download host's folder; empty: no downloads
  bool control = false;        // serve /_control/*, to requests that carry the credentials
  bool lenient = false;        // take selectxml requests that the maker's service would refuse
  ConnectionLimits connections;
  SSL_CTX *tls = nullptr; // serve HTTPS with this context, which outlives the host; null: plain HTTP
};

class ServiceHost {
public:
  ServiceHost(QueryService &service, RequestControl &control, const HostSettings &settings);
  ~ServiceHost();

  // Binds to `address`:`port` (0: a free port) and returns the port; -1 when binding fails (also
  // when another server has the port).
  int bind(const std::string &address, int port);
  // Serves until stop(); false when serving could not start.
  bool serve();
  // Ends serve() whenever it is called, before serve() starts as well as during it, from any thread;
  // connections that are being read or written end within a tenth of a second.
  void stop();

private:
  std::atomic<bool> stopping_{false};
  std::atomic<bool> serving_{false};
  std::atomic<bool> served_{false};
  std::unique_ptr<GuardedHttpServer> server_;
};

// The WSDL of the service at `address` (its soap:address location, escaped).
std::string service_wsdl(const std::string &address);
