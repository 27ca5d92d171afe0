// The HTTP layer over cpp-httplib, for the native builds.

#include "Exception.h"
#include "THTTPRIO.h"
#include "url_parts.h"

#include <httplib.h>

THTTPReqResp::Response THTTPReqResp::Send(const std::string &method, const std::string &url,
                                          const std::string &soap_action, const std::string &body) {
  UrlParts target = UrlParts::parse(url);
  NativeRequest request;
  if (method == "POST") {
    request.header_lines.push_back("SOAPAction: \"" + soap_action + "\"");
    request.header_lines.push_back("Content-Type: text/xml; charset=utf-8");
  }
  if (OnBeforePost)
    OnBeforePost(this, &request);

  httplib::Headers headers;
  std::string content_type = "text/xml; charset=utf-8";
  for (const std::string &line : request.header_lines) {
    size_t colon = line.find(':');
    if (colon == std::string::npos)
      continue;
    std::string name = line.substr(0, colon);
    std::string value = line.substr(line.find_first_not_of(' ', colon + 1) == std::string::npos
                                        ? line.size()
                                        : line.find_first_not_of(' ', colon + 1));
    if (name == "Content-Type")
      content_type = value;
    else
      headers.emplace(std::move(name), std::move(value));
  }

  httplib::Client client(target.host, target.port);
  client.set_connection_timeout(30);
  client.set_read_timeout(120);
  client.set_keep_alive(false);
  httplib::Result result = method == "POST" ? client.Post(target.path_and_query, headers, body, content_type)
                                            : client.Get(target.path_and_query, headers);
  if (!result)
    throw Exception("Falha de conexão com " + url + ": " + httplib::to_string(result.error()));
  return {result->status, result->body};
}
