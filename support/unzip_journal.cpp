#include "unzip_journal.h"

#include "Exception.h"
#include "extraction_names.h"
#include "zip_names.h"

namespace {

constexpr std::string_view header_kind = "velacorte-unzip journal";
constexpr std::string_view folder_kind = "folder";
constexpr std::string_view move_kind = "move";
constexpr std::string_view no_aside = "-";

std::vector<std::string_view> fields_of(std::string_view line) {
  std::vector<std::string_view> fields;
  for (size_t start = 0;;) {
    size_t tab = line.find('\t', start);
    fields.push_back(
        line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
    if (tab == std::string_view::npos)
      return fields;
    start = tab + 1;
  }
}

// A path below the folder, written as the run writes it.
std::string inside_path(std::string_view relative) {
  EntryPath path;
  try {
    path = entry_path(relative, true);
  } catch (const Exception &e) {
    throw Exception("names \"" + std::string(relative) + "\", which " + e.what());
  }
  if (path.is_folder || path.path != relative)
    throw Exception("names \"" + std::string(relative) + "\", which is not a path that unpacking writes");
  return path.path;
}

// One of this run's own names of that kind.
std::string own_name(std::string_view name, ExtractionFile kind, std::string_view token) {
  ParsedExtractionName parsed;
  if (!parse_extraction_name(name, parsed) || parsed.kind != kind || parsed.token != token)
    throw Exception("names \"" + std::string(name) + "\", which is not a file of this extraction");
  return std::string(name);
}

} // namespace

std::string journal_header(std::string_view token, std::string_view folder_identity) {
  return std::string(header_kind) + "\t" + std::string(token) + "\t" + std::string(folder_identity) + "\n";
}

std::string journal_folder_line(std::string_view relative) {
  return std::string(folder_kind) + "\t" + std::string(relative) + "\n";
}

std::string journal_move_line(const JournalMove &move) {
  return std::string(move_kind) + "\t" + move.staged + "\t" +
         (move.aside.empty() ? std::string(no_aside) : move.aside) + "\t" + move.target + "\n";
}

JournalRecord read_journal(std::string_view text, std::string_view token, std::string_view folder_identity) {
  JournalRecord record;
  size_t number = 0;
  for (size_t start = 0, end; (end = text.find('\n', start)) != std::string_view::npos; start = end + 1) {
    std::string_view line = text.substr(start, end - start);
    ++number;
    try {
      if (number == 1) {
        if (std::string(line) + "\n" != journal_header(token, folder_identity))
          throw Exception("is not the header of this extraction's journal in this folder");
        continue;
      }
      std::vector<std::string_view> fields = fields_of(line);
      if (fields[0] == folder_kind && fields.size() == 2) {
        record.folders.push_back(inside_path(fields[1]));
      } else if (fields[0] == move_kind && fields.size() == 4) {
        JournalMove move;
        move.staged = own_name(fields[1], ExtractionFile::staged, token);
        if (fields[2] != no_aside)
          move.aside = own_name(fields[2], ExtractionFile::aside, token);
        move.target = inside_path(fields[3]);
        record.moves.push_back(std::move(move));
      } else {
        throw Exception("is not a line of a journal");
      }
    } catch (const Exception &e) {
      throw Exception("line " + std::to_string(number) + " " + e.what());
    }
  }
  return record;
}
