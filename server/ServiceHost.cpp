#include "ServiceHost.h"

#include "Exception.h"
#include "base64.h"
#include "soap_envelope.h"
#include "uwsselectxml.h"

#include <httplib.h>

#include <atomic>
#include <fstream>
#include <sstream>

namespace {

constexpr const char *xml_type = "text/xml; charset=utf-8";

void answer_fault(httplib::Response &res, int status, const std::string &code, const std::string &text) {
  res.status = status;
  res.set_content(soap::write_fault(code, text), soap::envelope_content_type);
}

std::string part(const soap::Message &message, const std::string &name, size_t position) {
  for (const auto &[part_name, value] : message.parts)
    if (part_name == name)
      return value;
  if (position < message.parts.size())
    return message.parts[position].second;
  throw Exception("parâmetro \"" + name + "\" ausente");
}

// Whether the request carries Basic credentials equal to `credentials`.
bool authorised(const httplib::Request &req, const std::string &credentials) {
  std::string header = req.get_header_value("Authorization");
  constexpr std::string_view basic = "Basic ";
  if (header.size() < basic.size() || header.compare(0, basic.size(), basic) != 0)
    return false;
  return base64::decode(header.substr(basic.size())) == credentials;
}

// A downloadable file under `root`, or empty when the path leaves it or names no regular file.
std::filesystem::path download_file(const std::filesystem::path &root, const std::string &relative) {
  if (root.empty())
    return {};
  std::filesystem::path wanted = std::filesystem::path(relative).lexically_normal();
  if (wanted.empty() || wanted.is_absolute() || *wanted.begin() == "..")
    return {};
  std::filesystem::path full = root / wanted;
  std::error_code error;
  return std::filesystem::is_regular_file(full, error) ? full : std::filesystem::path();
}

std::string session_cookie() {
  static std::atomic<unsigned> counter{0};
  std::ostringstream id;
  id << std::hex << static_cast<unsigned>(std::time(nullptr)) << ++counter;
  return "velacorte_sessao=" + id.str() + "; Path=/";
}

std::string host_address(const httplib::Request &req) {
  std::string host = req.get_header_value("Host");
  if (host.empty())
    host = req.local_addr + ":" + std::to_string(req.local_port);
  return "http://" + host;
}

} // namespace

std::string service_wsdl(const std::string &address) {
  std::string ns = ValidadorRegistration::Namespace;
  return R"(<?xml version="1.0" encoding="UTF-8"?>
<definitions name="server.Validador" targetNamespace=")" +
         ns + R"(" xmlns:tns=")" + ns + R"(" xmlns="http://schemas.xmlsoap.org/wsdl/"
    xmlns:soap="http://schemas.xmlsoap.org/wsdl/soap/" xmlns:xsd="http://www.w3.org/2001/XMLSchema">
  <message name="selectxmlRequest">
    <part name="senha" type="xsd:string"/>
    <part name="sql" type="xsd:string"/>
    <part name="options" type="xsd:string"/>
  </message>
  <message name="selectxmlResponse">
    <part name="return" type="xsd:string"/>
  </message>
  <portType name="server.ValidadorPortType">
    <operation name="selectxml">
      <input message="tns:selectxmlRequest"/>
      <output message="tns:selectxmlResponse"/>
    </operation>
  </portType>
  <binding name="server.ValidadorBinding" type="tns:server.ValidadorPortType">
    <soap:binding style="rpc" transport="http://schemas.xmlsoap.org/soap/http"/>
    <operation name="selectxml">
      <soap:operation soapAction=")" +
         ValidadorRegistration::SOAPAction + R"(" style="rpc"/>
      <input><soap:body use="encoded" namespace=")" +
         ns + R"(" encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"/></input>
      <output><soap:body use="encoded" namespace=")" +
         ns + R"(" encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"/></output>
    </operation>
  </binding>
  <service name="server.Validador">
    <port name="server.ValidadorPort" binding="tns:server.ValidadorBinding">
      <soap:address location=")" +
         address + R"("/>
    </port>
  </service>
</definitions>
)";
}

ServiceHost::ServiceHost(QueryService &service, RequestControl &control, std::string credentials,
                         std::filesystem::path files)
    : server_(std::make_unique<httplib::Server>()) {
  httplib::Server &server = *server_;

  server.set_pre_routing_handler([&control](const httplib::Request &req, httplib::Response &res) {
    if (req.path.rfind("/_control/", 0) == 0)
      return httplib::Server::HandlerResponse::Unhandled;
    std::vector<std::pair<std::string, std::string>> headers;
    for (const std::string &name : RequestControl::logged_headers())
      if (req.has_header(name))
        headers.emplace_back(name, req.get_header_value(name));
    control.record(req.method, req.target, headers);

    std::optional<int> status = control.take_failure(req.path);
    if (!status)
      return httplib::Server::HandlerResponse::Unhandled;
    if (*status == 0) {
      control.hold();
      res.status = 503;
      return httplib::Server::HandlerResponse::Handled;
    }
    res.status = *status;
    if (*status == 301 || *status == 302)
      res.set_header("Location", host_address(req) + req.target);
    else if (*status == 200)
      res.set_content("<html><body>Manutenção programada</body></html>", "text/html; charset=utf-8");
    else
      res.set_content("Falha provocada\n", "text/plain");
    if (req.path.rfind(downloads_prefix, 0) == 0)
      res.set_header("Set-Cookie", session_cookie());
    return httplib::Server::HandlerResponse::Handled;
  });

  server.Post(service_path, [&service, credentials](const httplib::Request &req, httplib::Response &res) {
    if (!authorised(req, credentials)) {
      res.status = 401;
      res.set_header("WWW-Authenticate", "Basic realm=\"velacorte\"");
      res.set_content("Acesso negado\n", "text/plain");
      return;
    }
    soap::Message call;
    try {
      call = soap::read_envelope(req.body);
      if (call.operation != "selectxml")
        throw Exception("operação desconhecida: " + call.operation);
      std::string reply =
          service.selectxml(part(call, "senha", 0), part(call, "sql", 1), part(call, "options", 2));
      soap::Message answer{ValidadorRegistration::Namespace,
                           "selectxmlResponse",
                           {{"return", soap::bytes_to_latin1_text(reply)}}};
      res.set_content(soap::write_envelope(answer), soap::envelope_content_type);
    } catch (const std::exception &e) {
      answer_fault(res, 500, "SOAP-ENV:Client", e.what());
    }
  });

  server.Get(service_path, [](const httplib::Request &req, httplib::Response &res) {
    if (!req.has_param("wsdl")) {
      res.status = 405;
      res.set_content("Use POST para selectxml ou GET ?wsdl\n", "text/plain");
      return;
    }
    res.set_content(service_wsdl(host_address(req) + service_path), xml_type);
  });

  server.Get(std::string(downloads_prefix) + "(.*)",
             [files = std::move(files)](const httplib::Request &req, httplib::Response &res) {
               res.set_header("Set-Cookie", session_cookie());
               std::filesystem::path file = download_file(files, req.matches[1]);
               if (file.empty()) {
                 res.status = 404;
                 res.set_content("Arquivo não encontrado\n", "text/plain");
                 return;
               }
               std::ifstream in(file, std::ios::binary);
               std::ostringstream bytes;
               bytes << in.rdbuf();
               res.set_content(bytes.str(), "application/zip");
             });

  server.Get("/_control/log", [&control](const httplib::Request &, httplib::Response &res) {
    res.set_content(control.log(), "text/plain; charset=utf-8");
  });
  server.Post("/_control/log/clear", [&control](const httplib::Request &, httplib::Response &res) {
    control.clear_log();
    res.set_content("ok\n", "text/plain");
  });
  server.Post("/_control/reset", [&control](const httplib::Request &, httplib::Response &res) {
    control.reset();
    res.set_content("ok\n", "text/plain");
  });
  server.Post("/_control/fail", [&control](const httplib::Request &req, httplib::Response &res) {
    std::string path = req.get_param_value("path");
    int count = req.has_param("count") ? std::atoi(req.get_param_value("count").c_str()) : 1;
    int status = req.has_param("status") ? std::atoi(req.get_param_value("status").c_str()) : 500;
    // Status 0 plans a stall: the request is held, unanswered, until the server stops.
    if (path.empty() || (status != 0 && (status < 100 || status > 599))) {
      res.status = 400;
      res.set_content("path e status válidos são obrigatórios\n", "text/plain");
      return;
    }
    control.fail(path, count, status);
    res.set_content("ok\n", "text/plain");
  });
}

ServiceHost::~ServiceHost() = default;

int ServiceHost::bind(const std::string &address, int port) {
  if (port == 0)
    return server_->bind_to_any_port(address);
  return server_->bind_to_port(address, port) ? port : -1;
}

bool ServiceHost::serve() {
  return server_->listen_after_bind();
}

void ServiceHost::stop() {
  server_->stop();
}
