#include "result_table.h"

#include "output_formats.h"

#include "Exception.h"

void FieldFailures::add(std::string message) {
  if (messages_.size() < shown)
    messages_.push_back(std::move(message));
  ++count_;
}

void FieldFailures::report(std::ostream &err) const {
  for (const std::string &message : messages_)
    err << "dataxml: " << message << '\n';
  if (count_ > messages_.size())
    err << "dataxml: e mais " << count_ - messages_.size() << " campo(s) ilegível(is)\n";
}

Cell ResultTable::cell(size_t row, size_t column) const {
  const size_t k = row * names.size() + column;
  const size_t start = k == 0 ? 0 : cells_[k - 1].end;
  return {cells_[k].kind, std::string_view(bytes_).substr(start, cells_[k].end - start)};
}

ResultTable ResultTable::read(TDataXML &q, const std::string &where, FieldFailures &failures) {
  ResultTable table;
  const int32_t columns = q.FieldsCount();
  std::vector<Encoding> encodings;
  for (int32_t c = 0; c < columns; ++c) {
    table.names.push_back(q.FieldName(c));
    const std::string_view tipo = q.FieldTypeAt(c);
    encodings.push_back(column_encoding(tipo));
    table.numeric.push_back(numeric_type(tipo));
  }
  if (columns == 0)
    return table;
  std::string scratch;
  int32_t row = 0;
  for (q.First(); !q.EOF(); q.Next()) {
    ++row;
    for (int32_t c = 0; c < columns; ++c) {
      std::string_view raw;
      const char *reason = "o campo falta na linha ou não contém somente texto";
      Cell::Kind kind = Cell::Kind::unreadable;
      bool readable = false;
      try {
        readable = q.FieldText(c, raw);
      } catch (const std::exception &) {
        throw Exception("ler " + where + "linha " + std::to_string(row) + ": a resposta diz ter " +
                        std::to_string(q.RecordCount()) + " linha(s) e termina antes");
      }
      if (readable)
        kind = decode_cell(raw, encodings[static_cast<size_t>(c)], table.bytes_, scratch, reason);
      if (kind == Cell::Kind::unreadable)
        failures.add("ler " + where + "linha " + std::to_string(row) + ", coluna " + std::to_string(c + 1) +
                     " (" + terminal_safe(table.names[static_cast<size_t>(c)]) + "): " + reason);
      table.cells_.push_back({table.bytes_.size(), kind});
    }
  }
  return table;
}
