#pragma once

// The HTTP face of velacorte-queryd: the SOAP endpoint and its WSDL, the download host and the
// control API for tests.

#include "QueryService.h"
#include "request_control.h"

#include <filesystem>
#include <memory>
#include <string>

namespace httplib {
class Server;
}

inline constexpr const char *service_path = "/servicos/wsdl/selectxml/selectxml.php";
inline constexpr const char *downloads_prefix = "/site/arquivos/";

class ServiceHost {
public:
  // `credentials` is the token as the client sends it ("ID:SENHA"); `files` may be empty (no
  // downloads).
  ServiceHost(QueryService &service, RequestControl &control, std::string credentials,
              std::filesystem::path files);
  ~ServiceHost();

  // Binds to `address`:`port` (0: a free port) and returns the port; -1 when binding fails.
  int bind(const std::string &address, int port);
  // Serves until stop(); false when serving could not start.
  bool serve();
  void stop();

private:
  std::unique_ptr<httplib::Server> server_;
};

// The WSDL of the service at `address` (its soap:address location).
std::string service_wsdl(const std::string &address);
