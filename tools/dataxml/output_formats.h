#pragma once

// The output formats of dataxml: an aligned table for reading, and TSV, CSV and JSON for programs.
// Each costs one step per cell, however wide the rows.

#include "result_table.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

enum class Format { table, tsv, csv, json };

// Output gathered into large pieces before it is written: the formats make many small ones.
class Output {
public:
  explicit Output(std::ostream &out) : out_(out) {}
  ~Output() { flush(); }
  Output(const Output &) = delete;
  Output &operator=(const Output &) = delete;

  std::string text; // appended to by the formats
  // Writes out what is gathered once it is large.
  void row_done() {
    if (text.size() >= piece)
      flush();
  }
  void flush() {
    out_.write(text.data(), static_cast<std::streamsize>(text.size()));
    text.clear();
  }

private:
  static constexpr size_t piece = 1 << 16;
  std::ostream &out_;
};

// Text with its control characters escaped ("\x1b", "\n", "\u009b"), safe to show on a terminal.
std::string terminal_safe(std::string_view value);

// Aligned columns; control characters escaped ("\x1b", "\n", "\u009b"), never sent to the terminal;
// binary content as "<blob N bytes>", a field that could not be read as "<ilegível>".
void write_table(Output &out, const ResultTable &table, const std::string &null_text);

// Tab-separated with a header line; "\t", "\n", "\r" and "\\" escaped as PostgreSQL's text format
// does, binary content as "\\x" and its bytes in hexadecimal (PostgreSQL's bytea).
void write_tsv(Output &out, const ResultTable &table, const std::string &null_text);

// RFC 4180: a header line, CRLF line ends, fields quoted when they hold a comma, a quote or a line
// break; binary content in full.
void write_csv(Output &out, const ResultTable &table, const std::string &null_text);

// An array of objects, one per row, under `keys` (one per column, distinct): numbers for numeric
// columns, null for NULL and for a field that could not be read, binary content in base64. No line
// break after the closing bracket.
void write_json(Output &out, const ResultTable &table, const std::vector<std::string> &keys);

// What a write did: {"afetados": N, "last_id": M}, null where the reply does not say.
void write_json_write(Output &out, std::optional<int64_t> afetados, std::optional<int64_t> last_id);
