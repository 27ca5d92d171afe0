#include "token_file.h"

#include "Exception.h"
#include "THTTPRIO.h"
#include "base64.h"
#include "soap_envelope.h"
#include "text.h"
#include "uAutentica.h"

#ifdef _WIN32
#include <windows.h>
#include <wininet.h>
#else
#include "profile_reader.h"
#endif

namespace {

std::string token_path;

std::string read_key(const char *key) {
#ifdef _WIN32
  wchar_t value[1024];
  GetPrivateProfileStringW(L"TOKEN", text::widen(key).c_str(), L"", value, 1024,
                           text::widen(token_path).c_str());
  return text::narrow(value);
#else
  return ProfileReader(token_path).value("TOKEN", key);
#endif
}

// Read afresh for every request, as the product's own hook does.
void add_credentials(THTTPReqResp *, void *Data) {
  std::string id = TokenIDFromStored(read_key("ID"));
  std::string header = "Authorization: Basic " + base64::encode(id + ":" + read_key("SENHA"));
#ifdef _WIN32
  std::wstring line = text::widen(header);
  HttpAddRequestHeadersW(static_cast<HINTERNET>(Data), line.c_str(), static_cast<DWORD>(line.size()),
                         HTTP_ADDREQ_FLAG_ADD);
#else
  static_cast<NativeRequest *>(Data)->header_lines.push_back(header);
#endif
}

// The proxy's own call, posted through an HTTP layer that carries these credentials.
std::string selectxml(const std::string &url, const std::string &senha, const std::string &sql,
                      const std::string &options) {
  THTTPReqResp http;
  http.OnBeforePost = add_credentials;
  soap::Message call{
      ValidadorRegistration::Namespace, "selectxml", {{"senha", senha}, {"sql", sql}, {"options", options}}};
  THTTPReqResp::Response response =
      http.Post(url, ValidadorRegistration::SOAPAction, soap::write_envelope(call));
  soap::Message reply = soap::read_envelope(response.body);
  if (response.status != 200 || reply.parts.empty())
    throw Exception("Erro HTTP " + std::to_string(response.status) + " em " + url);
  return soap::latin1_text_to_bytes(reply.parts.front().second);
}

} // namespace

void UseTokenFile(const std::string &path) {
  token_path = path;
  SetSelectXmlTransport(selectxml);
}
