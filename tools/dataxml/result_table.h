#pragma once

// One result set of a reply as dataxml reads it: the columns, and every row's cells decoded once
// into one block of storage.

#include "cell.h"

#include "uMySql.h"

#include <ostream>
#include <string>
#include <vector>

// The fields that could not be read, each named by row and column; the first few are kept to show.
class FieldFailures {
public:
  void add(std::string message);
  size_t count() const { return count_; }
  // One line each, "dataxml: " first, and how many more there were.
  void report(std::ostream &err) const;

private:
  static constexpr size_t shown = 20;
  std::vector<std::string> messages_;
  size_t count_ = 0;
};

class ResultTable {
public:
  std::vector<std::string> names;
  std::vector<bool> numeric; // per column: values are numbers

  size_t row_count() const { return names.empty() ? 0 : cells_.size() / names.size(); }
  Cell cell(size_t row, size_t column) const;

  // Reads the current result set of `q`. `where` names it in the failures ("" or "instrução 2, ").
  static ResultTable read(TDataXML &q, const std::string &where, FieldFailures &failures);

private:
  struct Stored {
    size_t end; // in bytes_; the cell starts where the one before it ends
    Cell::Kind kind;
  };
  std::string bytes_;
  std::vector<Stored> cells_;
};
