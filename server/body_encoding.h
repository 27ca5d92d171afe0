#pragma once

// The body of a request in the Content-Encoding it names, decoded under a limit on the decoded size:
// the HTTP layer never inflates a body itself, so that a small compressed body cannot grow without
// bound.

#include <cstddef>
#include <string>
#include <string_view>

enum class BodyDecoding { decoded, over_limit, unsupported, damaged };

// Decodes `body` (gzip, deflate or identity) into `out`, at most `limit` bytes of it.
BodyDecoding decode_body(std::string_view encoding, std::string_view body, std::size_t limit,
                         std::string &out);
