#include "request_framing.h"

#include "text.h"

#include <algorithm>
#include <cctype>

namespace {

bool digits_only(const std::string &value) {
  return !value.empty() &&
         std::all_of(value.begin(), value.end(), [](unsigned char c) { return std::isdigit(c); });
}

} // namespace

const char *framing_refusal(const httplib::Request &request) {
  size_t lengths = request.get_header_value_count("Content-Length");
  size_t codings = request.get_header_value_count("Transfer-Encoding");
  if (lengths > 0 && codings > 0)
    return "Content-Length junto com Transfer-Encoding recusado\n";
  if (codings > 1 ||
      (codings == 1 && text::lower_ascii(request.get_header_value("Transfer-Encoding")) != "chunked"))
    return "Transfer-Encoding recusado: só chunked, uma vez\n";
  std::string first = request.get_header_value("Content-Length");
  for (size_t i = 0; i < lengths; ++i) {
    std::string value = request.get_header_value("Content-Length", i);
    if (!digits_only(value))
      return "Content-Length recusado: não é um número\n";
    if (value != first)
      return "Content-Length repetido com valores diferentes recusado\n";
  }
  return nullptr;
}
