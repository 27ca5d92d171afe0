#pragma once

// A field of a reply as dataxml shows it: NULL, text, the bytes of binary content, or a field that
// could not be read.

#include <string>
#include <string_view>

struct Cell {
  enum class Kind { null, text, binary, unreadable };
  Kind kind = Kind::null;
  std::string_view bytes; // UTF-8 text, or the binary content
};

// How a column's values travel: as they are, base64-encoded text (253, 254), or a blob (252), which
// comes base64-encoded twice and is decoded a second time, as the in-memory table does.
enum class Encoding { plain, base64_text, base64_blob };
Encoding column_encoding(std::string_view tipo);

// Whether values of the column type code `tipo` are numbers (MySQL's numeric column types).
bool numeric_type(std::string_view tipo);

// Decodes a field's text as the reply holds it (`raw`, from a column of that encoding), appending
// what it holds to `out`. An empty element is NULL; a blob is text when it is valid UTF-8 without
// NUL bytes, else binary. Base64 that no encoder writes, or text that its byte-order mark does not
// describe, is unreadable: nothing is appended and `reason` says why. `scratch` is working space.
Cell::Kind decode_cell(std::string_view raw, Encoding encoding, std::string &out, std::string &scratch,
                       const char *&reason);
