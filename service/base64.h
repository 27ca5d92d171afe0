#pragma once

#include <string>
#include <string_view>

namespace base64 {

// Standard alphabet with "=" fill, one line.
std::string encode(std::string_view bytes);

// Skips every character outside the alphabet (line breaks, blanks, the fill).
std::string decode(std::string_view text);

} // namespace base64
