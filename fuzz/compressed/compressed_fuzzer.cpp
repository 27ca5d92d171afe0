// libFuzzer target: the compressed-reply path of TDataXML (ExecuteZ: base64, inflate, then the reply
// as usual). The first byte chooses what the service's SOAP result is: the rest of the input as
// base64 text written by the fuzzer, or the rest of the input as the zlib stream itself, base64-encoded
// here so that every stream the fuzzer finds reaches the inflater. Failures raised as Exception are
// the client's way to report; anything else escaping, and the sanitizers' findings, are crashes.

#include "uMySql.h"

#include "Exception.h"
#include "base64.h"
#include "uwsselectxml.h"

#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  const bool raw_stream = data[0] & 1;
  std::string_view rest(reinterpret_cast<const char *>(data) + 1, size - 1);
  const std::string result = raw_stream ? base64::encode(rest) : std::string(rest);
  SetSelectXmlTransport([&](const std::string &, const std::string &, const std::string &,
                            const std::string &) { return result; });

  TDataXML client;
  client.SetSQL("select * from sistema.check_files");
  try {
    if (client.ExecuteZ() && client.RecordCount() > 0)
      client.FieldByIndex(0);
  } catch (const Exception &) {
  }
  SetSelectXmlTransport(nullptr);
  return 0;
}
