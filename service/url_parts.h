#pragma once

#include <string>
#include <string_view>

// The pieces of an "http://host[:port]/path[?query]" or "https://..." address. Throws Exception for
// other schemes and for an address without a host.
struct UrlParts {
  bool secure = false; // https://
  std::string host;
  int port = 80;
  std::string path_and_query = "/";

  static UrlParts parse(std::string_view url);
};

// The address of a service host setting: "host[:port]" is reached over http://, while a setting that
// begins with "https://" or "http://" names its scheme itself.
std::string service_host_address(std::string_view host);
