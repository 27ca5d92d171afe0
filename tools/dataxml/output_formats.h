#pragma once

// The output formats of dataxml: an aligned table for reading, and TSV, CSV and JSON for programs.

#include "cell.h"

#include <ostream>
#include <string>
#include <vector>

enum class Format { table, tsv, csv, json };

struct ResultTable {
  std::vector<std::string> names;
  std::vector<bool> numeric; // per column: values are numbers
  std::vector<std::vector<Cell>> rows;
};

// Text with its control characters escaped ("\x1b", "\n", "\u009b"), safe to show on a terminal.
std::string terminal_safe(const std::string &value);

// Aligned columns; control characters escaped ("\x1b", "\n", "\u009b"), never sent to the terminal;
// binary content as "<blob N bytes>".
void write_table(std::ostream &out, const ResultTable &table, const std::string &null_text);

// Tab-separated with a header line; "\t", "\n", "\r" and "\\" escaped as PostgreSQL's text format
// does, binary content as "\\x" and its bytes in hexadecimal (PostgreSQL's bytea).
void write_tsv(std::ostream &out, const ResultTable &table, const std::string &null_text);

// RFC 4180: a header line, CRLF line ends, fields quoted when they hold a comma, a quote or a line
// break; binary content in full.
void write_csv(std::ostream &out, const ResultTable &table, const std::string &null_text);

// An array of objects, one per row: numbers for numeric columns, null for NULL, binary content in
// base64.
void write_json(std::ostream &out, const ResultTable &table);
