#include "THTTPRIO.h"

#include "Exception.h"
#include "soap_envelope.h"
#include "wsdl_address.h"

namespace {

SelectXmlTransport &installed_transport() {
  static SelectXmlTransport transport;
  return transport;
}

void check_status(const THTTPReqResp::Response &response, const std::string &url) {
  if (response.status == 407)
    throw Exception("Erro HTTP 407 em " + url + ": o proxy pede autenticação");
  if (response.status != 200)
    throw Exception("Erro HTTP " + std::to_string(response.status) + " em " + url);
}

} // namespace

void SetSelectXmlTransport(SelectXmlTransport transport) {
  installed_transport() = std::move(transport);
}

THTTPReqResp::Response THTTPReqResp::Post(const std::string &url, const std::string &soap_action,
                                          const std::string &body) {
  return Send("POST", url, soap_action, body);
}

THTTPReqResp::Response THTTPReqResp::Get(const std::string &url) {
  return Send("GET", url, {}, {});
}

std::string THTTPRIO::target_address() {
  if (WSDLLocation.empty())
    return URL;
  if (URL.empty()) {
    THTTPReqResp::Response wsdl = HTTPWebNode.Get(WSDLLocation);
    check_status(wsdl, WSDLLocation);
    URL = wsdl_service_address(wsdl.body, Service, Port);
  }
  return URL;
}

std::string THTTPRIO::selectxml(const std::string &senha, const std::string &sql,
                                const std::string &options) {
  if (const SelectXmlTransport &transport = installed_transport())
    return transport(WSDLLocation.empty() ? URL : WSDLLocation, senha, sql, options);

  std::string url = target_address();
  soap::Message call{
      ValidadorRegistration::Namespace, "selectxml", {{"senha", senha}, {"sql", sql}, {"options", options}}};
  THTTPReqResp::Response response =
      HTTPWebNode.Post(url, ValidadorRegistration::SOAPAction, soap::write_envelope(call));

  // A SOAP Fault comes with status 500 and reaches the caller with its own text. Any other body
  // that is not an envelope is explained better by an HTTP error status than by the XML reader.
  soap::Message reply;
  try {
    reply = soap::read_envelope(response.body);
  } catch (const soap::Fault &) {
    throw;
  } catch (const Exception &) {
    check_status(response, url);
    throw;
  }
  check_status(response, url);
  if (reply.parts.empty())
    throw Exception("SOAP: resposta de selectxml sem resultado");
  return soap::latin1_text_to_bytes(reply.parts.front().second);
}
