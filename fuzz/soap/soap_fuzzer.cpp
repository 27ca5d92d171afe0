// libFuzzer target: the readers of what the query service's host answers over HTTP: the SOAP response
// envelope with the result turned back into bytes, as a proxy reads it, and the WSDL document that
// gives the service address. Failures raised as Exception are how the readers refuse a document;
// anything else escaping, and the sanitizers' findings, are crashes.

#include "soap_envelope.h"
#include "wsdl_address.h"

#include "Exception.h"
#include "uwsselectxml.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string_view input(reinterpret_cast<const char *>(data), size);
  try {
    soap::Message reply = soap::read_envelope(input);
    for (const auto &part : reply.parts)
      soap::latin1_text_to_bytes(part.second);
  } catch (const Exception &) {
  }
  try {
    wsdl_service_address(input, ValidadorRegistration::ServiceName, ValidadorRegistration::PortName);
  } catch (const Exception &) {
  }
  return 0;
}
