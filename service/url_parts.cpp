#include "url_parts.h"

#include "Exception.h"
#include "text.h"

#include <charconv>

UrlParts UrlParts::parse(std::string_view url) {
  constexpr std::string_view plain = "http://";
  constexpr std::string_view secure = "https://";
  UrlParts parts;
  if (text::lower_ascii(url.substr(0, secure.size())) == secure) {
    parts.secure = true;
    parts.port = 443;
  } else if (text::lower_ascii(url.substr(0, plain.size())) != plain) {
    throw Exception("Endereço não suportado: " + std::string(url));
  }
  std::string_view rest = url.substr(parts.secure ? secure.size() : plain.size());
  size_t slash = rest.find_first_of("/?");
  std::string_view authority = rest.substr(0, slash);
  std::string_view target = slash == std::string_view::npos ? std::string_view("/") : rest.substr(slash);
  parts.path_and_query = target.front() == '?' ? "/" : "";
  parts.path_and_query += target;
  size_t colon = authority.rfind(':');
  if (colon != std::string_view::npos && authority.find(']', colon) == std::string_view::npos) {
    std::string_view port = authority.substr(colon + 1);
    auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), parts.port);
    if (error != std::errc() || end != port.data() + port.size() || parts.port <= 0 || parts.port > 65535)
      throw Exception("Porta inválida no endereço: " + std::string(url));
    authority = authority.substr(0, colon);
  }
  if (authority.empty())
    throw Exception("Endereço sem servidor: " + std::string(url));
  parts.host = std::string(authority);
  return parts;
}

std::string service_host_address(std::string_view host) {
  std::string start = text::lower_ascii(host.substr(0, 8));
  if (start == "https://" || start.rfind("http://", 0) == 0)
    return std::string(host);
  return "http://" + std::string(host);
}
