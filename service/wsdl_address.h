#pragma once

#include <string>
#include <string_view>

// The soap:address location of port `port` of service `service` in a WSDL 1.1 document. Throws
// Exception when the document does not parse or names no such port.
std::string wsdl_service_address(std::string_view wsdl, std::string_view service, std::string_view port);
