#pragma once

// Text written into the service's XML documents (replies, WSDL), escaped for XML 1.0.

#include <string>
#include <string_view>

namespace xml_text {

enum class Place {
  content,   // element content: a double quote stays as it is
  attribute, // a value between double quotes: quotes, tabs and line feeds become references
};

// Appends `text` (UTF-8; other bytes are taken as Windows-1252) escaped for `place`. A carriage
// return becomes a reference, so that parsers keep it; control characters that XML 1.0 cannot hold
// become spaces.
void append_escaped(std::string &out, std::string_view text, Place place = Place::content);

std::string escaped(std::string_view text, Place place = Place::content);

} // namespace xml_text
