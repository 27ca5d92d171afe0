#pragma once

// Writing JSON strings. The text is taken as UTF-8 and passed through byte for byte; only what JSON
// forbids raw is escaped: the quote, the backslash and the C0 controls (short forms where JSON has
// them, \u00XX for the rest).

#include <string>
#include <string_view>

namespace json {

void append_string(std::string &out, std::string_view value);
std::string quoted(std::string_view value);

} // namespace json
