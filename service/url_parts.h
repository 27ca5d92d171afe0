#pragma once

#include <string>
#include <string_view>

// The pieces of an "http://host[:port]/path[?query]" address. Throws Exception for other schemes and
// for an address without a host.
struct UrlParts {
  std::string host;
  int port = 80;
  std::string path_and_query = "/";

  static UrlParts parse(std::string_view url);
};
