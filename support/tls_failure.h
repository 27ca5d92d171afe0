#pragma once

// Words for the ways a TLS connection fails its certificate checks, shared by the WinHTTP downloads and
// the WinINet query transport (whose error numbers for these coincide). Nothing here needs Windows, so
// the texts are checked natively as well.

#include <cstdint>
#include <string>

namespace tls_failure {

// What a WinHTTP or WinINet error number says about the server's certificate or the secure channel;
// empty for an error that is not about them.
std::string error_text(uint32_t error);

// The flags of WinHTTP's secure-failure notification, each in words with its flag name, joined by
// "; "; empty when no flag is set.
std::string flags_text(uint32_t flags);

} // namespace tls_failure
