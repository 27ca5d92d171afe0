#pragma once

// The route that every HTTP request of the program takes, downloads and queries alike: straight to the
// host or through a proxy. Found from the system's settings as Windows' own programs find it (the user's
// Internet settings: their automatic detection, their configuration script, their proxy with its
// exceptions; then the machine's WinHTTP setting), unless the command line fixed one.

#include <optional>
#include <string>

struct NetworkRoute {
  // Empty: straight to the host. Otherwise WinHTTP's and WinINet's proxy list ("host:port", or per
  // scheme "http=host:port;https=host:port").
  std::string proxy;
  // Hosts reached straight even with a proxy, in the same form that Windows keeps them.
  std::string bypass;
  // Where the route came from, in words for the install log.
  std::string origin;

  bool direct() const { return proxy.empty(); }
};

// "/PROXY=host:port" or "/PROXY=DIRECT": the route of every request, whatever the system says. Set once,
// at start, before any request.
void fix_network_route(const NetworkRoute &route);

// The route for `url` (http:// or https://). Looked up once per scheme, host and port, then kept.
NetworkRoute network_route_for(const std::string &url);

// "proxy 10.0.0.1:3128 (configurações de Internet do usuário)", "direto (sem proxy configurado)".
std::string describe(const NetworkRoute &route);
