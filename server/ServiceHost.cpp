#include "ServiceHost.h"

#include "Exception.h"
#include "base64.h"
#include "body_encoding.h"
#include "downloads.h"
#include "request_checks.h"
#include "soap_envelope.h"
#include "uwsselectxml.h"
#include "xml_text.h"

#include <httplib.h>

#include <algorithm>
#include <fstream>
#include <new>
#include <sstream>
#include <thread>
#include <utility>

namespace {

constexpr const char *xml_type = "text/xml; charset=utf-8";

// The SQL of the selectxml call that this thread serves, for the request's log line.
thread_local std::string request_sql;

// Whether this thread's request is in the log already: a held request is logged as it is held, so
// that tests see it while it waits.
thread_local bool request_logged = false;

bool is_control(const httplib::Request &req) {
  return req.path.rfind("/_control/", 0) == 0;
}

LoggedRequest logged_request(const httplib::Request &req, int status) {
  LoggedRequest entry{req.method, req.target, {}, status, std::move(request_sql)};
  request_sql.clear();
  for (const std::string &name : RequestControl::logged_headers())
    if (req.has_header(name))
      entry.headers.emplace_back(name, req.get_header_value(name));
  return entry;
}

void answer_fault(httplib::Response &res, int status, const std::string &code, const std::string &text) {
  res.status = status;
  res.set_content(soap::write_fault(code, text), soap::envelope_content_type);
}

// Whether the request carries Basic credentials equal to `credentials`.
bool authorised(const httplib::Request &req, const std::string &credentials) {
  std::string header = req.get_header_value("Authorization");
  constexpr std::string_view basic = "Basic ";
  if (header.size() < basic.size() || header.compare(0, basic.size(), basic) != 0)
    return false;
  return base64::decode(header.substr(basic.size())) == credentials;
}

std::string session_cookie() {
  static std::atomic<unsigned> counter{0};
  std::ostringstream id;
  id << std::hex << static_cast<unsigned>(std::time(nullptr)) << ++counter;
  return "velacorte_sessao=" + id.str() + "; Path=/";
}

void answer_text(httplib::Response &res, int status, const std::string &text) {
  res.status = status;
  res.set_content(text, "text/plain; charset=utf-8");
}

// The file, whole or the one range asked for, read from disk as it is sent.
void serve_download(const std::filesystem::path &files, const std::atomic<bool> &stopping,
                    const httplib::Request &req, httplib::Response &res) {
  res.set_header("Set-Cookie", session_cookie());
  std::string relative = req.matches[1];
  if (relative.find('\0') != std::string::npos)
    return answer_text(res, 400, "Caminho com NUL recusado\n");
  std::filesystem::path file = download_file(files, relative);
  std::error_code error;
  std::uint64_t size = file.empty() ? 0 : std::filesystem::file_size(file, error);
  auto in = std::make_shared<std::ifstream>(file, std::ios::binary);
  if (file.empty() || error || !*in)
    return answer_text(res, 404, "Arquivo não encontrado\n");
  ByteRange range{0, size};
  switch (read_range(req.get_header_value("Range"), size, range)) {
  case RangeAnswer::refused:
    res.set_header("Content-Range", "bytes */" + std::to_string(size));
    return answer_text(res, 416, "Intervalo não atendido: um só intervalo dentro do arquivo\n");
  case RangeAnswer::part:
    res.status = 206;
    res.set_header("Content-Range", "bytes " + std::to_string(range.offset) + "-" +
                                        std::to_string(range.offset + range.length - 1) + "/" +
                                        std::to_string(size));
    break;
  case RangeAnswer::whole:
    break;
  }
  res.set_content_provider(static_cast<size_t>(range.length), "application/zip",
                           [in, range, &stopping](size_t offset, size_t length, httplib::DataSink &sink) {
                             if (stopping.load())
                               return false;
                             char buffer[65536];
                             in->seekg(static_cast<std::streamoff>(range.offset + offset));
                             in->read(buffer, static_cast<std::streamsize>(std::min(length, sizeof buffer)));
                             if (in->gcount() <= 0)
                               return false;
                             return sink.write(buffer, static_cast<size_t>(in->gcount()));
                           });
}

std::string head_limit_text(const ConnectionLimits &limits) {
  return "Cabeçalhos grandes demais: no máximo " + std::to_string(limits.max_head_lines) + " linhas e " +
         std::to_string(limits.max_head_bytes) + " bytes\n";
}

// The address by which the client reached this server, in its scheme.
std::string host_address(const httplib::Request &req, bool secure) {
  std::string host = req.get_header_value("Host");
  if (host.empty())
    host = req.local_addr + ":" + std::to_string(req.local_port);
  return (secure ? "https://" : "http://") + host;
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
         xml_text::escaped(address, xml_text::Place::attribute) + R"("/>
    </port>
  </service>
</definitions>
)";
}

ServiceHost::ServiceHost(QueryService &service, RequestControl &control, const HostSettings &settings)
    : server_(std::make_unique<GuardedHttpServer>(settings.connections, stopping_, settings.tls)) {
  GuardedHttpServer &server = *server_;

  server.set_pre_routing_handler([&control, settings](const httplib::Request &req, httplib::Response &res) {
    if (const char *refusal = GuardedHttpServer::refused_framing()) {
      answer_text(res, 400, refusal);
      return httplib::Server::HandlerResponse::Handled;
    }
    if (is_control(req)) {
      if (!settings.control) {
        answer_text(res, 404, "API de controle desligada: inicie com --control\n");
        return httplib::Server::HandlerResponse::Handled;
      }
      if (!authorised(req, settings.credentials)) {
        res.set_header("WWW-Authenticate", "Basic realm=\"velacorte\"");
        answer_text(res, 401, "Acesso negado\n");
        return httplib::Server::HandlerResponse::Handled;
      }
      return httplib::Server::HandlerResponse::Unhandled;
    }
    std::optional<PlannedFailure> failure = control.take_failure(req.path);
    if (!failure)
      return httplib::Server::HandlerResponse::Unhandled;
    int status = failure->status;
    if (status == 0) {
      control.record(logged_request(req, 0));
      request_logged = true;
      control.hold();
      res.status = 503;
      return httplib::Server::HandlerResponse::Handled;
    }
    res.status = status;
    if (status == 301 || status == 302)
      res.set_header("Location", failure->location.empty()
                                     ? host_address(req, settings.tls != nullptr) + req.target
                                     : failure->location);
    else if (status == 200)
      res.set_content("<html><body>Manutenção programada</body></html>", "text/html; charset=utf-8");
    else
      res.set_content("Falha provocada\n", "text/plain");
    if (req.path.rfind(downloads_prefix, 0) == 0)
      res.set_header("Set-Cookie", session_cookie());
    return httplib::Server::HandlerResponse::Handled;
  });

  // Runs before the answer is written, so a client that has its answer finds the request in the log.
  server.set_post_routing_handler([&control, head_limit = head_limit_text(settings.connections)](
                                      const httplib::Request &req, httplib::Response &res) {
    // The library takes a request that was cut short for a malformed one; a refused framing is
    // answered already, its body left unread.
    if (GuardedHttpServer::refused_framing())
      res.status = 400;
    else if (GuardedHttpServer::body_over_limit())
      res.status = 413;
    else if (GuardedHttpServer::head_too_large())
      answer_text(res, 431, head_limit);
    else if (GuardedHttpServer::request_timed_out())
      res.status = 408;
    // A client that is refused may have sent more behind the request; none of it is read as a request.
    if (res.status >= 400 && res.status < 500) {
      res.headers.erase("Keep-Alive");
      res.set_header("Connection", "close");
      GuardedHttpServer::end_connection_after_answer();
    }
    bool logged = std::exchange(request_logged, false);
    if (is_control(req) || logged) {
      request_sql.clear();
      return;
    }
    control.record(logged_request(req, res.status));
  });

  server.Post(service_path, [&service, credentials = settings.credentials, strict = !settings.lenient,
                             max_body = settings.connections.max_body](const httplib::Request &req,
                                                                       httplib::Response &res) {
    if (!authorised(req, credentials)) {
      res.status = 401;
      res.set_header("WWW-Authenticate", "Basic realm=\"velacorte\"");
      res.set_content("Acesso negado\n", "text/plain");
      return;
    }
    std::string body;
    switch (decode_body(GuardedHttpServer::body_encoding(), req.body, max_body, body)) {
    case BodyDecoding::decoded:
      break;
    case BodyDecoding::over_limit:
      return answer_text(res, 413,
                         "Corpo maior que o limite de " + std::to_string(max_body) +
                             " bytes depois de decodificado (--max-body)\n");
    case BodyDecoding::unsupported:
      return answer_text(res, 415,
                         "Content-Encoding \"" + GuardedHttpServer::body_encoding() +
                             "\" não suportado: gzip, deflate ou nenhum\n");
    case BodyDecoding::damaged:
      return answer_text(res, 400, "Corpo em " + GuardedHttpServer::body_encoding() + " danificado\n");
    }
    SelectxmlCall call;
    try {
      std::optional<std::string> soap_action;
      if (req.has_header("SOAPAction"))
        soap_action = req.get_header_value("SOAPAction");
      call = read_selectxml_call(
          {soap_action ? &*soap_action : nullptr, req.get_header_value("Content-Type"), body}, strict);
    } catch (const std::bad_alloc &) {
      return answer_fault(res, 500, "SOAP-ENV:Server", "selectxml: sem memória para ler o pedido");
    } catch (const std::exception &e) {
      return answer_fault(res, 500, "SOAP-ENV:Client", e.what());
    }
    request_sql = call.sql.substr(0, 400); // the log keeps 80 characters of it
    try {
      std::string reply = service.selectxml(call.senha, call.sql, call.options);
      soap::Message answer{ValidadorRegistration::Namespace,
                           "selectxmlResponse",
                           {{"return", soap::bytes_to_latin1_text(reply)}}};
      res.set_content(soap::write_envelope(answer), soap::envelope_content_type);
    } catch (const std::bad_alloc &) {
      answer_fault(res, 500, "SOAP-ENV:Server", "selectxml: sem memória para a resposta");
    } catch (const std::exception &e) {
      answer_fault(res, 500, "SOAP-ENV:Server", std::string("selectxml: ") + e.what());
    }
  });

  server.Get(service_path, [tls = settings.tls](const httplib::Request &req, httplib::Response &res) {
    if (!req.has_param("wsdl")) {
      res.status = 405;
      res.set_content("Use POST para selectxml ou GET ?wsdl\n", "text/plain");
      return;
    }
    res.set_content(service_wsdl(host_address(req, tls != nullptr) + service_path), xml_type);
  });

  server.Get(std::string(downloads_prefix) + "(.*)",
             [files = settings.files, this](const httplib::Request &req, httplib::Response &res) {
               serve_download(files, stopping_, req, res);
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
    // Status 0 plans a stall: the request is held, unanswered, until the server stops. A redirect
    // (301, 302) points to `location`, or to the same URL when none is given.
    if (path.empty() || (status != 0 && (status < 100 || status > 599))) {
      res.status = 400;
      res.set_content("path e status válidos são obrigatórios\n", "text/plain");
      return;
    }
    control.fail(path, count, {status, req.get_param_value("location")});
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
  serving_ = true;
  bool served = stopping_ || server_->listen_after_bind();
  served_ = true;
  return served;
}

void ServiceHost::stop() {
  stopping_ = true;
  if (!serving_)
    return; // serve() has not begun, and will see stopping_
  // The library's stop() acts only on a running server: wait for the serving loop to begin.
  while (!served_) {
    if (server_->is_running()) {
      server_->stop();
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}
