#pragma once

// SOAP 1.1 messages of the query service's operation, RPC style with section 5 encoding.

#include "Exception.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace soap {

// A call or a reply: the operation element's namespace and local name, and its parts in order.
// Reading an envelope also gives the namespace of its Envelope element.
struct Message {
  std::string ns;
  std::string operation;
  std::vector<std::pair<std::string, std::string>> parts;
  std::string envelope_ns = {};
};

// The envelope of an RPC call or result, in the registration's encoding (ISO-8859-1, with character
// references beyond it); every part is typed xsd:string. Part values are UTF-8.
std::string write_envelope(const Message &message);

// The Content-Type of the envelopes written here.
inline constexpr const char *envelope_content_type = "text/xml; charset=ISO-8859-1";

// A fault envelope with the given code (e.g. "SOAP-ENV:Client") and text.
std::string write_fault(std::string_view code, std::string_view text);

// A SOAP Fault of the service; what() is its faultstring (its faultcode when that is empty).
class Fault : public Exception {
public:
  using Exception::Exception;
};

// Reads an envelope written by any SOAP 1.1 toolkit: any namespace prefixes, typed or untyped parts,
// escaped or CDATA text, multi-reference (href) parts. A Fault is thrown as Fault; a document that is
// not an envelope throws Exception.
Message read_envelope(std::string_view xml);

// Text that holds bytes one per character (U+0000-U+00FF) <-> those bytes. Characters above U+00FF
// become the byte of the Windows single-byte code page, '?' when it has none.
std::string bytes_to_latin1_text(std::string_view bytes);
std::string latin1_text_to_bytes(std::string_view utf8);

} // namespace soap
