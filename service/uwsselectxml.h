#pragma once

// The SOAP interface of the query service and the factory of its proxy.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

// The query service's one operation. Texts are UTF-8; the result is the reply exactly as the
// service sent it, one byte per character.
class server_ValidadorPortType {
public:
  virtual ~server_ValidadorPortType() = default;
  virtual std::string selectxml(const std::string &senha, const std::string &sql,
                                const std::string &options) = 0;
};

// How the interface is registered: the names every proxy uses on the wire and in WSDL mode. No
// invocation options, so messages are RPC style with SOAP 1.1 section 5 encoding.
namespace ValidadorRegistration {
inline constexpr const char *Namespace = "uri:server.Validador";
inline constexpr const char *PortTypeName = "server.ValidadorPortType";
inline constexpr const char *Encoding = "ISO-8859-1";
inline constexpr const char *Documentation = "";
inline constexpr const char *SOAPAction = "uri:server.Validador/Validador";
inline constexpr const char *ServiceName = "server.Validador";
inline constexpr const char *PortName = "server.ValidadorPort";
} // namespace ValidadorRegistration

// Default WSDL location and service address, shared by every query client of the process.
extern std::string WSDLPadrao;
extern std::string URLPadrao;

// Whole-reply limits of every selectxml call: the reply must have arrived within ReplyTimeLimit
// seconds of the request, and its body may hold no more than LargestReply bytes (a compressed reply
// no more once inflated). Past either the call fails.
inline constexpr size_t LargestReply = size_t{1} << 30;
inline constexpr int DefaultReplyTimeLimit = 120;
extern int ReplyTimeLimit;

// The product's name in the User-Agent of every request.
inline constexpr const char *UserAgent = "Velacorte/7.7";

class THTTPRIO;

// A proxy for the service at `Addr` (empty: WSDLPadrao or URLPadrao). The reference owns a proxy the
// factory made; a proxy given by the caller stays the caller's. Failures throw Exception.
std::shared_ptr<server_ValidadorPortType>
GetValidadorPortType(bool UseWSDL = false, const std::string &Addr = "", THTTPRIO *HTTPRIO = nullptr);

// Answers every selectxml call of the process in-process instead of over HTTP, for tests and
// benchmarks; an empty function restores HTTP.
using SelectXmlTransport = std::function<std::string(const std::string &url, const std::string &senha,
                                                     const std::string &sql, const std::string &options)>;
void SetSelectXmlTransport(SelectXmlTransport transport);
