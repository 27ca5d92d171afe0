#pragma once

// A field of a reply as dataxml shows it: NULL, text, or the bytes of binary content.

#include "uMySql.h"

#include <string>

struct Cell {
  enum class Kind { null, text, binary };
  Kind kind = Kind::null;
  std::string bytes; // UTF-8 text, or the binary content
};

// Whether values of the column type code `tipo` are numbers (MySQL's numeric column types).
bool numeric_type(const std::string &tipo);

// The field of column `column` in the current row of `q`, whose type code is `tipo`. A blob (252)
// comes base64-encoded twice and is decoded a second time, as the in-memory table does; its content
// is text when it is valid UTF-8 without NUL bytes, else binary.
Cell read_cell(TDataXML &q, int32_t column, const std::string &tipo);
